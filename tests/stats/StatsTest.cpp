#include "support/TestServer.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <tuple>
#include <vector>

#include "controls/ControlTestSupport.h"
#include "framework/Messages.h"
#include "settings/AppConfig.h"
#include "stats/StateStatic.h"
#include "stats/StatisticsToken.h"

namespace {
int updatesHeard = 0;  // WM_STATISTICS_UPDATED at the stand-in frame
LRESULT CALLBACK StandInFrame(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    updatesHeard += message == WM_STATISTICS_UPDATED;
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring ReplyFile() {
    wchar_t folder[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    PathRemoveFileSpecW(folder);
    return std::wstring(folder) + L"\\tfile.txt";
}
}  // namespace

// The display inside a stand-in view and frame, against a statistics server on 127.0.0.1 that answers
// at once, fails, or holds each query until released. The test's thread is the window's: that it goes
// on pumping and painting while a query is held is the window answering.
TEST(BalanceDisplay, QueriesBesideTheWindowOneAtATimeAndShowsTheLastAnswer) {
    enum Server { kAnswers, kFails, kHolds, kHoldsUntilClosed };
    struct Case { const char* what; Server server; int refreshesMeanwhile; bool destroyMeanwhile; std::vector<std::wstring> shown;
                  int updates, requests; bool olderReplyLeft; } cases[] = {
        {"an answer", kAnswers, 0, false, {L"Лицевой счет", L"-12.30", L"Отсрочено: 100.00"}, 1, 1, false},
        {"a failure: 0.00, an older reply neither read nor deleted", kFails, 0, false, {L"Лицевой счет", L"0.00"}, 1, 1, true},
        {"refreshes during a held query fold into one more", kHolds, 3, false, {L"Лицевой счет", L"5.00"}, 2, 2, false},
        {"the display destroyed during a held query", kHoldsUntilClosed, 1, true, {}, 0, 1, true},
    };
    AppConfig.StoreCredentials(L"demo", L"demo2026");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::fputs("balance=77\r\n", UniqueFile(_wfopen(ReplyFile().c_str(), L"wb")).get());  // an older reply
        UniqueKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr)), closed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        TestServer server([&](Peer& peer) {
            if (c.server == kHoldsUntilClosed) return peer.Stall(), void(SetEvent(closed.get()));
            if (c.server == kHolds) WaitForSingleObject(release.get(), 5000);
            peer.Reply(c.server == kFails ? 404 : 200, c.server == kHolds ? "balance=5\r\n" : "balance=-12.3\r\ncredit=100\r\n");
        });
        updatesHeard = 0;
        TestWindow frame(StandInFrame), view(DefWindowProcW, frame.Handle());
        CStateStatic display(server.Port());
        ASSERT_NE(display.Create(view.Handle(), RECT{5, 5, 200, 70}, nullptr, WS_CHILD | WS_VISIBLE), nullptr);
        size_t requests = 0;
        ASSERT_TRUE(PumpUntil([&] { return (requests += server.TakePaths().size()) > 0; }, 5000));
        for (int i = 0; i < c.refreshesMeanwhile; ++i) PostMessageW(display.Handle(), WM_TIMER, 1, 0);
        PumpFor(100);
        EXPECT_TRUE(c.server < kHolds || RecordPaints(display.Handle()).texts == std::vector<std::wstring>{L"Лицевой счет"}) << "a figure before the first answer";
        if (c.destroyMeanwhile) {
            DWORD start = GetTickCount();
            DestroyWindow(display.Handle());
            EXPECT_LT(GetTickCount() - start, StatisticsThread::kStopWaitMs / 2) << "the query was waited for, not stopped";
            EXPECT_EQ(WaitForSingleObject(closed.get(), 1000), WAIT_OBJECT_0) << "the query's connection stays open";
            PumpFor(200);
        } else {
            SetEvent(release.get());
            EXPECT_TRUE(PumpUntil([&] { return updatesHeard == c.updates; }, 5000));
            PumpFor(200);
            PaintRecord paint = RecordPaints(display.Handle());
            EXPECT_EQ(paint.texts, c.shown);
            EXPECT_EQ(paint.deleted, paint.fontsMade);
            EXPECT_TRUE(KillTimer(display.Handle(), CStateStatic::kRefreshTimerId)) << "the five minutes start again";
            DestroyWindow(display.Handle());
        }
        EXPECT_EQ(updatesHeard, c.updates);
        EXPECT_EQ(requests + server.TakePaths().size(), static_cast<size_t>(c.requests));
        EXPECT_EQ(GetFileAttributesW(ReplyFile().c_str()) != INVALID_FILE_ATTRIBUTES, c.olderReplyLeft);
        DeleteFileW(ReplyFile().c_str());
    }
}

// Expected tokens come from a separate reference (Python's base64 with the two
// swap tables), not from this program's helpers.
TEST(StatisticsToken, MatchesTheScriptsEncodingOrIsRefused) {
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"user", L"secret99x", L"jNecd0lXpDlyZWU5c2M="},  // nine characters: every pair swaps
        {L"user", L"abcde", L"jNZcdhlXpGJjZQ=="},          // four of the pairs fit
        {L"user", L"", L"cNjod=lX"},                       // padding moved inside by the second table
        // "login:permuted password" is 61 characters; only the first 49 go out.
        {L"subscriber-with-a-long-login", L"password-of-32-characters-123456",
         L"2Vaccyi3NWJlci13aXRoLWEtbG9uZy1sb2dpbjpvLXJzd2FkcHNvZi0zMi1jaGFyYQ=="},
        // Latin-1 characters go out as single bytes; their Base64 holds '+' and '/'.
        {L"\u00fb\u00ff", L"pass", L"H8cc+h6/Nw=="},
        // Characters without an 8-bit form give no token at all.
        {L"user", L"\u043f\u0430\u0440\u043e\u043b\u044c", nullptr},
        {L"user", L"pass\u20ac", nullptr},
    };
    for (auto [login, password, token] : cases) {
        EXPECT_EQ(MakeStatisticsToken(login, password).value_or(L"none"), token ? token : L"none") << password;
    }
}
