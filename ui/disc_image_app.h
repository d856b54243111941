#pragma once

#include "framework/afxwin.h"

class CDiscImageApp : public CWinApp {
public:
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
