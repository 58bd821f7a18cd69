// Resource ids of the Brivane program.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_BRIVANE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_HINT 1001
#define IDC_STATUS 1002
#define IDM_ABOUTBOX 0x0010
