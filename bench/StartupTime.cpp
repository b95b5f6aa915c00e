// Start-to-shown time of two programs under Wine, measured in one run:
//   startup_time RUNS EXE_A CAPTION_A EXE_B CAPTION_B
// For each run and program: create the process, poll every 2 ms until a
// visible top-level window of that process has the caption, record the time,
// then close it.
// Prints the medians and their ratio A / B, and the ratio of the fastest starts.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "ChildProcess.h"

namespace {
constexpr DWORD kShownBoundMs = 30000;
constexpr DWORD kCloseBoundMs = 10000;

// Milliseconds from CreateProcess to the window being shown; negative on failure.
double TimeToShown(const wchar_t* exe, const wchar_t* caption) {
    ChildProcess program;
    if (!program.Start(exe)) return -1;
    HWND window = program.WaitForShownWindow(caption, kShownBoundMs);
    double elapsed = 1000.0 * (Now() - program.StartedAt());
    // Each run ends before the next starts, so no two programs share the machine.
    program.Close(window, kCloseBoundMs);
    return window ? elapsed : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = argc == 6 ? _wtoi(argv[1]) : 0;
    if (runs < 1) {
        std::fwprintf(stderr, L"usage: startup_time RUNS EXE_A CAPTION_A EXE_B CAPTION_B\n");
        return 2;
    }
    // One pair first that is not counted: the first start of each loads its
    // files into the page cache and its fonts and classes into Wine's server.
    if (TimeToShown(argv[2], argv[3]) < 0 || TimeToShown(argv[4], argv[5]) < 0) {
        std::fwprintf(stderr, L"startup_time: the warm-up runs did not show both windows\n");
        return 1;
    }
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {  // interleaved, so drift in the machine's load hits both alike
        double ta = TimeToShown(argv[2], argv[3]);
        double tb = TimeToShown(argv[4], argv[5]);
        if (ta < 0 || tb < 0) {
            std::fwprintf(stderr, L"startup_time: run %d did not show both windows (%.1f, %.1f)\n", i + 1, ta, tb);
            return 1;
        }
        a.push_back(ta);
        b.push_back(tb);
    }
    double ma = Median(a), mb = Median(b);
    std::wprintf(L"start to shown, median of %d runs each (min..max):\n", runs);
    std::wprintf(L"  %ls  %.0f ms (%.0f..%.0f)\n", argv[3], ma, *std::min_element(a.begin(), a.end()),
                 *std::max_element(a.begin(), a.end()));
    std::wprintf(L"  %ls  %.0f ms (%.0f..%.0f)\n", argv[5], mb, *std::min_element(b.begin(), b.end()),
                 *std::max_element(b.begin(), b.end()));
    std::wprintf(L"  ratio %.2f\n", ma / mb);
    // The fastest starts move least with the load others put on a shared machine.
    std::wprintf(L"  ratio of the fastest starts %.2f\n",
                 *std::min_element(a.begin(), a.end()) / *std::min_element(b.begin(), b.end()));
    std::wprintf(L"  each run, %ls / %ls:", argv[3], argv[5]);
    for (int i = 0; i < runs; ++i) std::wprintf(L" %.0f/%.0f", a[i], b[i]);
    std::wprintf(L"\n");
    return 0;
}
