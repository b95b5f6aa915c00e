#pragma once
// A window program started by a benchmark: started, found by the caption of
// its top-level window, and ended again, whatever happens in between.
#include <windows.h>

#include <string>

#include "framework/UniqueHandle.h"

// Seconds on the performance counter.
double Now();

class ChildProcess {
public:
    ChildProcess() = default;
    // Ends the program if it still runs, so no benchmark leaves one behind.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts exe in its own folder; false when it cannot be started.
    bool Start(const std::wstring& exe);
    // The visible top-level window of this process that has the caption, polled
    // every 2 ms; null when it is not shown within the time or the process ended.
    HWND WaitForShownWindow(const wchar_t* caption, DWORD timeoutMs);
    // Asks the window to end the program (WM_CLOSE with wParam 1, the tray's
    // "exit"; a plain window closes on any WM_CLOSE) and waits; ends it by force
    // after the time. True when it ended by itself.
    bool Close(HWND window, DWORD timeoutMs);
    bool Running() const;

    HANDLE Handle() const { return process_.get(); }
    double StartedAt() const { return startedAt_; }

private:
    HWND FindShownWindow(const wchar_t* caption) const;

    UniqueKernelHandle process_;
    UniqueKernelHandle thread_;
    DWORD id_ = 0;
    double startedAt_ = 0;
};
