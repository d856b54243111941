#include "ui/disc_image_app.h"

#include "ui/disc_image_dlg.h"

BEGIN_MESSAGE_MAP(CDiscImageApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CDiscImageApp theApp;

BOOL CDiscImageApp::InitInstance()
{
    AfxEnableControlContainer();
    Enable3dControlsStatic();

    CDiscImageDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();

    // The dialog has closed: end the program rather than start a message loop.
    return FALSE;
}
