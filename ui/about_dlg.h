#pragma once

#include "framework/afxwin.h"
#include "res/resource_ids.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
