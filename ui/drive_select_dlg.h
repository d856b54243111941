#pragma once

#include "framework/afxwin.h"
#include "res/resource_ids.h"

#include <string>

class CDriveSelectDlg : public CDialog {
public:
    explicit CDriveSelectDlg(CWnd* pParent = nullptr) : CDialog(IDD_DRIVE_SELECT, pParent) {}

    CListCtrl m_listDrives;
    std::string m_strDrive;  // the chosen drive root, such as D:\ ; read after IDOK
    int m_nDrivesListed = 0;  // how many CD-ROM drives Windows showed

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnLButtonDblClk(UINT nFlags, POINT point);
    void OnDblclkDriveList(NMHDR* pNMHDR, LRESULT* pResult);

    DECLARE_MESSAGE_MAP()
};
