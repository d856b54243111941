#pragma once

#include "build/disc_catalogue.h"
#include "framework/afxwin.h"
#include "res/resource_ids.h"

#include <string>

class CDiscImageDlg : public CDialog {
public:
    explicit CDiscImageDlg(CWnd* pParent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnRadioScen1();
    void OnRadioScen2();
    void OnRadioScen3();
    void OnRadioPremD();

    DECLARE_MESSAGE_MAP()

private:
    void TakeDisc(const DiscEntry& disc);

    HICON m_hIcon;
    std::string m_strSortList;  // empty until a disc is chosen
    char m_szDiscCode[3] = {};
};
