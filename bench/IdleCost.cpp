// What two window programs cost while they sit hidden and idle, side by side
// over the same stretch of time:
//   idle_cost SECONDS EXE_A CAPTION_A EXE_B CAPTION_B
// Both are started, shown, then hidden (for a tray program that is its place
// in the tray); after a few seconds to settle, each one's CPU time (user +
// kernel of all its threads, from Linux: see LinuxProcess.h) is taken over
// SECONDS, and its memory (GetProcessMemoryInfo) at the end.
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <cstdio>
#include <cwchar>

#include "ChildProcess.h"
#include "LinuxProcess.h"

namespace {
constexpr DWORD kShownBoundMs = 30000;
constexpr DWORD kSettleMs = 3000;  // start-up work (first paints, one-shot timers) is over by then
constexpr DWORD kCloseBoundMs = 10000;

struct Sample {
    double cpuSeconds;
    PROCESS_MEMORY_COUNTERS memory;
    long linuxResidentKb;  // the same memory as Linux counts it, to cross-check Wine's figure
};

bool Take(HANDLE process, int linuxPid, Sample& sample) {
    sample.memory = PROCESS_MEMORY_COUNTERS{};
    sample.memory.cb = sizeof sample.memory;
    sample.cpuSeconds = LinuxCpuSeconds(linuxPid);
    sample.linuxResidentKb = LinuxResidentKb(linuxPid);
    return sample.cpuSeconds >= 0 && GetProcessMemoryInfo(process, &sample.memory, sizeof sample.memory) != FALSE;
}

struct Program {
    const wchar_t* caption;
    ChildProcess process;
    HWND window = nullptr;
    int linuxPid = 0;
    Sample first{}, last{};
};

void Report(const Program& p, double seconds) {
    double cpu = p.last.cpuSeconds - p.first.cpuSeconds;
    std::wprintf(
        L"  %-14ls CPU %5.0f ms = %5.2f %% of one core; working set %5lu KB (peak %lu, Linux RSS %ld), "
        L"private %lu KB\n",
        p.caption, cpu * 1000, 100 * cpu / seconds, static_cast<unsigned long>(p.last.memory.WorkingSetSize / 1024),
        static_cast<unsigned long>(p.last.memory.PeakWorkingSetSize / 1024), p.last.linuxResidentKb,
        static_cast<unsigned long>(p.last.memory.PagefileUsage / 1024));
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    int seconds = argc == 6 ? _wtoi(argv[1]) : 0;
    if (seconds < 1) {
        std::fwprintf(stderr, L"usage: idle_cost SECONDS EXE_A CAPTION_A EXE_B CAPTION_B\n");
        return 2;
    }
    Program programs[2];
    for (int i = 0; i < 2; ++i) {
        Program& p = programs[i];
        p.caption = argv[3 + 2 * i];
        if (!p.process.Start(argv[2 + 2 * i]) || !(p.window = p.process.WaitForShownWindow(p.caption, kShownBoundMs))) {
            std::fwprintf(stderr, L"idle_cost: %ls did not show its window\n", p.caption);
            return 1;
        }
        ShowWindow(p.window, SW_HIDE);
        if (!(p.linuxPid = FindLinuxProcess(argv[2 + 2 * i]))) {
            std::fwprintf(stderr, L"idle_cost: no Linux process runs %ls\n", argv[2 + 2 * i]);
            return 1;
        }
    }
    Sleep(kSettleMs);
    for (Program& p : programs) {
        if (!Take(p.process.Handle(), p.linuxPid, p.first)) {
            std::fwprintf(stderr, L"idle_cost: cannot read the times of %ls\n", p.caption);
            return 1;
        }
    }
    std::wprintf(L"measuring for %d s\n", seconds);  // scripts sample other processes from here on
    std::fflush(stdout);
    double start = Now();
    Sleep(static_cast<DWORD>(seconds) * 1000);  // the measurement itself: both programs left alone
    double elapsed = Now() - start;
    for (Program& p : programs) {
        if (!p.process.Running() || !Take(p.process.Handle(), p.linuxPid, p.last)) {
            std::fwprintf(stderr, L"idle_cost: %ls ended during the measurement\n", p.caption);
            return 1;
        }
    }
    std::wprintf(L"idle and hidden for %.1f s, side by side:\n", elapsed);
    std::fflush(stdout);
    for (const Program& p : programs) Report(p, elapsed);
    double above = 100 *
                   ((programs[0].last.cpuSeconds - programs[0].first.cpuSeconds) -
                    (programs[1].last.cpuSeconds - programs[1].first.cpuSeconds)) /
                   elapsed;
    std::wprintf(L"  %ls above %ls: %.2f %% of one core, working set %+ld KB\n", programs[0].caption,
                 programs[1].caption, above,
                 static_cast<long>(programs[0].last.memory.WorkingSetSize / 1024) -
                     static_cast<long>(programs[1].last.memory.WorkingSetSize / 1024));
    for (Program& p : programs) p.process.Close(p.window, kCloseBoundMs);
    return 0;
}
