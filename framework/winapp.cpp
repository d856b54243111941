#include "framework/winapp.h"

#include "framework/wnd.h"

#include <cstdlib>

namespace {

CWinApp* g_app = nullptr;

template <typename Function>
Function Kernel32Function(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}

// Windows looks in the current folder for a DLL that is loaded by name, also one that a system
// library loads on the program's behalf; the working folder is the user's, and what lies there
// is data. SetDllDirectory, from Windows XP SP1 on, takes it out of the search. The program's
// own folder stays first for a DLL that is not a known one: where Windows offers it (8 on, 7
// with its update), SetDefaultDllDirectories keeps every later load to the system folder. Both
// are asked for by name, since Windows XP has neither or only the first.
void KeepCurrentFolderOutOfDllSearch()
{
    if (const auto setDllDirectory = Kernel32Function<BOOL(WINAPI*)(LPCSTR)>("SetDllDirectoryA"))
        setDllDirectory("");
    constexpr DWORD kSearchSystem32Only = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (const auto setDefaultDllDirectories = Kernel32Function<BOOL(WINAPI*)(DWORD)>("SetDefaultDllDirectories"))
        setDefaultDllDirectories(kSearchSystem32Only);
}

}  // namespace

CWinApp::CWinApp()
{
    g_app = this;
}

void CWinApp::SetModule(HINSTANCE instance)
{
    m_hInstance = instance;
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(instance, path, MAX_PATH);
    const std::string modulePath(path, length);
    const std::string::size_type nameStart = modulePath.find_last_of("\\/") + 1;
    std::string::size_type extension = modulePath.rfind('.');
    if (extension == std::string::npos || extension < nameStart)
        extension = modulePath.size();
    m_strAppName = modulePath.substr(nameStart, extension - nameStart);
    m_strHelpFilePath = modulePath.substr(0, extension) + ".HLP";
}

void CWinApp::WinHelp(DWORD context) const
{
    HWND window = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    ::WinHelpA(window, m_strHelpFilePath.c_str(), HELP_CONTEXT, context);
}

void CWinApp::OnHelp()
{
    ::SendMessageA(::GetActiveWindow(), WM_COMMANDHELP, 0, 0);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app->m_pMainWnd;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_app->m_hInstance;
}

int AfxMessageBox(const char* text, UINT type)
{
    if ((type & MB_TYPEMASK) == MB_OK && (type & MB_ICONMASK) == 0)
        type |= MB_ICONEXCLAMATION;
    HWND owner = AfxGetMainWnd() != nullptr ? AfxGetMainWnd()->m_hWnd : nullptr;
    return ::MessageBoxA(owner, text, g_app->m_strAppName.c_str(), type);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    KeepCurrentFolderOutOfDllSearch();
    g_app->SetModule(instance);
    // The whole program runs in the modal dialog inside InitInstance, which returns FALSE;
    // there is no message loop to enter afterwards.
    g_app->InitInstance();
    return 0;
}

// An exception that nothing catches ends the program as abort() does. The runtime's own handler
// would first write its type name to a standard error that a GUI program does not have, and it
// brings a C++ name demangler of 45 KB into the executable for that.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
}  // namespace __gnu_cxx
