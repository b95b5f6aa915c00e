#include "AppTest.h"

#include <raserror.h>
#include <shlwapi.h>

// Started elsewhere before the view opens, or while it is open: the view's 100 ms tick takes it over.
TEST_F(AppTest, AdoptsAConnectionStartedElsewhereAndFollowsItsEndInTheViewAndTheTrayIcon) {
    auto startElsewhere = [] { SimulatedRas().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); }); };
    for (bool beforeOpening : {true, false}) {
        SCOPED_TRACE(beforeOpening ? "before the view opens" : "while it is open");
        if (beforeOpening) startElsewhere();
        AppConfig.autoConnect = beforeOpening;  // with a line up, no dial at start
        Open();
        if (!beforeOpening) startElsewhere();
        EXPECT_TRUE(ShowsWithin(300, L"shown, Отключиться, Соединено")) << "within two ticks: " << Shows();
        EXPECT_EQ(SimulatedRas().Read()->dials, 0u) << "dialled, not adopted";
        EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDI_CONNECTED); }, 1000));
        SimulatedRas().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
        EXPECT_TRUE(ShowsWithin(300, L"shown, Подключиться, Не соединено"));
        EXPECT_TRUE(PumpUntil([&] { return TrayShows(IDR_MAINFRAME); }, 1000));
        DestroyWindow(Window());
    }
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

// With "Автоподключение" the line comes back by itself, on a schedule whose second lasts unitMs here
// (the first retry after 5 of them), until it connects, the account is refused or the user acts. The
// service's hang-up waits for the dial's thread to leave the notifier, as the real one may: a failed
// dial is let go without the two waiting on each other.
TEST_F(AppTest, WithAutoConnectALostLineIsDialledAgainUntilItConnectsOrTheAccountOrTheUserSaysNo) {
    enum Act { kWait, kUntick, kEndSession, kConnect, kSleep };  // what happens once the line is lost
    const wchar_t *kUp = L"hidden, Отключиться, Соединено", *kUpText = L"Код состояния: 8192\n";
    const wchar_t *kDown = L"hidden, Подключиться, Не соединено", *kShownDown = L"shown, Подключиться, Не соединено";
    // The first `failures` dials fail with `error`; with `drop`, the line drops once connected.
    struct Row { const char* what; DWORD autoConnect, failures, error; bool drop; Act act; DWORD unitMs; int dials; const wchar_t *shows, *progress; } rows[] = {
        {"a dropped line", 1, 0, 0, true, kWait, 10, 2, kUp, kUpText},
        {"a dropped line, the option off", 0, 0, 0, true, kWait, 10, 1, kDown, kUpText},
        {"the account refused at start", 1, 1, ERROR_AUTHENTICATION_FAILURE, false, kWait, 10, 1, kShownDown, L"Код состояния: 6\nAccess was denied because the username and/or password was invalid on the domain."},
        {"three network failures at start", 1, 3, ERROR_AUTOMATIC_VPN_FAILED, false, kWait, 10, 4, kUp, kUpText},
        {"a network failure, RAS's longest text whole", 0, 1, ERROR_AUTOMATIC_VPN_FAILED, false, kWait, 10, 1, kShownDown, L"Код состояния: 2\nUnable to establish the VPN connection. The VPN server may be unreachable, or security parameters may not be configured properly for this connection."},
        {"the option unticked during the wait", 1, 0, 0, true, kUntick, 100, 1, kDown, L""},
        {"the session's end during the wait", 1, 0, 0, true, kEndSession, 100, 1, kDown, L""},
        {"Подключиться during the wait: at once", 1, 0, 0, true, kConnect, 1000, 2, kUp, kUpText},
        {"waking from sleep without the line: at once, once", 1, 0, 0, true, kSleep, 1000, 2, kUp, kUpText},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Scenario(L"success", TRUE);
        SimulatedRas().Update([&](fakeras::State& s) { s.failNextDials = r.failures, s.failNextError = r.error; });
        AppConfig.autoConnect = r.autoConnect;
        Open(r.unitMs);  // the option on: the automatic dial at start
        if (!r.autoConnect) Press(IDC_CONNECT_BUTTON);
        if (r.drop) {
            ASSERT_TRUE(ShowsWithin(5000, kUp)) << Shows();
            if (r.act == kSleep) SendMessageW(Window(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
            SimulatedRas().Update([](fakeras::State& s) { fakeras::DropLines(s, L"Kelda"); });
            ASSERT_TRUE(r.act == kSleep || ShowsWithin(2000, kDown)) << "the drop unseen";
            if (r.act == kSleep) {  // Windows sends both when the user is there
                SendMessageW(Window(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
                SendMessageW(Window(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
            }
        }
        if (r.act == kUntick || r.act == kEndSession || r.act == kConnect) {
            ASSERT_TRUE(PumpUntil([&] { return TextOf(View().progressLabel.Handle()) == L"Повторное подключение через 5 с"; }, 2000));
            if (r.act == kUntick) Press(IDC_AUTOCONNECT);
            if (r.act == kEndSession) SendMessageW(Window(), WM_ENDSESSION, TRUE, 0);
            if (r.act == kConnect) Press(IDC_CONNECT_BUTTON);
        }
        // A second at 1000 ms: the retry the schedule would make comes only after 5 s.
        EXPECT_TRUE(PumpUntil([&] { return Shows() == r.shows && TextOf(View().progressLabel.Handle()) == r.progress; }, 3000))
            << Shows() << " / " << TextOf(View().progressLabel.Handle());
        PumpFor(r.unitMs >= 1000 ? 500 : std::max<DWORD>(500, 7 * r.unitMs));  // time for a dial that should not come
        std::unique_ptr<fakeras::State> ras = SimulatedRas().Read();
        EXPECT_EQ((std::vector<DWORD>{ras->dials, ras->hangUpWaitsTimedOut, DWORD(KeldaConnections(true))}), (std::vector<DWORD>{DWORD(r.dials), 0, r.shows == kUp}))
            << "the dials; the hang-ups that waited for the notifier in vain; the connections held, failed ones let go";
        EXPECT_EQ(Shows(), r.shows);
        DestroyWindow(Window());
    }
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");  // saved at the session's end
}
