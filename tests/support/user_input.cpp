#include "user_input.h"

#include <vector>

namespace {

void SendInputs(std::vector<INPUT> inputs)
{
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT MouseInput(POINT screenPoint, DWORD flags)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screenPoint.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screenPoint.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    return input;
}

INPUT KeyInput(WORD key, DWORD flags)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    return input;
}

void Click(POINT screenPoint, int times)
{
    // The pointer goes there first and the click waits until the pointer is seen there: a move
    // queued with the click can be overtaken by the pointer's last reported position.
    SetCursorPos(screenPoint.x, screenPoint.y);
    WaitFor([&] {
        POINT cursor;
        return GetCursorPos(&cursor) && cursor.x == screenPoint.x && cursor.y == screenPoint.y;
    });
    std::vector<INPUT> inputs = {MouseInput(screenPoint, MOUSEEVENTF_MOVE)};
    for (int i = 0; i < times; ++i) {
        inputs.push_back(MouseInput(screenPoint, MOUSEEVENTF_LEFTDOWN));
        inputs.push_back(MouseInput(screenPoint, MOUSEEVENTF_LEFTUP));
    }
    SendInputs(inputs);
}

// An open menu is a shown window of the system's menu class; Windows may keep hidden ones.
bool MenuIsOpen()
{
    for (HWND menu = nullptr; (menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) != nullptr;)
        if (IsWindowVisible(menu))
            return true;
    return false;
}

}  // namespace

std::string WindowText(HWND window)
{
    // A failure message runs to several hundred characters.
    std::string text(GetWindowTextLengthA(window) + 1, '\0');
    text.resize(GetWindowTextA(window, &text[0], static_cast<int>(text.size())));
    return text;
}

RECT WindowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

void ClickControl(HWND control)
{
    const RECT rect = WindowRect(control);
    Click({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, 1);
}

void ClickAt(POINT screenPoint)
{
    Click(screenPoint, 1);
}

void DoubleClickAt(POINT screenPoint)
{
    Click(screenPoint, 2);
}

void PressKey(WORD key)
{
    SendInputs({KeyInput(key, 0), KeyInput(key, KEYEVENTF_KEYUP)});
}

void PressKeyWith(WORD modifier, WORD key)
{
    SendInputs({KeyInput(modifier, 0), KeyInput(key, 0), KeyInput(key, KEYEVENTF_KEYUP),
                KeyInput(modifier, KEYEVENTF_KEYUP)});
}

bool BringToFront(HWND window)
{
    SetForegroundWindow(window);
    return WaitFor([&] { return GetForegroundWindow() == window; });
}

bool ChooseLastSystemMenuItem(HWND window)
{
    // The menu is opened by the command Alt+Space becomes, not by the keys: Wine re-reads the
    // X server's keyboard when a window takes the X focus, which may come after the window is
    // in front, and lets go of an Alt it sees up there; the Space alone then presses the
    // focused button.
    PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    if (!WaitFor(MenuIsOpen))
        return false;
    PressKey(VK_UP);
    PressKey(VK_RETURN);
    return true;
}
