#include "vpn/RasConnection.h"

HWND dialStatusWindow = nullptr;

namespace {
constexpr DWORD kErrorTextChars = 150;
constexpr int kStatusTextChars = 256;
}  // namespace

// Runs on RAS's thread; it touches only window handles, whose messages the
// window system carries out on the user-interface thread.
void WINAPI DialNotifier(HRASCONN /*hrasconn*/, UINT /*message*/, RASCONNSTATE state, DWORD error,
                         DWORD /*extendedError*/) {
    wchar_t errorText[kErrorTextChars] = L"";
    // No text for the value (no error at all, for one) leaves it empty.
    if (RasGetErrorStringW(error, errorText, kErrorTextChars) != 0) errorText[0] = L'\0';
    errorText[kErrorTextChars - 1] = L'\0';

    // At most 15 + 11 + 1 + 149 characters: well inside the buffer.
    wchar_t text[kStatusTextChars];
    wsprintfW(text, L"Код состояния: %d\n%s", static_cast<int>(state), errorText);

    if (state == RASCS_Connected) ShowWindow(GetParent(GetParent(dialStatusWindow)), SW_HIDE);
    SetWindowTextW(dialStatusWindow, text);
}
