#pragma once
#include <windows.h>
#include <shellapi.h>

#include "framework/Messages.h"

// The frame's icon in the notification area, as another program sees it.
inline NOTIFYICONDATAW FrameIconData(HWND owner) {
    NOTIFYICONDATAW data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = TRAY_ICON_ID;
    return data;
}

// Modifying nothing succeeds exactly when the icon exists.
inline bool TrayIconExists(HWND owner) {
    NOTIFYICONDATAW data = FrameIconData(owner);
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// What the shell's restart does to the icon.
inline void ForgetTrayIcon(HWND owner) {
    NOTIFYICONDATAW data = FrameIconData(owner);
    Shell_NotifyIconW(NIM_DELETE, &data);
}
