#pragma once
#include <windows.h>
#include <ras.h>

#include <string>

#include "framework/Messages.h"

// The view's progress label; written before every dial. DialNotifier posts
// each state of the dial to its parent, the view, as WM_DIAL_STATE.
extern HWND dialStatusWindow;

// RAS calls it on a thread of its own for every state of a dial.
void WINAPI DialNotifier(HRASCONN hrasconn, UINT message, RASCONNSTATE state, DWORD error, DWORD extendedError);

// One state of a dial as WM_DIAL_STATE carries it. RAS states end at 0x2001 and
// RAS and Win32 error codes are 16-bit values, so both fit into lParam.
struct DialState {
    HRASCONN handle;
    RASCONNSTATE state;
    DWORD error;
};

DialState ReadDialState(WPARAM wParam, LPARAM lParam);

// RAS's text for an error code, at most this many characters less one; empty
// when RAS has none for the value (no error at all, for one).
constexpr DWORD kDialErrorTextChars = 150;
std::wstring DialErrorText(DWORD error);

// On the label's own thread: hides the frame (the label's grandparent) once
// connected and shows "Код состояния: <state>\n<RAS's text for the error>".
void ShowDialState(HWND label, const DialState& dial);
