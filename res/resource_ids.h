#pragma once

// Shared by the resource script and the program.

// Application: icon, About box and its system menu item
#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010

// Main dialog: the four disc radio buttons
#define IDD_MAIN_DIALOG 102
#define IDC_SCEN1 1001
#define IDC_SCEN2 1002
#define IDC_SCEN3 1003
#define IDC_PREMD 1004

// Drive chooser
#define IDD_DRIVE_SELECT 172
#define IDC_DRIVE_LIST 1000

#define IDC_STATIC (-1)
