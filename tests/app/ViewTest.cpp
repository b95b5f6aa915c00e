#include "AppTest.h"

#include <shlwapi.h>

#include <functional>

TEST_F(AppTest, TheViewShowsTheSettingsTheLinkAndTheBalance) {
    AppConfig.StoreCredentials(L"ivanov", L"pa55");
    AppConfig.hideOnStart = 1;
    Open();
    CKelda_txView& view = View();
    EXPECT_EQ(TextOf(view.loginEdit.Handle()), L"ivanov");
    EXPECT_EQ(view.passwordEdit.ShownText(), L"****");
    for (HWND field : {view.loginEdit.Handle(), view.passwordEdit.Handle()}) {
        for (int i = 0; i < 40; ++i) SendMessageW(field, WM_CHAR, L'x', 1);
    }
    EXPECT_EQ(TextOf(view.loginEdit.Handle()).size(), 32u);
    EXPECT_EQ(view.passwordEdit.ShownText(), std::wstring(32, L'*'));
    EXPECT_EQ(SendDlgItemMessageW(view.Handle(), IDC_AUTOCONNECT, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendDlgItemMessageW(view.Handle(), IDC_HIDE_ON_START, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(ShowsConnected(false, 500));
    EXPECT_EQ(frame->TrayTip(), L"Текущий баланс: 42.50");  // from the display's first query
}

TEST_F(AppTest, AdoptsAConnectionStartedElsewhereAndFollowsItsEndInTheViewAndTheTrayIcon) {
    auto addConnection = [] {
        Service().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    };
    addConnection();
    Open();
    EXPECT_TRUE(ShowsConnected(true, 300));
    EXPECT_EQ(DialledWith(), L"/");  // adopted, not dialled
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDI_CONNECTED); }, 1000));
    // Dropped outside: the view notices within two ticks.
    Service().Update([](fakeras::State& s) {
        for (fakeras::Connection& c : s.connections) c = fakeras::Connection{};
    });
    EXPECT_TRUE(ShowsConnected(false, 300));
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDR_MAINFRAME); }, 1000));
    // Started outside again: adopted at one tick, shown at the next.
    addConnection();
    EXPECT_TRUE(ShowsConnected(true, 300));
}

TEST_F(AppTest, EveryButtonPressRefreshesTheBalanceInTheTrayTipEvenWhenTheDialIsRefused) {
    Scenario(L"refused");
    Open();
    struct Case {
        int button;
        const char* balance;
        const wchar_t* tip;  // of the display's 32-bit figure, widened
    } cases[] = {{IDC_CONNECT_BUTTON, "-7.25", L"Текущий баланс: -7.25"},
                 {IDC_REFRESH_STATISTICS, "1234567.89", L"Текущий баланс: 1234567.88"},
                 {IDC_REFRESH_STATISTICS, "99.995", L"Текущий баланс: 100.00"}};
    for (const Case& c : cases) {
        server.Route("/kelda_tools_info.php", 200, std::string("balance=") + c.balance + "\r\ncredit=3\r\n");
        Press(c.button);
        EXPECT_TRUE(PumpUntil([&] { return frame->TrayTip() == c.tip; }, 3000)) << c.balance;
    }
    EXPECT_TRUE(ShowsConnected(false, 300));
}

// The connection's whole life against a service as strict and as slow as the
// real one: nothing outlives the program, no live handle is lost, and no
// hang-up freezes the window.
TEST_F(AppTest, NoDialIsOrphanedAndNoHangUpFreezesTheWindow) {
    auto exit = [&] { SendMessageW(Window(), WM_CLOSE, 1, 0); };
    auto press = [&] { Press(IDC_CONNECT_BUTTON); };
    auto failure = [&] {  // reported only once the view's tick has hung the failed dial up
        EXPECT_TRUE(PumpUntil([&] { return TextOf(View().progressLabel.Handle()).find(L"denied") != std::wstring::npos; }, 8000));
    };
    const struct Case {
        const char* name;
        const wchar_t* scenario;
        DWORD hangUpDelayMs;
        BOOL hangUpBlocks;  // RasHangUpW waits for the dial's thread to return from the notifier
        bool connectFirst;  // else the step comes while the dial is under way
        std::function<void()> step;
        int liveAfter;      // connections of the entry right after the step
        int hungUpAfter;    // hung up, still being released
    } cases[] = {
        {"exit while connected", L"success", 200, FALSE, true, exit, 0, 0},
        {"exit during a dial", L"slow", 200, FALSE, false, exit, 0, 0},
        {"a second press during a dial", L"slow", 200, FALSE, false, press, 1, 1},
        {"a hang-up while the release is slow", L"success", 1000, FALSE, true, press, 0, 1},
        {"a failed dial whose hang-up waits for the notifier", L"badauth", 1000, TRUE, false, failure, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Update([&](fakeras::State& s) {
            fakeras::ForgetEverything(s);
            lstrcpynW(s.scenario, c.scenario, 32);
            s.hangUpDelayMs = c.hangUpDelayMs;
            s.hangUpBlocks = c.hangUpBlocks;
        });
        Open();
        Press(IDC_CONNECT_BUTTON);
        RasConnection& connection = View().connection;
        HRASCONN first = connection.hrasconn;
        ASSERT_NE(first, nullptr);
        if (c.connectFirst) {
            ASSERT_TRUE(ShowsConnected(true, 5000));
        }
        c.step();
        EXPECT_EQ(Connections(), c.liveAfter);
        EXPECT_EQ(Connections(true) - Connections(), c.hungUpAfter) << "hung up, not yet released";
        EXPECT_EQ(Service().Read()->hangUpWaitsTimedOut, 0u) << "the hang-up and the notifier waited on each other";
        if (IsWindow(Window())) {
            EXPECT_TRUE(!c.liveAfter || connection.hrasconn != first) << "a new dial, not the one hung up";
            RedrawWindow(View().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(View().Handle(), nullptr, FALSE); }, 100)) << "no repaint";
        }
        EXPECT_TRUE(PumpUntil([&] { return connection.releasing.empty(); }, c.hangUpDelayMs + 2000));
        RASCONNSTATUSW status{};
        status.dwSize = sizeof status;
        EXPECT_EQ(RasGetConnectStatusW(first, &status), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        frame.reset();
    }
}

TEST_F(AppTest, TheEndOfTheWindowsSessionHangsUpADialAndSavesTheSettings) {
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
    Scenario(L"slow");
    Open();
    Press(IDC_AUTOCONNECT);
    Press(IDC_CONNECT_BUTTON);
    ASSERT_EQ(Connections(), 1);
    SendMessageW(Window(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(Connections(true), 0) << "the dial was not hung up and released before the session ends";
    EXPECT_FALSE(IsWindowVisible(Window()));
    AppConfig.StoreCredentials(L"", L"");
    AppConfig.autoConnect = 0;
    AppConfig.LoadSettings();
    EXPECT_EQ(std::wstring(AppConfig.login) + L"/" + AppConfig.password, L"stored/storedpw");
    EXPECT_EQ(AppConfig.autoConnect, 1u);
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
}
