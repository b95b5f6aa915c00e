// How long a running kelda_tx stops answering when its statistics refresh
// meets a server that holds it (silent, or trickling):
//   freeze_time CAPTION PRESSES SWITCH_FILE
// Waits until the frame with that caption is shown (its first statistics query
// is over then), creates SWITCH_FILE (the provider holds statistics queries
// from then on), presses "Обновить статистику" in its view PRESSES times, one
// after the other, and after each press polls the frame with WM_NULL
// (SendMessageTimeout) until it has answered steadily again. Prints the longest
// stretch without an answer after each press, and the worst of them. Fails when
// the frame is not shown, or stays silent beyond the bound.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "ChildProcess.h"
#include "res/resource.h"

namespace {
constexpr DWORD kFindBoundMs = 30000;
constexpr double kSilenceBound = 60;    // seconds: far beyond any bound the network code sets
constexpr UINT kPollMs = 50;            // an answer slower than this counts as no answer yet
constexpr double kFreezeGap = 0.5;      // a longer silence is a freeze, not scheduling noise
constexpr double kSteadyAfter = 1.0;    // answering this long after a freeze: it is over
constexpr double kNoFreezeAfter = 3.0;  // a press that froze nothing by then did not freeze

HWND FindShownFrame(const wchar_t* caption) {
    double deadline = Now() + kFindBoundMs / 1000.0;
    for (;;) {
        HWND frame = FindWindowW(nullptr, caption);
        if (frame && IsWindowVisible(frame)) return frame;
        if (Now() >= deadline) return nullptr;
        Sleep(100);  // another process's windows give no event to wait on
    }
}

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kPollMs, &result) != 0;
}

// Seconds of the longest silence after one press; negative when it lasted beyond the bound.
double PressAndMeasure(HWND frame, HWND view, HWND button) {
    double pressed = Now();
    PostMessageW(view, WM_COMMAND, MAKEWPARAM(IDC_REFRESH_STATISTICS, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    double lastAnswer = pressed, freezeEnded = pressed, worst = 0;
    for (;;) {
        bool answered = Answers(frame);
        double now = Now();
        if (!answered) {
            if (now - lastAnswer > kSilenceBound) return -1;
            continue;
        }
        double silence = now - lastAnswer;
        worst = std::max(worst, silence);
        if (silence > kFreezeGap) freezeEnded = now;
        lastAnswer = now;
        bool frozeAndRecovered = worst > kFreezeGap && now - freezeEnded >= kSteadyAfter;
        if (now - pressed >= kNoFreezeAfter && (frozeAndRecovered || worst <= kFreezeGap)) return worst;
        Sleep(10);
    }
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    int presses = argc == 4 ? _wtoi(argv[2]) : 0;
    if (presses < 1) {
        std::fwprintf(stderr, L"usage: freeze_time CAPTION PRESSES SWITCH_FILE\n");
        return 2;
    }
    HWND frame = FindShownFrame(argv[1]);
    HWND view = frame ? FindWindowExW(frame, nullptr, L"#32770", nullptr) : nullptr;
    HWND button = view ? GetDlgItem(view, IDC_REFRESH_STATISTICS) : nullptr;
    if (!button) {
        std::fwprintf(stderr, L"freeze_time: no window \"%ls\" with the statistics button\n", argv[1]);
        return 1;
    }
    UniqueKernelHandle switchFile(
        CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (switchFile.get() == INVALID_HANDLE_VALUE) {
        switchFile.release();
        std::fwprintf(stderr, L"freeze_time: cannot create %ls\n", argv[3]);
        return 1;
    }
    double worst = 0;
    for (int i = 1; i <= presses; ++i) {
        double freeze = PressAndMeasure(frame, view, button);
        if (freeze < 0) {
            std::wprintf(L"  press %d: no answer for more than %.0f s\n", i, kSilenceBound);
            return 1;
        }
        std::wprintf(L"  press %d: the window did not answer for %.2f s\n", i, freeze);
        std::fflush(stdout);
        worst = std::max(worst, freeze);
    }
    std::wprintf(L"worst freeze over %d presses: %.2f s\n", presses, worst);
    return 0;
}
