// Finds one of KORVANTE 2's windows for scripts/pictures and prints the part of the screen to
// photograph: that window together with the main dialog, with a margin of desktop around them,
// as an ImageMagick geometry (WIDTHxHEIGHT+X+Y, screen coordinates).
//
//   picture_frame.exe WHAT [SECONDS]
//
// WHAT:
//   main         the main dialog "KORVANTE 2", enabled and active
//   chooser      the drive chooser "Select a CD Drive"
//   message      a message box captioned "KORVANTE 2" over the main dialog, which it disables
//   open-about   opens the About box as a user does (the system menu's last item, with Up and
//                Enter) and frames it
//   close-about  closes the About box with Enter and prints nothing
//
// Waits at most SECONDS (default 60) for the window. Exit code 0 when it was found, 1 when it did
// not show in time (the reason on stderr), 2 for a bad command line. scripts/pictures compiles
// it with the MinGW compiler of the build it photographs; nothing of it ships.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kMargin = 16;
DWORD g_limitMs = 60000;

template <typename Condition>
bool WaitFor(Condition condition, DWORD limitMs = g_limitMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs)
            return false;
        Sleep(20);
    }
    return true;
}

// A shown dialog with this caption; with wantOwned, one owned by a window (a message box or
// the chooser), else one owned by none (the main dialog).
HWND FindDialog(const char* caption, bool wantOwned)
{
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, "#32770", caption)) != nullptr;) {
        const bool owned = GetWindow(window, GW_OWNER) != nullptr;
        if (IsWindowVisible(window) && owned == wantOwned)
            return window;
    }
    return nullptr;
}

HWND MainDialog()
{
    return FindDialog("KORVANTE 2", false);
}

// The window has drawn everything it was sent before this call returns.
bool Answers(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
}

void PressKey(WORD key)
{
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

bool BringToFront(HWND window)
{
    SetForegroundWindow(window);
    return WaitFor([&] { return GetForegroundWindow() == window; });
}

bool MenuIsOpen()
{
    for (HWND menu = nullptr; (menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) != nullptr;)
        if (IsWindowVisible(menu))
            return true;
    return false;
}

bool Missing(const char* what)
{
    std::fprintf(stderr, "picture_frame: %s did not show within %lu s\n", what,
                 static_cast<unsigned long>(g_limitMs / 1000));
    return false;
}

bool PrintFrame(HWND window, HWND main)
{
    RECT frame = {}, other = {};
    GetWindowRect(window, &frame);
    if (main != nullptr && main != window && GetWindowRect(main, &other))
        UnionRect(&frame, &frame, &other);
    InflateRect(&frame, kMargin, kMargin);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&frame, &frame, &screen);
    std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
    std::fflush(stdout);
    return true;
}

// Whether the window's caption shows on the screen in the colours of the active window.
bool CaptionDrawnActive(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    // Right of the title, left of the caption's button.
    const int x = rect.left + (rect.right - rect.left) * 2 / 3;
    const int y = rect.top + GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    HDC screen = GetDC(nullptr);
    const COLORREF seen = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    if (seen == CLR_INVALID)
        return false;
    // A gradient caption runs from one colour to the other.
    const COLORREF from = GetSysColor(COLOR_ACTIVECAPTION), to = GetSysColor(COLOR_GRADIENTACTIVECAPTION);
    for (int shift = 0; shift < 24; shift += 8) {
        const int value = (seen >> shift) & 0xff, a = (from >> shift) & 0xff, b = (to >> shift) & 0xff;
        if (value < (a < b ? a : b) || value > (a < b ? b : a))
            return false;
    }
    return true;
}

bool Main()
{
    HWND main = nullptr;
    if (!WaitFor([&] {
            main = MainDialog();
            return main != nullptr && IsWindowEnabled(main) && GetForegroundWindow() == main && Answers(main);
        }))
        return Missing("the main dialog \"KORVANTE 2\", active");
    // Under Wine a dialog that another process brought to the front can keep the caption of an
    // inactive window, grey, though it is the active one. Activating it afresh, as a click on
    // the desktop and one back on the dialog would, draws the caption as Windows shows it; now
    // and then that needs a second time.
    const DWORD start = GetTickCount();
    while (!WaitFor([&] { return CaptionDrawnActive(main); }, 2000)) {
        if (GetTickCount() - start > g_limitMs)
            return Missing("the main dialog drawn as the active window");
        SetForegroundWindow(GetDesktopWindow());
        WaitFor([&] { return GetForegroundWindow() != main; }, 2000);
        if (!BringToFront(main) || !Answers(main))
            return Missing("the main dialog \"KORVANTE 2\" in front again");
    }
    return PrintFrame(main, nullptr);
}

bool Chooser()
{
    HWND chooser = nullptr;
    if (!WaitFor([&] { return (chooser = FindDialog("Select a CD Drive", true)) != nullptr && Answers(chooser); }))
        return Missing("the drive chooser \"Select a CD Drive\"");
    return PrintFrame(chooser, MainDialog());
}

bool Message()
{
    HWND main = nullptr, box = nullptr;
    if (!WaitFor([&] {
            main = MainDialog();
            box = FindDialog("KORVANTE 2", true);
            return main != nullptr && box != nullptr && !IsWindowEnabled(main) && Answers(box);
        }))
        return Missing("a message box \"KORVANTE 2\" over the disabled main dialog");
    return PrintFrame(box, main);
}

// Wine puts its own item above the program's in the system menu: Up from the top reaches the
// last item, the About command. The menu opens by the command Alt+Space becomes.
bool OpenAbout()
{
    HWND main = nullptr;
    if (!WaitFor([&] { return (main = MainDialog()) != nullptr && IsWindowEnabled(main); }))
        return Missing("the main dialog \"KORVANTE 2\", enabled");
    if (!BringToFront(main))
        return Missing("the main dialog in front");
    PostMessageA(main, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    if (!WaitFor(MenuIsOpen))
        return Missing("the main dialog's system menu");
    PressKey(VK_UP);
    PressKey(VK_RETURN);
    HWND about = nullptr;
    if (!WaitFor([&] { return (about = FindDialog("About KORVANTE 2", true)) != nullptr && Answers(about); }))
        return Missing("the About box \"About KORVANTE 2\"");
    return PrintFrame(about, main);
}

bool CloseAbout()
{
    HWND about = FindDialog("About KORVANTE 2", true);
    if (about == nullptr)
        return Missing("the About box \"About KORVANTE 2\"");
    if (!BringToFront(about))
        return Missing("the About box in front");
    PressKey(VK_RETURN);
    if (!WaitFor([&] { return !IsWindow(about) || !IsWindowVisible(about); }))
        return Missing("the main dialog without its About box");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: picture_frame main|chooser|message|open-about|close-about [SECONDS]\n");
        return 2;
    }
    if (argc == 3)
        g_limitMs = static_cast<DWORD>(std::atoi(argv[2])) * 1000;
    const std::string what = argv[1];
    bool found;
    if (what == "main")
        found = Main();
    else if (what == "chooser")
        found = Chooser();
    else if (what == "message")
        found = Message();
    else if (what == "open-about")
        found = OpenAbout();
    else if (what == "close-about")
        found = CloseAbout();
    else {
        std::fprintf(stderr, "picture_frame: unknown window %s\n", what.c_str());
        return 2;
    }
    return found ? 0 : 1;
}
