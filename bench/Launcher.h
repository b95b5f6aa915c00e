#pragma once
#include <string>

#include "support/TestWindows.h"

// A program started as a child process; ended by force if it still runs when this goes.
struct ProgramProcess {
    explicit ProgramProcess(const std::wstring& exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + exe + L"\"";
        CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    }
    ~ProgramProcess() {
        if (info.hProcess && TerminateProcess(info.hProcess, 99)) WaitForSingleObject(info.hProcess, 5000);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;
    // Its exit code once it ends within the time, else STILL_ACTIVE.
    DWORD WaitForExit(DWORD timeoutMs) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
    // Its shown window with this caption; null when it does not show within the time or the program ends.
    HWND WaitForWindow(const std::wstring& caption, DWORD timeoutMs, DWORD pollMs = 20) const {
        HWND found = nullptr;
        PumpUntil([&] { return (found = FindCaption(caption, info.dwProcessId, true)) || WaitForExit(0) != STILL_ACTIVE; },
                  timeoutMs, pollMs);
        return found;
    }
    PROCESS_INFORMATION info{};
};
