#pragma once
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

// Dispatches this thread's messages until `done` (when given) holds or timeoutMs pass, looking
// again every pollMs at the latest. True when `done` held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 20) {
    DWORD start = GetTickCount(), elapsed = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done && done()) return true;
        if ((elapsed = GetTickCount() - start) >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min(pollMs, timeoutMs - elapsed), QS_ALLINPUT);
    }
}
inline void PumpFor(DWORD ms) { PumpUntil(nullptr, ms); }

// A shown window of a class of its own whose messages go to `procedure`: a top-level host for
// controls under test (only shown windows paint), or, with a parent, a child that stands in for
// one of the program's windows. Destroyed with the object.
class TestWindow {
public:
    explicit TestWindow(WNDPROC procedure = DefWindowProcW, HWND parent = nullptr) {
        std::wstring name = L"KeldaTestWindow" + std::to_wstring(reinterpret_cast<UINT_PTR>(procedure));
        WNDCLASSW windowClass{0, procedure, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr,
                              reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr, name.c_str()};
        RegisterClassW(&windowClass);  // fails harmlessly from the second window of a class on
        DWORD style = (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE | WS_CLIPCHILDREN;
        window_ = CreateWindowExW(0, name.c_str(), L"host", style, 0, 0, 1000, 700, parent, nullptr, nullptr, nullptr);
        PumpFor(0);
    }
    ~TestWindow() { DestroyWindow(window_); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND Handle() const { return window_; }

private:
    HWND window_;
};

// What a window shows, its own process's or another's (whose GetWindowTextW gives only the stored caption).
inline std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &copied);
    return text;
}

// The top-level window with this caption, of that process only and shown only when asked; or null.
inline HWND FindCaption(const std::wstring& caption, DWORD processId = 0, bool shownOnly = false) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, caption.c_str()));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if ((!processId || owner == processId) && (!shownOnly || IsWindowVisible(window))) return window;
    }
    return nullptr;
}
