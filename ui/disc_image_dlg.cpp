#include "ui/disc_image_dlg.h"

#include "build/build_sequence.h"
#include "ui/about_dlg.h"
#include "ui/drive_select_dlg.h"
#include "ui/failure_message.h"

#include <cstring>

static_assert(kDiscCatalogue[0].controlId == IDC_SCEN1 && kDiscCatalogue[1].controlId == IDC_SCEN2 &&
                  kDiscCatalogue[2].controlId == IDC_SCEN3 && kDiscCatalogue[3].controlId == IDC_PREMD,
              "each radio handler takes the catalogue row of its own button");

namespace {

// While a build runs the dialog reads no input, and Windows keeps the keys and clicks of the
// meantime (type-ahead) for whichever window has the focus when they are read: an Enter would
// close the failure message unseen, and the keys after it would reach the dialog, where Enter
// is "Make CD".
void DiscardInputQueuedDuringBuild()
{
    MSG queued;
    while (::PeekMessageA(&queued, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageA(&queued, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

// Windows sleeps on its idle timer, which runs from the last key or click, and a build of several
// minutes gets none: a machine on battery may sleep mid-copy and bring the drive back as another
// device. The system stays awake while this lives; the display may still turn off.
class SystemAwake {
public:
    SystemAwake() { ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }
    ~SystemAwake() { ::SetThreadExecutionState(ES_CONTINUOUS); }
    SystemAwake(const SystemAwake&) = delete;
    SystemAwake& operator=(const SystemAwake&) = delete;
};

BuildResult RunBuildAwake(const BuildRequest& request)
{
    const SystemAwake awake;
    return RunBuild(request);
}

}  // namespace

BEGIN_MESSAGE_MAP(CDiscImageDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_SCEN1, OnRadioScen1)
    ON_BN_CLICKED(IDC_SCEN2, OnRadioScen2)
    ON_BN_CLICKED(IDC_SCEN3, OnRadioScen3)
    ON_BN_CLICKED(IDC_PREMD, OnRadioPremD)
END_MESSAGE_MAP()

CDiscImageDlg::CDiscImageDlg(CWnd* pParent)
    : CDialog(IDD_MAIN_DIALOG, pParent), m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME))
{
}

BOOL CDiscImageDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU systemMenu = GetSystemMenu(FALSE)) {
        char aboutItem[64];
        if (::LoadStringA(AfxGetInstanceHandle(), IDS_ABOUTBOX, aboutItem, sizeof aboutItem) > 0) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutItem);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    return TRUE;
}

void CDiscImageDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CDiscImageDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CDiscImageDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CDiscImageDlg::OnRadioScen1()
{
    TakeDisc(kDiscCatalogue[0]);
}

void CDiscImageDlg::OnRadioScen2()
{
    TakeDisc(kDiscCatalogue[1]);
}

void CDiscImageDlg::OnRadioScen3()
{
    TakeDisc(kDiscCatalogue[2]);
}

void CDiscImageDlg::OnRadioPremD()
{
    TakeDisc(kDiscCatalogue[3]);
}

void CDiscImageDlg::TakeDisc(const DiscEntry& disc)
{
    m_strSortList = disc.sortList;
    std::memcpy(m_szDiscCode, disc.overlayCode, sizeof m_szDiscCode);
}

void CDiscImageDlg::OnOK()
{
    if (m_strSortList.empty())
        return;

    CDriveSelectDlg driveSelect;
    if (driveSelect.DoModal() != IDOK)
        return;
    BuildRequest request;
    request.sortList = m_strSortList;
    std::memcpy(request.overlayCode, m_szDiscCode, sizeof request.overlayCode);
    request.driveRoot = driveSelect.m_strDrive;
    // Enter in a chooser that listed nothing: no drive to double-click is no slip of the user's.
    const BuildResult result = request.driveRoot.empty() && driveSelect.m_nDrivesListed == 0
                                   ? RefuseBuild({FailureCause::NoCdDrive})
                                   : RunBuildAwake(request);
    if (result.Built()) {
        CDialog::OnOK();
        return;
    }
    DiscardInputQueuedDuringBuild();
    AfxMessageBox(FailureMessage(result).c_str());
}
