#pragma once
#include <windows.h>

#include <string>

// The real program started as a child process, found by its frame's caption.
class ProgramProcess {
public:
    explicit ProgramProcess(const std::wstring& exePath, const wchar_t* workingDirectory = nullptr) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + exePath + L"\"";
        started_ = CreateProcessW(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  workingDirectory, &startup, &info_) != FALSE;
    }
    ~ProgramProcess() {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool Started() const { return started_; }
    DWORD Id() const { return info_.dwProcessId; }

    // The process's visible top-level window with this caption, waiting up to timeoutMs.
    HWND WaitForFrame(const std::wstring& caption, DWORD timeoutMs) const {
        DWORD deadline = GetTickCount() + timeoutMs;
        do {
            HWND found = FindOwnWindow(caption);
            if (found) return found;
            if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
        } while (static_cast<LONG>(deadline - GetTickCount()) > 0);
        return nullptr;
    }

    bool WaitForExit(DWORD timeoutMs, DWORD& exitCode) const {
        if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
        return GetExitCodeProcess(info_.hProcess, &exitCode) != FALSE;
    }

private:
    struct Search {
        DWORD processId;
        const std::wstring* caption;
        HWND found;
    };
    HWND FindOwnWindow(const std::wstring& caption) const {
        Search search{info_.dwProcessId, &caption, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    static BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t text[128] = {};
        GetWindowTextW(window, text, 128);
        if (owner == s->processId && *s->caption == text && IsWindowVisible(window)) {
            s->found = window;
            return FALSE;
        }
        return TRUE;
    }

    PROCESS_INFORMATION info_{};
    bool started_ = false;
};
