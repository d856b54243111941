#pragma once

// Real mouse and keyboard input for another process's windows, as a user gives it, and the
// bounded waits that go with it. Shared by the UI tests and user_driver.exe.
#include <windows.h>

#include <string>

// Every wait ends after this long; the program answers in milliseconds when it is well.
constexpr DWORD kWaitLimitMs = 15000;

// Waits until the condition holds; false when the wait limit passed first.
template <typename Condition>
bool WaitFor(Condition condition)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > kWaitLimitMs)
            return false;
        Sleep(10);
    }
    return true;
}

std::string WindowText(HWND window);
RECT WindowRect(HWND window);

void ClickControl(HWND control);
void ClickAt(POINT screenPoint);
void DoubleClickAt(POINT screenPoint);
void PressKey(WORD key);
void PressKeyWith(WORD modifier, WORD key);

// Makes the window the one that takes the keyboard and waits until it does: keys sent while
// the window that just closed still had it are lost, as they are for a user who types too soon.
bool BringToFront(HWND window);

// Chooses the last item of the window's system menu with Up and Enter once the menu is seen
// open. Under Wine the menus of another process cannot be read.
bool ChooseLastSystemMenuItem(HWND window);
