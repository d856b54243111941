// Keeps the Wine session's desktop process alive for a whole test run: one hidden window that
// lives until the wineserver is stopped. Wine's desktop process (explorer /desktop) exits soon
// after the last window closes, and a program that has to start it afresh waits about 10 s for
// its first window; after a pause in a test run every program start paid that.

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (CreateWindowExA(0, "STATIC", "keep_desktop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr) ==
        nullptr)
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
