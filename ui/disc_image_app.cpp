#include "ui/disc_image_app.h"

#include "ui/disc_image_dlg.h"

BEGIN_MESSAGE_MAP(CDiscImageApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CDiscImageApp theApp;

BOOL CDiscImageApp::InitInstance()
{
    // A disc taken out mid-build, a drive still spinning up, or a data\mkisofs.exe without its
    // DLLs would each raise a system box that waits, often hidden behind the frozen dialog. The
    // build's own listings and every program it starts (which inherit this mode) fail instead,
    // and the program reports the failure itself.
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    // The dialog answers no messages while a build runs. Windows would put a "(Not Responding)"
    // ghost in its place that the user can close, ending the program while the image tool goes
    // on to write an image without its boot area.
    ::DisableProcessWindowsGhosting();

    AfxEnableControlContainer();
    Enable3dControlsStatic();

    CDiscImageDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog has closed: end the program rather than start a message loop.
    return FALSE;
}
