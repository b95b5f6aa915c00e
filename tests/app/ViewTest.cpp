#include "AppTest.h"

#include <shlwapi.h>


TEST_F(AppTest, TheViewShowsTheStoredSettingsAndTakes32CharactersPerField) {
    Open();
    CKelda_txView& view = View();
    EXPECT_EQ(TextOf(view.loginEdit.Handle()) + L"/" + view.passwordEdit.ShownText(), L"stored/********");
    for (HWND field : {view.loginEdit.Handle(), view.passwordEdit.Handle()})
        for (int i = 0; i < 40; ++i) SendMessageW(field, WM_CHAR, L'x', 1);
    EXPECT_EQ(TextOf(view.loginEdit.Handle()).size(), 32u);
    EXPECT_EQ(view.passwordEdit.ShownText(), std::wstring(32, L'*'));
    EXPECT_EQ(IsDlgButtonChecked(view.Handle(), IDC_HIDE_ON_START), BST_CHECKED);
}

TEST_F(AppTest, AdoptsAConnectionStartedElsewhereAndFollowsItsEndInTheViewAndTheTrayIcon) {
    SimulatedRas().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    Open();
    EXPECT_TRUE(ShowsWithin(300, L"shown, Отключиться, Соединено"));
    EXPECT_EQ(KeldaConnections(), 1);  // adopted, not dialled
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDI_CONNECTED); }, 1000));
    SimulatedRas().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
    EXPECT_TRUE(ShowsWithin(300, L"shown, Подключиться, Не соединено"));  // within two ticks
    EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDR_MAINFRAME); }, 1000));
}

// A failed dial against a service whose hang-up waits for the dial's thread to leave the notifier,
// as the real one may: the view's tick lets it go without the two waiting on each other.
TEST_F(AppTest, ReleasingAFailedDialDoesNotDeadlockWithTheNotifier) {
    Scenario(L"badauth", TRUE);
    Open();
    Press(IDC_CONNECT_BUTTON);
    EXPECT_TRUE(PumpUntil([&] { return TextOf(View().progressLabel.Handle()).find(L"denied") != std::wstring::npos; }, 8000));
    EXPECT_TRUE(PumpUntil([&] { return KeldaConnections(true) == 0; }, 3000)) << "released";
    EXPECT_EQ(SimulatedRas().Read()->hangUpWaitsTimedOut, 0u);
}

TEST_F(AppTest, TheEndOfTheWindowsSessionHangsUpADialAndSavesTheSettings) {
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
    Scenario(L"slow");
    Open();
    Press(IDC_AUTOCONNECT);
    Press(IDC_CONNECT_BUTTON);
    ASSERT_EQ(KeldaConnections(), 1);
    SendMessageW(Window(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(KeldaConnections(true), 0) << "the dial was not hung up and released before the session ends";
    AppConfigRecord saved;
    saved.LoadSettings();
    EXPECT_EQ(std::wstring(saved.login) + L"/" + saved.password + L" " + std::to_wstring(saved.autoConnect), L"stored/storedpw 1");
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
}
