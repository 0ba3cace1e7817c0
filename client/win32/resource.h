// Fixed resource ids of pegling.
#pragma once

// Icons
#define IDI_PEGLING 107
#define IDI_SMALL 108
#define IDI_TRAY 131

// Strings
#define IDS_APP_TITLE 103
#define IDC_PEGLING 109

// Menus and accelerators share command ids
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_CHANGE_STATUS 111
#define IDM_SETUP 32772
#define IDM_AWAY_ON_LOCK 32773

// Dialogs
#define IDD_ABOUTBOX 103
#define IDD_STATUS 129
#define IDD_SETUP 136

#define IDC_NAME 1000
#define IDC_IN 1001
#define IDC_OUT 1002
#define IDC_OTHER 1003
#define IDC_MESSAGE 1004
#define IDC_SERVER_ADDRESS 1007
#define IDC_PORT 1008
#define IDC_USER 1009

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
