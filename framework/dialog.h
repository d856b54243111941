#pragma once

#include "framework/wnd.h"

class CDialog;

// Which way a data exchange runs: from the controls into the members, or back.
struct CDataExchange {
    BOOL m_bSaveAndValidate;
    CDialog* m_pDlgWnd;
};

// A modal dialog from a resource template, run by the platform's own modal loop.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDHelp(templateId), m_pParentWnd(parent) {}

    // IDOK or IDCANCEL, or -1 when the template cannot be loaded.
    INT_PTR DoModal();
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    UINT m_nIDHelp;  // the template id, which also names the dialog's help context

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL HandleInitDialog();

    CWnd* m_pParentWnd;
};

// Binds a member control to the dialog's control. Binding the handle is enough: nothing here
// replaces a control's window procedure.
inline void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.m_hWnd == nullptr)
        control.Attach(pDX->m_pDlgWnd->GetDlgItem(id));
}
