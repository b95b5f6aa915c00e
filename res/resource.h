#pragma once
// Resource and command identifiers; the numbers are part of the program's interface.

#define IDR_MAINFRAME 128        // menu bar, accelerators, icon (not connected), program name
#define IDI_CONNECTED 204        // tray icon while connected
#define IDR_TRAYMENU 203
#define IDD_ABOUTBOX 100
#define IDD_KELDA_TX_FORM 129

// Main view
#define IDC_CONNECT_BUTTON 1000
#define IDC_TOGGLE_HEIGHT 1007
#define IDC_REFRESH_STATISTICS 1008
#define IDC_AUTOCONNECT 1124
#define IDC_HIDE_ON_START 1125

// Menu bar and accelerators
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_SAVE 57603
#define ID_FILE_PRINT 57607
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681

// Tray menu
#define ID_TRAY_EXIT 32775
#define ID_TRAY_MINIMIZE 32780
#define ID_TRAY_RESTORE 32781
#define ID_TRAY_CONNECT 32782
#define ID_TRAY_DISCONNECT 32783

// About box
#define IDC_STATIC -1
