#include "framework/wnd.h"

void CWnd::CenterWindow()
{
    // The dialog stays on its owner's monitor, or without one on the monitor it opens on: the
    // primary monitor's work area (SPI_GETWORKAREA) would pull it off a second one.
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoA(::MonitorFromWindow(owner != nullptr ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT workArea = monitor.rcWork;

    RECT around = workArea;
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &around);

    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int left = (around.left + around.right) / 2 - width / 2;
    int top = (around.top + around.bottom) / 2 - height / 2;

    // Over an owner near the edge, keep the whole dialog on the monitor.
    if (left + width > workArea.right)
        left = workArea.right - width;
    if (left < workArea.left)
        left = workArea.left;
    if (top + height > workArea.bottom)
        top = workArea.bottom - height;
    if (top < workArea.top)
        top = workArea.top;

    ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    // Handlers run nested ones (a modal dialog inside "Make CD" repaints this one), so each
    // message keeps its own answer.
    const bool outerPassToDefault = m_passToDefault;
    m_passToDefault = false;
    const bool handled = OnCmdMsg(message, code, id, wParam, lParam, result) && !m_passToDefault;
    m_passToDefault = outerPassToDefault;
    return handled;
}
