#pragma once
#include <windows.h>

// Private window messages passed between the program's windows.
constexpr UINT WM_TRAY_NOTIFY = WM_USER;              // tray icon -> frame
constexpr UINT TRAY_ICON_ID = 1024;                    // also the icon's callback message
constexpr UINT WM_STATISTICS_UPDATED = WM_USER + 20;  // balance display -> frame
constexpr UINT WM_BRING_TO_FRONT = WM_USER + 21;      // a second start -> the running copy's frame; answers 1
