#include "framework/dialog.h"

#include "framework/winapp.h"

#include <commctrl.h>

#include <cstring>

namespace {

constexpr DWORD HID_BASE_RESOURCE = 0x20000;

using InitCommonControlsExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// COMCTL32.DLL is not one of Windows' known DLLs: imported by name, it would be looked for in
// the program's folder first, and a copy planted there (in a zip, beside a download) would run
// as the program. So it is loaded by its full path in the system folder, once; a 32-bit program
// on 64-bit Windows is given the 32-bit one from there.
InitCommonControlsExFunction SystemCommonControls()
{
    static const InitCommonControlsExFunction initialise = [] {
        static const char kLibrary[] = "\\comctl32.dll";
        char path[MAX_PATH];
        const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length + sizeof kLibrary > MAX_PATH)
            return InitCommonControlsExFunction{};
        std::memcpy(path + length, kLibrary, sizeof kLibrary);
        HMODULE library = ::LoadLibraryA(path);
        return library == nullptr ? InitCommonControlsExFunction{}
                                  : reinterpret_cast<InitCommonControlsExFunction>(reinterpret_cast<void*>(
                                        ::GetProcAddress(library, "InitCommonControlsEx")));
    }();
    return initialise;
}

}  // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal()
{
    // A template may name common-control classes, which must be registered before it is used.
    const INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    if (const InitCommonControlsExFunction initialise = SystemCommonControls())
        initialise(&classes);

    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (owner == nullptr && AfxGetMainWnd() != nullptr)
        owner = AfxGetMainWnd()->m_hWnd;

    // The platform disables the owner for as long as the dialog runs.
    return ::DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_nIDHelp), owner, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange exchange = {saveAndValidate, this};
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::HandleInitDialog()
{
    RECT before;
    ::GetWindowRect(m_hWnd, &before);
    const BOOL result = OnInitDialog();
    RECT after;
    ::GetWindowRect(m_hWnd, &after);

    // Every template places its dialog at 0,0; centre it unless the program placed or showed it.
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (!::IsWindowVisible(m_hWnd) && ::EqualRect(&before, &after) &&
        (owner == nullptr || !::IsWindowEnabled(owner)))
        CenterWindow();
    return result;
}

bool CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (CWnd::OnWndMsg(message, wParam, lParam, result))
        return true;
    switch (message) {
    case WM_COMMAND:
        // Commands the dialog does not handle go to the application's command table.
        return AfxGetApp()->OnCmdMsg(message, HIWORD(wParam), LOWORD(wParam), wParam, lParam, result);
    case WM_HELP:
        // F1 asks for help; with a shift key held it does nothing here.
        if (::GetKeyState(VK_SHIFT) < 0)
            return false;
        SendMessage(WM_COMMAND, ID_HELP);
        return true;
    case WM_COMMANDHELP:
        AfxGetApp()->WinHelp(HID_BASE_RESOURCE + m_nIDHelp);
        *result = TRUE;
        return true;
    default:
        return false;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->HandleInitDialog();
    }

    // Messages before WM_INITDIALOG find no object yet and get the default processing.
    CDialog* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
        return FALSE;
    }

    LRESULT result = 0;
    if (!dialog->OnWndMsg(message, wParam, lParam, &result))
        return FALSE;
    // A dialog procedure returns this message's answer itself instead of in DWLP_MSGRESULT.
    if (message == WM_QUERYDRAGICON)
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}
