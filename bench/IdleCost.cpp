// The program hidden in the tray, not connected, next to the yardstick hidden too: once both have
// settled the tool prints "measuring" and leaves them alone for `seconds` and a little more, while
// bench/run takes each one's CPU time from Linux (Wine gives no times of another process); the
// memory is Wine's own figure, at the end.
#include <cstdio>

#include "Bench.h"
// after windows.h, which it needs
#include <psapi.h>

#include "Launcher.h"

int IdleCost(int seconds, const std::wstring& program, const std::wstring& yardstick) {
    ProgramProcess programs[2] = {ProgramProcess(program), ProgramProcess(yardstick)};
    const std::wstring captions[2] = {ProgramCaption(), L"minimal"};
    HWND windows[2];
    for (int i = 0; i < 2; ++i) {
        if (!(windows[i] = programs[i].WaitForWindow(captions[i], 30000))) {
            return std::printf("%ls did not show its window\n", captions[i].c_str()), 1;
        }
        ShowWindow(windows[i], SW_HIDE);
    }
    Sleep(3000);  // start-up work (first paints, one-shot timers) is over by then
    std::printf("measuring for %d s\n", seconds);
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds + 2) * 1000);
    PROCESS_MEMORY_COUNTERS memory[2]{};
    for (int i = 0; i < 2; ++i) {
        memory[i].cb = sizeof memory[i];
        if (programs[i].WaitForExit(0) != STILL_ACTIVE ||
            !GetProcessMemoryInfo(programs[i].info.hProcess, &memory[i], sizeof memory[i])) {
            return std::printf("%ls ended during the measurement\n", captions[i].c_str()), 1;
        }
        PostMessageW(windows[i], WM_CLOSE, 1, 0);
    }
    auto kb = [](SIZE_T bytes) { return static_cast<long>(bytes / 1024); };
    std::printf("  working set, hidden: kelda_tx %ld KB (%ld private), a plain window %ld KB (%ld private): %+ld KB\n",
                kb(memory[0].WorkingSetSize), kb(memory[0].PagefileUsage), kb(memory[1].WorkingSetSize),
                kb(memory[1].PagefileUsage), kb(memory[0].WorkingSetSize) - kb(memory[1].WorkingSetSize));
    for (ProgramProcess& p : programs) p.WaitForExit(10000);
    return 0;
}
