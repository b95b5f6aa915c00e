// How long the window stops answering while a statistics query meets a server that holds it, and
// how long the tray's exit takes then. The program runs against a server in this tool that answers
// the manifest and the first query (made when the frame is created), then holds each later one
// (silent, trickling a header, trickling a body) until this tool lets it go. After each press of
// "Обновить статистику", once the server holds the query, a message goes to the frame every 50 ms
// for 3 s; the figure is the longest wait for an answer.
#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Bench.h"
#include "Launcher.h"
#include "res/resource.h"
#include "settings/BuildSettings.h"
#include "support/TestServer.h"

namespace {
constexpr DWORD kAnswerBoundMs = 60000;  // far beyond any bound the network code sets
constexpr DWORD kPollGapMs = 50;
constexpr double kMeasureSeconds = 3;
const char* const kHolds[] = {"silent", "trickling a header", "trickling a body"};

// Seconds of the longest wait for the frame's answer while the query is held; negative: no answer at all.
double LongestSilence(HWND frame) {
    double worst = 0;
    for (double start = Now(); Now() - start < kMeasureSeconds; Sleep(kPollGapMs)) {
        double sent = Now();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &result)) return -1;
        worst = std::max(worst, Now() - sent);
    }
    return worst;
}

bool WaitFor(const std::atomic<int>& count, int wanted) {
    return PumpUntil([&] { return count >= wanted; }, 15000);
}
}  // namespace

int FreezeTime(int presses, const std::wstring& program) {
    TestServer provider(KELDA_SERVER_PORT);
    if (!provider.Listening()) return std::printf("127.0.0.1:%d is taken\n", KELDA_SERVER_PORT), 1;
    std::atomic<int> answered{0}, held{0};
    std::atomic<bool> holding{false};
    UniqueKernelHandle release(CreateEventW(nullptr, FALSE, FALSE, nullptr));  // lets one held query go
    std::wstring version = KELDA_VERSION;
    provider.Route("/keldatx.txt", 200, "version=" + std::string(version.begin(), version.end()) + "\r\n");
    provider.Route("/kelda_tools_info.php", [&](Peer& peer) {
        if (!holding) return ++answered, peer.Reply(200, "balance=0.00\r\n");
        int hold = held++ % 3;
        if (hold > 0) peer.Send(hold == 1 ? "HTTP/1.0 200 OK\r\nX-Held: " : "HTTP/1.0 200 OK\r\n\r\nbalance=");
        // One byte a second while held; a client that gives up ends the hold too.
        while (WaitForSingleObject(release.get(), 1000) == WAIT_TIMEOUT && (hold == 0 || peer.Send("0"))) {
        }
    });
    ProgramProcess kelda(program);
    HWND frame = kelda.WaitForWindow(ProgramCaption(), 30000);
    HWND view = frame ? FindWindowExW(frame, nullptr, L"#32770", nullptr) : nullptr;
    HWND button = view ? GetDlgItem(view, IDC_REFRESH_STATISTICS) : nullptr;
    if (!button || !WaitFor(answered, 1)) return std::printf("no frame with the statistics button\n"), 1;
    holding = true;
    auto press = [&] {
        PostMessageW(view, WM_COMMAND, MAKEWPARAM(IDC_REFRESH_STATISTICS, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    };
    double worst = 0;
    for (int i = 0; i < presses; ++i) {
        press();
        if (!WaitFor(held, i + 1)) return std::printf("  press %d: no query reached the server\n", i + 1), 1;
        double silence = LongestSilence(frame);
        if (silence < 0) return std::printf("  press %d: no answer for %lu s\n", i + 1, kAnswerBoundMs / 1000), 1;
        std::printf("  press %d, the server %s: the longest wait for the window's answer %.0f ms\n", i + 1,
                    kHolds[i % 3], 1000 * silence);
        std::fflush(stdout);
        worst = std::max(worst, silence);
        SetEvent(release.get());
        Sleep(500);  // the query ends with the connection
    }
    press();
    if (!WaitFor(held, presses + 1)) return std::printf("  the last press reached no server\n"), 1;
    double exitStart = Now();
    PostMessageW(frame, WM_CLOSE, 1, 0);  // the tray's exit
    DWORD code = kelda.WaitForExit(10000);
    double exitTime = Now() - exitStart;
    SetEvent(release.get());
    if (answered != 1 || held != presses + 1) {
        return std::printf("the server answered %d statistics queries and held %d, not 1 and %d\n", answered.load(),
                           held.load(), presses + 1), 1;
    }
    std::printf("longest wait for the window's answer over %d held queries: %.0f ms\n", presses, 1000 * worst);
    Aim("at most 100 ms", worst <= 0.1);
    std::printf("the tray's exit during a held query to the end of the process: %.0f ms (code %lu)\n",
                1000 * exitTime, code);
    Aim("at most 1 s, code 1", exitTime <= 1.0 && code == 1);
    return 0;
}
