#include "vpn/DialNotifier.h"

HWND dialStatusWindow = nullptr;

namespace {
constexpr int kStatusTextChars = 256;
}  // namespace

// Runs on RAS's thread. It only posts: the view's thread may at this moment be
// in RasHangUpW, which can wait for this thread to return.
void WINAPI DialNotifier(HRASCONN hrasconn, UINT /*message*/, RASCONNSTATE state, DWORD error,
                         DWORD /*extendedError*/) {
    PostMessageW(GetParent(dialStatusWindow), WM_DIAL_STATE, reinterpret_cast<WPARAM>(hrasconn),
                 MAKELPARAM(state, error));
}

DialState ReadDialState(WPARAM wParam, LPARAM lParam) {
    return DialState{reinterpret_cast<HRASCONN>(wParam), static_cast<RASCONNSTATE>(LOWORD(lParam)),
                     HIWORD(lParam)};
}

std::wstring DialErrorText(DWORD error) {
    wchar_t text[kDialErrorTextChars] = L"";
    if (RasGetErrorStringW(error, text, kDialErrorTextChars) != 0) text[0] = L'\0';
    text[kDialErrorTextChars - 1] = L'\0';
    return text;
}

void ShowDialState(HWND label, const DialState& dial) {
    // At most 15 + 11 + 1 + 149 characters: well inside the buffer.
    wchar_t text[kStatusTextChars];
    wsprintfW(text, L"Код состояния: %d\n%s", static_cast<int>(dial.state), DialErrorText(dial.error).c_str());

    if (dial.state == RASCS_Connected) ShowWindow(GetParent(GetParent(label)), SW_HIDE);
    SetWindowTextW(label, text);
}
