#pragma once
#include <windows.h>

// The private window messages the program's windows pass one another, and the
// values they carry. Here, on the lowest floor, so that the code that posts one
// and the code that answers it both name it without including each other.

constexpr UINT WM_TRAY_NOTIFY = WM_USER;              // tray icon -> frame
constexpr UINT TRAY_ICON_ID = 1024;                    // also the icon's callback message
constexpr UINT WM_STATISTICS_UPDATED = WM_USER + 20;  // balance display -> frame, after every query
constexpr UINT WM_BRING_TO_FRONT = WM_USER + 21;      // a second start -> the running copy's frame; answers 1

// The frame's fixed class name: how a second start and the installer find the running copy.
constexpr const wchar_t* kFrameClassName = L"kelda_tx frame";

// view -> frame: a connection ended without the user asking, or came back by
// itself; the frame tells it in a balloon. wParam kDialFailed (lParam: the RAS
// error), kLineDropped or kLineRestored (sent only while the frame is hidden).
// Posted, so that the automatic dial at start, which runs inside the frame's
// creation, finds the tray icon already added.
constexpr UINT WM_CONNECTION_ENDED = WM_USER + 22;
constexpr WPARAM kDialFailed = 1;
constexpr WPARAM kLineDropped = 2;
constexpr WPARAM kLineRestored = 3;

// The installer -> the running copy's frame, which answers 1 and leaves as "Выход" does,
// but with an established connection left up for the new version to adopt. Its number
// never changes: a newer version's package sends it to the copy that runs now.
constexpr UINT WM_LEAVE_FOR_UPGRADE = WM_USER + 30;

// update check's thread -> update window: the check has ended; its owner
// takes the result on the window thread.
constexpr UINT WM_UPDATE_CHECKED = WM_USER + 23;

// DialNotifier -> view: one state of a dial (vpn/DialNotifier.h reads it),
// posted from RAS's thread, never sent: the view's thread may be waiting in
// RasHangUpW for that very thread. wParam the connection handle, lParam
// MAKELPARAM(state, error).
constexpr UINT WM_DIAL_STATE = WM_APP + 1;

// A statistics query's thread -> the balance display that started it: the
// query ended. wParam and lParam the balance and the deferred amount, each a
// 32-bit float's bits (stats/StatisticsThread.h reads them).
constexpr UINT WM_QUERY_ENDED = WM_APP + 2;
