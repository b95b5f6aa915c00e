#pragma once
#include <windows.h>
#include <ras.h>

#include <string>

#include "framework/Messages.h"

// DialNotifier hands every state of a dial to the view (the progress label's
// parent) in WM_DIAL_STATE. RAS states end at 0x2001 and RAS and Win32 error
// codes are 16-bit values, so both fit.

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
