#pragma once
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

// Dispatches this thread's messages until `done` (when given) holds or timeoutMs pass, looking
// again every pollMs at the latest. A quit message met on the way is posted again at the end, for
// the test that looks for it. True when `done` held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 20) {
    DWORD start = GetTickCount(), elapsed = 0;
    MSG msg, quit{};
    bool held = false;
    for (;;) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = msg;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if ((held = done && done()) || (elapsed = GetTickCount() - start) >= timeoutMs) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min(pollMs, timeoutMs - elapsed), QS_ALLINPUT);
    }
    if (quit.message == WM_QUIT) PostQuitMessage(static_cast<int>(quit.wParam));
    return held;
}
inline void PumpFor(DWORD ms) { PumpUntil(nullptr, ms); }

// A shown window of a class of its own whose messages go to `procedure`: a top-level host for
// controls under test (only shown windows get update regions and paint), or, with a parent, a
// child that stands in for one of the program's windows. Destroyed with the object.
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

// The top-level window with this caption, of that process only and shown only when asked; or null.
inline HWND FindCaption(const std::wstring& caption, DWORD processId = 0, bool shownOnly = false) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, caption.c_str()));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if ((!processId || owner == processId) && (!shownOnly || IsWindowVisible(window))) return window;
    }
    return nullptr;
}

// A program started as a child process; ended by force if it still runs when this goes.
class ProgramProcess {
public:
    explicit ProgramProcess(std::wstring exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + exe + L"\"";
        CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_);
    }
    ~ProgramProcess() {
        if (!info_.hProcess) return;
        if (TerminateProcess(info_.hProcess, 99)) WaitForSingleObject(info_.hProcess, 5000);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    HANDLE Handle() const { return info_.hProcess; }
    // Its exit code once it ends within the time, else STILL_ACTIVE.
    DWORD WaitForExit(DWORD timeoutMs) const {
        DWORD code = STILL_ACTIVE;
        if (info_.hProcess && WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(info_.hProcess, &code);
        }
        return code;
    }
    // Its shown top-level window with this caption, looked for every pollMs; null when it does
    // not show within the time or the program ends.
    HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs, DWORD pollMs = 20) const {
        HWND found = nullptr;
        auto shownOrEnded = [&] {
            return (found = FindCaption(caption, info_.dwProcessId, true)) || WaitForExit(0) != STILL_ACTIVE;
        };
        PumpUntil(shownOrEnded, timeoutMs, pollMs);
        return found;
    }

private:
    PROCESS_INFORMATION info_{};
};
