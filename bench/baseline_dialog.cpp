// The smallest modal dialog program: an empty dialog titled "BENCH BASELINE", built from an
// in-memory template. Started like the program, it gives the platform's own floor for the
// time to a visible dialog and for the working set, so the program's share can be told apart.
#include <windows.h>

namespace {

INT_PTR CALLBACK BaselineProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// DLGTEMPLATE, then the menu, class and title arrays, then the font: all 16-bit units.
struct Template {
    DLGTEMPLATE header;
    WORD menu;
    WORD windowClass;
    WCHAR title[15];
    WORD pointSize;
    WCHAR font[14];
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Same frame as the program's main dialog: visible, captioned, with a system menu.
    static Template dialog = {
        {DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, 170, 79},
        0, 0, L"BENCH BASELINE", 8, L"MS Sans Serif"};
    return static_cast<int>(DialogBoxIndirectParamA(instance, &dialog.header, nullptr, BaselineProc, 0));
}
