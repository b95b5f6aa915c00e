#pragma once
#include <windows.h>
#include <shellapi.h>

#include "app/Messages.h"

// Asks the notification area whether it holds the frame's icon: modifying
// nothing succeeds exactly when the icon exists.
inline bool TrayIconExists(HWND owner) {
    NOTIFYICONDATAW data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = TRAY_ICON_ID;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// What the shell's restart does to the icon.
inline void ForgetTrayIcon(HWND owner) {
    NOTIFYICONDATAW data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = TRAY_ICON_ID;
    Shell_NotifyIconW(NIM_DELETE, &data);
}
