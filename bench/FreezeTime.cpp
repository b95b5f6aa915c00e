// How long the window stops answering when a statistics refresh meets a server that holds it:
// the program runs against a server in this tool that answers the manifest and the first query
// (made while the frame is created), then holds each later one in turn until the program gives
// up. After each press of "Обновить статистику" the frame is polled with WM_NULL until it
// answers steadily again.
#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Bench.h"
#include "Launcher.h"
#include "res/resource.h"
#include "settings/BuildSettings.h"
#include "support/TestServer.h"

namespace {
constexpr double kSilenceBound = 60;    // seconds: far beyond any bound the network code sets
constexpr UINT kPollMs = 50;            // an answer slower than this counts as no answer yet
constexpr double kFreezeGap = 0.5;      // a longer silence is a freeze, not scheduling noise
constexpr double kSteadyAfter = 1.0;    // answering this long after a freeze: it is over
constexpr double kNoFreezeAfter = 3.0;  // a press that froze nothing by then did not freeze
const char* const kHolds[] = {"silent", "trickling a header", "trickling a body"};

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

// The start of a reply, then one byte a second for longer than any bound.
std::vector<std::string> Trickle(const std::string& start) {
    std::vector<std::string> pieces(61, "0");
    pieces[0] = start;
    return pieces;
}
}  // namespace

int FreezeTime(int presses, const std::wstring& program) {
    TestServer provider(KELDA_SERVER_PORT);
    if (!provider.Listening()) return std::printf("127.0.0.1:%d is taken\n", KELDA_SERVER_PORT), 1;
    std::atomic<int> answered{0}, held{0};
    std::atomic<bool> holding{false};
    std::wstring version = KELDA_VERSION;
    provider.Route("/keldatx.txt", 200, "version=" + std::string(version.begin(), version.end()) + "\r\n");
    provider.Route("/kelda_tools_info.php", [&](Peer& peer) {
        if (!holding) return ++answered, peer.Reply(200, "balance=0.00\r\n");
        int hold = held++ % 3;
        if (hold == 0) return peer.Stall();
        peer.SendPieces(Trickle(hold == 1 ? "HTTP/1.0 200 OK\r\nX-Held: " : "HTTP/1.0 200 OK\r\n\r\nbalance="), 1000);
    });
    ProgramProcess kelda(program);
    HWND frame = kelda.WaitForWindow(ProgramCaption(), 30000);
    HWND view = frame ? FindWindowExW(frame, nullptr, L"#32770", nullptr) : nullptr;
    HWND button = view ? GetDlgItem(view, IDC_REFRESH_STATISTICS) : nullptr;
    if (!button) return std::printf("no frame with the statistics button\n"), 1;
    holding = true;
    double worst = 0;
    for (int i = 0; i < presses; ++i) {
        double freeze = PressAndMeasure(frame, view, button);
        if (freeze < 0) return std::printf("  press %d: no answer for more than %.0f s\n", i + 1, kSilenceBound), 1;
        std::printf("  press %d, the server %s: the window did not answer for %.2f s\n", i + 1, kHolds[i % 3], freeze);
        std::fflush(stdout);
        worst = std::max(worst, freeze);
    }
    PostMessageW(frame, WM_CLOSE, 1, 0);
    kelda.WaitForExit(10000);
    if (answered != 1 || held != presses) {
        return std::printf("the server answered %d statistics queries and held %d, not 1 and %d\n", answered.load(),
                           held.load(), presses), 1;
    }
    std::printf("worst freeze over %d presses: %.2f s\n", presses, worst);
    Aim("no longer than the bound on one statistics exchange, 20 s", worst <= 20.5);
    return 0;
}
