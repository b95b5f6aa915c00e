// kelda_bench: the benchmarks' measurements, run under Wine by bench/run (which tells what
// each one does and sets the scene).
#include "Bench.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/BuildSettings.h"

double Now() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Aim(const char* aim, bool met) {
    std::printf("  aim: %s: %s\n", aim, met ? "met" : "MISSED");
    std::fflush(stdout);
}

std::wstring ProgramCaption() { return std::wstring(L"kelda_tx ") + KELDA_VERSION; }

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "";
    int count = argc > 2 ? std::atoi(argv[2]) : 0;
    auto wide = [&](int i) { return argc > i ? std::wstring(argv[i], argv[i] + std::strlen(argv[i])) : L""; };
    if (count > 0 && what == "startup" && argc == 5) return StartupTime(count, wide(3), wide(4));
    if (count > 0 && what == "idle" && argc == 5) return IdleCost(count, wide(3), wide(4));
    if (count > 0 && what == "freeze" && argc == 4) return FreezeTime(count, wide(3));
    if (count > 0 && what == "download" && argc == 4) return DownloadSpeed(count, std::max(1, std::atoi(argv[3])));
    if (count > 0 && what == "update-window" && argc == 5) return UpdateWindowTime(count, wide(3), wide(4));
    std::fprintf(stderr, "usage: kelda_bench startup RUNS PROGRAM YARDSTICK | idle SECONDS PROGRAM YARDSTICK |\n"
                         "                   freeze PRESSES PROGRAM | download MEGABYTES RUNS |\n"
                         "                   update-window RUNS PROGRAM YARDSTICK\n");
    return 2;
}
