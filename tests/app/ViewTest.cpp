#include "AppTest.h"

#include <shlwapi.h>

#include <fstream>

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
    EXPECT_EQ(Connections(), std::vector<std::wstring>{L"/"});  // adopted, not dialled
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDI_CONNECTED); }, 1000));
    Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
    EXPECT_TRUE(ShowsConnected(false, 300));  // within two ticks
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDR_MAINFRAME); }, 1000));
    connectElsewhere();
    EXPECT_TRUE(ShowsConnected(true, 300));  // adopted at one tick, shown at the next
}

TEST_F(AppTest, EveryRefreshShowsWhatTheServerSaidInTheDisplayAndTheTrayTip) {
    struct Case { const char* reply; int status; const wchar_t* login; WPARAM timerId; bool asked; const wchar_t* shown; } cases[] = {
        {"balance=1234567.89\r\n", 200, L"demo", 0, true, L"Лицевой счет|1234567.88"},  // the button; 32-bit floats
        {"balance=99.995\r\n", 200, L"demo", 7, true, L"Лицевой счет|100.00"},
        {"balance=-12.3\r\ncredit=100\r\n", 200, L"demo", 1, true, L"Лицевой счет|-12.30|Отсрочено: 100.00"},
        {"balance=5\r\n", 404, L"demo", 1, true, L"Лицевой счет|0.00"},
        {"balance=5\r\n", 200, L"иван", 1, false, L"Лицевой счет|0.00"},  // without an 8-bit form: never sent
    };
    Open();
    HWND display = View().statisticsDisplay.Handle();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        server.Route("/kelda_tools_info.php", c.status, c.reply);
        AppConfig.StoreCredentials(c.login, L"demo2026");
        std::ofstream("tfile.txt", std::ios::binary) << "balance=77\r\n";  // an older reply
        int before = server.CountRequests("/");
        if (c.timerId) PostMessageW(display, WM_TIMER, c.timerId, 0);
        else Press(IDC_REFRESH_STATISTICS);
        PumpFor(0);
        EXPECT_EQ(server.CountRequests("/") > before, c.asked);
        std::ifstream reply("tfile.txt", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reply), {}).empty(), c.status == 200 && c.asked)
            << "a new reply is read and deleted, an older one left alone";
        PaintRecord paint = RecordPaints(display);
        std::wstring shown;
        for (const std::wstring& text : paint.texts) shown += (shown.empty() ? L"" : L"|") + text;
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(paint.deleted, paint.fontsMade);
        std::wstring figure = shown.substr(13, shown.find(L'|', 13) - 13);
        EXPECT_TRUE(PumpUntil([&] { return frame->TrayTip() == L"Текущий баланс: " + figure; }, 1000)) << frame->TrayTip();
        EXPECT_TRUE(KillTimer(display, CStateStatic::kRefreshTimerId)) << "the five-minute timer starts again";
    }
    DeleteFileW(L"tfile.txt");
}

// Against a service as strict and as slow as the real one: no live handle is lost and no
// hang-up freezes the window.
TEST_F(AppTest, NoHangUpOrphansADialOrFreezesTheWindow) {
    // slow: pressed again during the dial; success: once connected; badauth: the view's tick hangs up.
    struct Case { const wchar_t* scenario; DWORD hangUpDelayMs; BOOL hangUpBlocks; size_t liveAfter, hungUpAfter; } cases[] = {
        {L"slow", 200, FALSE, 1, 1}, {L"success", 1000, FALSE, 0, 1}, {L"badauth", 1000, TRUE, 0, 1}};
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
        EXPECT_EQ(Connections().size(), c.liveAfter);
        EXPECT_EQ(Connections(true).size() - Connections().size(), c.hungUpAfter) << "hung up, not yet released";
        EXPECT_EQ(Service().Read()->hangUpWaitsTimedOut, 0u) << "the hang-up and the notifier waited on each other";
        RedrawWindow(View().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(View().Handle(), nullptr, FALSE); }, 100)) << "no repaint";
        EXPECT_TRUE(PumpUntil([&] { return View().connection.releasing.empty(); }, c.hangUpDelayMs + 2000));
        Close();
    }
}

TEST_F(AppTest, TheEndOfTheWindowsSessionHangsUpADialAndSavesTheSettings) {
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
    Scenario(L"slow");
    Open();
    Press(IDC_AUTOCONNECT);
    Press(IDC_CONNECT_BUTTON);
    ASSERT_EQ(Connections().size(), 1u);
    SendMessageW(Window(), WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(Connections(true).empty()) << "the dial was not hung up and released before the session ends";
    EXPECT_FALSE(IsWindowVisible(Window()));
    AppConfigRecord saved;
    saved.LoadSettings();
    EXPECT_EQ(std::wstring(saved.login) + L"/" + saved.password + L" " + std::to_wstring(saved.autoConnect), L"stored/storedpw 1");
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
}
