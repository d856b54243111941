#pragma once

#include "framework/cmdtarget.h"

// A window handle that the object uses but does not own.
class CWnd : public CCmdTarget {
public:
    HWND m_hWnd = nullptr;

    void Attach(HWND window) { m_hWnd = window; }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL big)
    {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    void CenterWindow();

    // Looks the message up in the class's message table. False sends it on to the
    // platform's default processing.
    virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

protected:
    // A handler calls this to leave the message to the platform's default processing, which
    // for a dialog runs after its dialog procedure returns.
    LRESULT Default()
    {
        m_passToDefault = true;
        return 0;
    }

    void OnPaint() { Default(); }
    void OnSysCommand(UINT, LPARAM) { Default(); }
    void OnLButtonDblClk(UINT, POINT) { Default(); }

private:
    bool m_passToDefault = false;
};
