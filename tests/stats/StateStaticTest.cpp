#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "framework/Messages.h"
#include "settings/AppConfig.h"
#include "stats/StateStatic.h"
#include "controls/ControlTestSupport.h"
#include "support/TestServer.h"
#include "text/FixedText.h"

namespace {
int statisticsNotices = 0;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_STATISTICS_UPDATED && wParam == 0 && lParam == 0) ++statisticsNotices;
    return DefWindowProcW(window, message, wParam, lParam);
}

std::string Ok(const std::string& body) { return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body; }

bool IsRed(const Capture& paint, int x, int y) { return (paint.pixels[y * paint.width + x] & 0xFFFFFF) == 0xFF0000; }

// Bounds {left, top, right, bottom} (inclusive) of the pixels in rows [top, bottom) that pass `test`.
template <typename Test>
RECT Bounds(const Capture& paint, int top, int bottom, Test test) {
    RECT r{paint.width, paint.height, -1, -1};
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < paint.width; ++x)
            if (test(x, y)) r = {std::min<LONG>(r.left, x), std::min<LONG>(r.top, y), std::max<LONG>(r.right, x),
                                 std::max<LONG>(r.bottom, y)};
    return r;
}

class StateStaticTest : public testing::Test {
protected:
    void SetUp() override {
        frame = std::make_unique<TestWindow>(FrameProc);
        view = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 330, 230, frame->Handle(), nullptr,
                               nullptr, nullptr);
        CopyFixedText(AppConfig.login, L"demo");
        CopyFixedText(AppConfig.password, L"demo2026");
        DeleteFileW(L"tfile.txt");
        statisticsNotices = 0;
    }
    void TearDown() override {
        frame.reset();
        PumpFor(0);
    }

    // Creates the display as the view does; its first query meets `reply`.
    std::string Create(const std::string& reply) {
        TestServer server(TestServer::Sends(reply));
        display = std::make_unique<CStateStatic>(server.Port());
        display->Create(view, RECT{5, 5, 200, 70}, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        PumpFor(0);
        return server.Finish();
    }
    // Asks for a refresh the way the view does (any timer id works); whether the server was asked.
    bool Refresh(const std::string& reply, WPARAM timerId = CStateStatic::kRefreshTimerId) {
        TestServer server(TestServer::Sends(reply));
        display->http.SetServer(L"127.0.0.1", server.Port());
        statisticsNotices = 0;
        PostMessageW(display->Handle(), WM_TIMER, timerId, 0);
        PumpFor(0);
        server.Finish();
        return server.Accepted();
    }
    // KillTimer fails for a timer that does not run; the next query starts it again.
    bool RefreshTimerRuns() { return KillTimer(display->Handle(), CStateStatic::kRefreshTimerId) != FALSE; }

    std::unique_ptr<TestWindow> frame;
    HWND view = nullptr;
    std::unique_ptr<CStateStatic> display;
};
}  // namespace

TEST_F(StateStaticTest, CreationQueriesOnceAndShowsTheBalanceLargeWithoutDeferredLine) {
    std::string request = Create(Ok("balance=250.5\r\n"));
    // The token of demo/demo2026, from an independent reference; '=' goes out unencoded.
    EXPECT_EQ(request,
              "GET /kelda_tools_info.php?a=zVbbZwtGozI2MmVtZA== HTTP/1.0\r\nAccept: */*\r\n"
              "User-Agent: MSIE 5.5\r\nConnection: close\r\n\r\n\r\n");
    EXPECT_EQ(display->balance, 250.5f);
    EXPECT_EQ(display->credit, 0.0f);
    EXPECT_EQ(statisticsNotices, 1);
    EXPECT_EQ(GetFileAttributesW(L"tfile.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(RefreshTimerRuns());
    EXPECT_FALSE(RefreshTimerRuns());

    PaintRecord recording = RecordPaints(display->Handle());
    EXPECT_EQ(recording.texts, (std::vector<std::wstring>{L"Лицевой счет", L"250.50"}));
    EXPECT_EQ(recording.fontHeights, (std::vector<LONG>{17, 50}));
    EXPECT_TRUE(recording.allBoldArial);
    EXPECT_EQ(recording.deleted, 2);  // every font it made: the paint makes no other objects

    Capture paint = PaintIntoMemory(display->Handle());
    ASSERT_EQ(paint.width, 195);
    ASSERT_EQ(paint.height, 65);
    EXPECT_LT(Bounds(paint, 0, 65, [&](int x, int y) { return IsRed(paint, x, y); }).right, 0);
    // Digits of a 50-pixel cell stand about 32 pixels tall, centred below the caption.
    RECT digits = Bounds(paint, 17, 65, [&](int x, int y) { return paint.IsInk(x, y); });
    EXPECT_NEAR(digits.bottom - digits.top + 1, 32, 3);
    EXPECT_NEAR(digits.left, 194 - digits.right, 2);
}

TEST_F(StateStaticTest, DeferredAmountShrinksTheBalanceAndAddsAWhiteOnRedLine) {
    Create(Ok("balance=-12.3\r\ncredit=100\r\n"));
    EXPECT_EQ(display->balance, -12.3f);
    EXPECT_EQ(display->credit, 100.0f);

    PaintRecord recording = RecordPaints(display->Handle());
    EXPECT_EQ(recording.texts, (std::vector<std::wstring>{L"Лицевой счет", L"-12.30", L"Отсрочено: 100.00"}));
    EXPECT_EQ(recording.fontHeights, (std::vector<LONG>{17, 33, 17}));
    EXPECT_TRUE(recording.allBoldArial);
    EXPECT_EQ(recording.deleted, 3);

    Capture paint = PaintIntoMemory(display->Handle());
    // Only the text's own cell is red: rows 48-64, centred, short of both edges.
    RECT red = Bounds(paint, 0, 65, [&](int x, int y) { return IsRed(paint, x, y); });
    EXPECT_EQ(red.top, 48);
    EXPECT_EQ(red.bottom, 64);
    EXPECT_GT(red.left, 5);
    EXPECT_NEAR(red.left, 194 - red.right, 2);
    RECT white = Bounds(paint, 48, 65, [&](int x, int y) {
        return x >= red.left && x <= red.right && (paint.pixels[y * paint.width + x] & 0xFFFFFF) == 0xFFFFFF;
    });
    EXPECT_GT(white.bottom - white.top, 6) << "white text inside the red cell";
    // Digits of a 33-pixel cell stand about 21 pixels tall, above the red line.
    RECT digits = Bounds(paint, 17, 48, [&](int x, int y) { return paint.IsInk(x, y) && !IsRed(paint, x, y); });
    EXPECT_NEAR(digits.bottom - digits.top + 1, 21, 3);
}

TEST_F(StateStaticTest, FiguresAreThirtyTwoBitFloatsAndAnyNonZeroCreditShows) {
    Create(Ok("balance=1234567.89\r\n"));
    EXPECT_EQ(RecordPaints(display->Handle()).texts.back(), L"1234567.88");
    Refresh(Ok("balance=99.995\r\n"), 7);  // any timer id queries
    EXPECT_EQ(RecordPaints(display->Handle()).texts.back(), L"100.00");
    EXPECT_EQ(statisticsNotices, 1);
    Refresh(Ok("balance=5\r\ncredit=-7.5\r\n"));
    EXPECT_EQ(RecordPaints(display->Handle()).texts.back(), L"Отсрочено: -7.50");
    EXPECT_TRUE(RefreshTimerRuns());
}

TEST_F(StateStaticTest, AFailedDownloadShowsZeroAndLeavesAnOlderReplyFileAlone) {
    Create(Ok("balance=-12.3\r\ncredit=100\r\n"));
    std::ofstream("tfile.txt", std::ios::binary) << "balance=77\r\n";

    Refresh("HTTP/1.0 404 Not Found\r\n\r\n");
    EXPECT_EQ(display->balance, 0.0f);
    EXPECT_EQ(display->credit, 0.0f);
    std::ifstream older("tfile.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "balance=77\r\n");
    EXPECT_EQ(statisticsNotices, 1);
    EXPECT_TRUE(RefreshTimerRuns());
    EXPECT_EQ(RecordPaints(display->Handle()).texts, (std::vector<std::wstring>{L"Лицевой счет", L"0.00"}));
    older.close();
    DeleteFileW(L"tfile.txt");
}

TEST_F(StateStaticTest, CredentialsWithoutAnEightBitFormAreNeverSent) {
    Create(Ok("balance=250.5\r\n"));
    CopyFixedText(AppConfig.login, L"иван");
    EXPECT_FALSE(Refresh(Ok("balance=1\r\n")));
    EXPECT_EQ(display->balance, 0.0f);
    EXPECT_EQ(statisticsNotices, 1);
    EXPECT_TRUE(RefreshTimerRuns());
}
