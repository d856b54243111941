#pragma once

#include "framework/cmdtarget.h"

#include <string>

class CWnd;

// The framework's Help command, issued by F1.
constexpr UINT ID_HELP = 0xE146;
// Sent to the active dialog to ask it for help on itself.
constexpr UINT WM_COMMANDHELP = 0x0365;

// The one application object. The framework's WinMain calls its InitInstance, and the program
// ends when that returns FALSE.
class CWinApp : public CCmdTarget {
public:
    CWinApp();

    virtual BOOL InitInstance() = 0;

    HICON LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }
    void WinHelp(DWORD context) const;
    void OnHelp();

    // Draws the 3-D controls through the control library that Win32 itself provides,
    // so there is nothing to enable.
    void Enable3dControlsStatic() {}

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    std::string m_strAppName;       // the executable's file name without its extension
    std::string m_strHelpFilePath;  // the executable's path with the extension .HLP

private:
    friend int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);
    void SetModule(HINSTANCE instance);
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();

// An OK box that names no icon gets the exclamation mark. Captioned with the program's title
// and owned by the main window.
int AfxMessageBox(const char* text, UINT type = MB_OK);

// No ActiveX control is hosted in any dialog, so there is no container to set up.
inline void AfxEnableControlContainer() {}
