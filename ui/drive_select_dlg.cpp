#include "ui/drive_select_dlg.h"

#include <cstdio>

BEGIN_MESSAGE_MAP(CDriveSelectDlg, CDialog)
    ON_WM_LBUTTONDBLCLK()
    ON_NOTIFY(NM_DBLCLK, IDC_DRIVE_LIST, OnDblclkDriveList)
END_MESSAGE_MAP()

void CDriveSelectDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DRIVE_LIST, m_listDrives);
}

BOOL CDriveSelectDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // Z: is left out on purpose: only A: to Y: can hold the disc.
    int position = 1;
    for (char letter = 'A'; letter <= 'Y'; ++letter) {
        char root[4];
        std::snprintf(root, sizeof root, "%c:\\", letter);
        if (::GetDriveTypeA(root) == DRIVE_CDROM) {
            // Past the end of the list, so the item goes last: the list keeps drive-letter order.
            m_listDrives.InsertItem(position, root);
            ++position;
        }
    }
    m_nDrivesListed = position - 1;
    return TRUE;
}

void CDriveSelectDlg::OnLButtonDblClk(UINT nFlags, POINT point)
{
    CDialog::OnLButtonDblClk(nFlags, point);
}

void CDriveSelectDlg::OnDblclkDriveList(NMHDR*, LRESULT* pResult)
{
    *pResult = 0;
    // The mark is the item last selected; the first click of a double-click sets it.
    const int mark = m_listDrives.GetSelectionMark();
    if (mark < 0) {
        m_strDrive.clear();
        return;
    }
    m_strDrive = m_listDrives.GetItemText(mark, 0);
    OnOK();
}
