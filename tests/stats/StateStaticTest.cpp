#include <winsock2.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "settings/AppConfig.h"
#include "stats/StateStatic.h"
#include "controls/ControlTestSupport.h"
#include "support/TestServer.h"
#include "text/FixedText.h"

namespace {
// The display against a statistics server of its own (the app's tray tip tests its notices).
class StateStaticTest : public testing::Test {
protected:
    void SetUp() override {
        CopyFixedText(AppConfig.login, L"demo");
        CopyFixedText(AppConfig.password, L"demo2026");
        DeleteFileW(L"tfile.txt");
    }
    void Answer(const std::string& body, int status = 200) { server.Route("", status, body); }
    // Creates the display as the view does: its first query meets `body`.
    void Create(const std::string& body) {
        Answer(body);
        display = std::make_unique<CStateStatic>(server.Port());
        display->Create(host.Handle(), RECT{5, 5, 200, 70}, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
        PumpFor(0);
    }
    // Asks for a refresh the way the view does (any timer id works); whether the server was asked.
    bool Refresh(WPARAM timerId = CStateStatic::kRefreshTimerId) {
        int before = server.CountRequests("/");
        PostMessageW(display->Handle(), WM_TIMER, timerId, 0);
        PumpFor(0);
        return server.CountRequests("/") > before;
    }
    // KillTimer fails for a timer that does not run; the next query starts it again.
    bool RefreshTimerRuns() { return KillTimer(display->Handle(), CStateStatic::kRefreshTimerId) != FALSE; }
    std::wstring Shown() {  // the lines drawn, joined by '|'
        std::wstring shown;
        for (const std::wstring& text : RecordPaints(display->Handle()).texts) shown += (shown.empty() ? L"" : L"|") + text;
        return shown;
    }

    TestServer server;
    TestWindow host;
    std::unique_ptr<CStateStatic> display;
};
}  // namespace

TEST_F(StateStaticTest, CreationQueriesOnceAndShowsTheBalance) {
    Create("balance=250.5\r\n");
    EXPECT_EQ(GetFileAttributesW(L"tfile.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(RefreshTimerRuns());
    EXPECT_FALSE(RefreshTimerRuns());

    EXPECT_EQ(Shown(), L"Лицевой счет|250.50");
    PaintRecord recording = RecordPaints(display->Handle());
    EXPECT_EQ(recording.deleted, recording.fontsMade);  // the paint makes no other objects
    // The token of demo/demo2026, from an independent reference; '=' goes out unencoded.
    EXPECT_EQ(server.Finish(),
              "GET /kelda_tools_info.php?a=zVbbZwtGozI2MmVtZA== HTTP/1.0\r\nAccept: */*\r\n"
              "User-Agent: MSIE 5.5\r\nConnection: close\r\n\r\n\r\n");
}

TEST_F(StateStaticTest, EveryRefreshShowsWhatTheServerSaidAndRestartsTheTimer) {
    struct Case {
        const char* reply;
        int status;
        const wchar_t* login;
        WPARAM timerId;
        bool asked;
        const wchar_t* shown;
    } cases[] = {
        {"balance=1234567.89\r\n", 200, L"demo", 1, true, L"Лицевой счет|1234567.88"},  // 32-bit floats
        {"balance=99.995\r\n", 200, L"demo", 7, true, L"Лицевой счет|100.00"},
        {"balance=-12.3\r\ncredit=100\r\n", 200, L"demo", 1, true, L"Лицевой счет|-12.30|Отсрочено: 100.00"},
        {"balance=5\r\ncredit=-7.5\r\n", 200, L"demo", 1, true, L"Лицевой счет|5.00|Отсрочено: -7.50"},
        {"balance=5\r\n", 404, L"demo", 1, true, L"Лицевой счет|0.00"},  // an older reply file is left alone
        {"balance=5\r\n", 200, L"иван", 1, false, L"Лицевой счет|0.00"},  // without an 8-bit form: never sent
    };
    Create("balance=250.5\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        Answer(c.reply, c.status);
        CopyFixedText(AppConfig.login, c.login);
        if (c.status != 200) std::ofstream("tfile.txt", std::ios::binary) << "balance=77\r\n";
        EXPECT_EQ(Refresh(c.timerId), c.asked);
        if (c.status != 200) {
            std::ifstream older("tfile.txt", std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "balance=77\r\n");
        }
        EXPECT_EQ(Shown(), c.shown);
        EXPECT_TRUE(RefreshTimerRuns());
    }
    DeleteFileW(L"tfile.txt");
}
