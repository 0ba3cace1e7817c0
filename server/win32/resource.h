// Fixed resource ids of pegmast.
#pragma once

// Icons
#define IDI_PEGMAST 107
#define IDI_SMALL 108

// Strings
#define IDS_APP_TITLE 103
#define IDC_PEGMAST 109

// Menu and accelerators (both 109, sharing command ids)
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SETUP 32771
#define IDM_OPTIONS 32772

// Dialogs
#define IDD_ABOUTBOX 103
#define IDD_SETUP 129
#define IDC_SERVER_IP 1001
#define IDC_PORT 1002
#define IDD_OPTIONS 130
#define IDC_SHARE 1003
#define IDC_WEB_PORT 1004
#define IDC_GREY 1005
#define IDC_MINUTES 1006
#define IDC_WEB_ADDRESS 1007
#define IDC_UPDATES 1008
#define IDC_CODE 1009

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
