#pragma once
#include <windows.h>

// The private window messages the program's windows pass one another, and the
// values they carry. Here, on the lowest floor, so that the code that posts one
// and the code that answers it both name it without including each other.

constexpr UINT WM_TRAY_NOTIFY = WM_USER;              // tray icon -> frame
constexpr UINT TRAY_ICON_ID = 1024;                    // also the icon's callback message
constexpr UINT WM_STATISTICS_UPDATED = WM_USER + 20;  // balance display -> frame, after every query
constexpr UINT WM_BRING_TO_FRONT = WM_USER + 21;      // a second start -> the running copy's frame; answers 1

// view -> frame: a connection ended without the user asking, or came back by
// itself; the frame tells it in a balloon. wParam kDialFailed (lParam: the RAS
// error), kLineDropped or kLineRestored (sent only while the frame is hidden).
// Posted, so that the automatic dial at start, which runs inside the frame's
// creation, finds the tray icon already added.
constexpr UINT WM_CONNECTION_ENDED = WM_USER + 22;
constexpr WPARAM kDialFailed = 1;
constexpr WPARAM kLineDropped = 2;
constexpr WPARAM kLineRestored = 3;

// DialNotifier -> view: one state of a dial (vpn/DialNotifier.h reads it),
// posted from RAS's thread, never sent: the view's thread may be waiting in
// RasHangUpW for that very thread. wParam the connection handle, lParam
// MAKELPARAM(state, error).
constexpr UINT WM_DIAL_STATE = WM_APP + 1;
