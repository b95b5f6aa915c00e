#include "AppTest.h"

#include <shlwapi.h>

TEST_F(AppTest, TheViewShowsTheStoredSettingsAndTakes32CharactersPerField) {
    AppConfig.hideOnStart = 1;
    Open();
    CKelda_txView& view = View();
    EXPECT_EQ(TextOf(view.loginEdit.Handle()) + L"/" + view.passwordEdit.ShownText(), L"stored/********");
    for (HWND field : {view.loginEdit.Handle(), view.passwordEdit.Handle()})
        for (int i = 0; i < 40; ++i) SendMessageW(field, WM_CHAR, L'x', 1);
    EXPECT_EQ(TextOf(view.loginEdit.Handle()).size(), 32u);
    EXPECT_EQ(view.passwordEdit.ShownText(), std::wstring(32, L'*'));
    EXPECT_EQ(IsDlgButtonChecked(view.Handle(), IDC_AUTOCONNECT), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(view.Handle(), IDC_HIDE_ON_START), BST_CHECKED);
}

TEST_F(AppTest, AdoptsAConnectionStartedElsewhereAndFollowsItsEndInTheViewAndTheTrayIcon) {
    auto connectElsewhere = [] {
        Service().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    };
    connectElsewhere();
    Open();
    EXPECT_TRUE(ShowsConnected(true, 300));
    EXPECT_EQ(Dialled(), L"/");  // adopted, not dialled
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDI_CONNECTED); }, 1000));
    Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
    EXPECT_TRUE(ShowsConnected(false, 300));  // within two ticks
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDR_MAINFRAME); }, 1000));
    connectElsewhere();
    EXPECT_TRUE(ShowsConnected(true, 300));  // adopted at one tick, shown at the next
}

TEST_F(AppTest, ConnectAndRefreshRefreshTheBalanceInTheTrayTipEvenWhenTheDialIsRefused) {
    Scenario(L"refused");
    Open();
    struct Case {
        int button;
        const char* balance;
        const wchar_t* tip;  // of the display's 32-bit figure
    } cases[] = {{IDC_CONNECT_BUTTON, "-7.25", L"Текущий баланс: -7.25"},
                 {IDC_REFRESH_STATISTICS, "1234567.89", L"Текущий баланс: 1234567.88"}};
    for (const Case& c : cases) {
        server.Route("/kelda_tools_info.php", 200, std::string("balance=") + c.balance + "\r\ncredit=3\r\n");
        Press(c.button);
        EXPECT_TRUE(PumpUntil([&] { return frame->TrayTip() == c.tip; }, 3000)) << c.balance;
    }
}

// Against a service as strict and as slow as the real one: no live handle is lost and no
// hang-up freezes the window.
TEST_F(AppTest, NoHangUpOrphansADialOrFreezesTheWindow) {
    const struct Case {
        const wchar_t* scenario;  // slow: pressed again during the dial; success: once connected
        DWORD hangUpDelayMs;      // badauth: the view's tick hangs the failed dial up
        BOOL hangUpBlocks;
        int liveAfter, hungUpAfter;
    } cases[] = {{L"slow", 200, FALSE, 1, 1}, {L"success", 1000, FALSE, 0, 1}, {L"badauth", 1000, TRUE, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scenario);
        Scenario(c.scenario, c.hangUpDelayMs, c.hangUpBlocks);
        Open();
        Press(IDC_CONNECT_BUTTON);
        if (!lstrcmpW(c.scenario, L"success")) { ASSERT_TRUE(ShowsConnected(true, 5000)); }
        if (c.hangUpBlocks) {
            EXPECT_TRUE(PumpUntil([&] { return TextOf(View().progressLabel.Handle()).find(L"denied") != std::wstring::npos; }, 8000));
        } else {
            Press(IDC_CONNECT_BUTTON);
        }
        EXPECT_EQ(Connections(), c.liveAfter);
        EXPECT_EQ(Connections(true) - Connections(), c.hungUpAfter) << "hung up, not yet released";
        EXPECT_EQ(Service().Read()->hangUpWaitsTimedOut, 0u) << "the hang-up and the notifier waited on each other";
        RedrawWindow(View().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(View().Handle(), nullptr, FALSE); }, 100)) << "no repaint";
        EXPECT_TRUE(PumpUntil([&] { return View().connection.releasing.empty(); }, c.hangUpDelayMs + 2000));
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
    EXPECT_EQ(std::wstring(AppConfig.login) + L"/" + AppConfig.password + L" " + std::to_wstring(AppConfig.autoConnect),
              L"stored/storedpw 1");
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
}
