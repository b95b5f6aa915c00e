#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "settings/AppConfig.h"
#include "support/SimulatedRas.h"
#include "vpn/PhonebookEntry.h"
#include "vpn/RasConnection.h"
#include "vpn/RedialSchedule.h"

namespace {
// The program's RAS code against the simulated service.
class Vpn : public testing::Test {
protected:
    static void Forget() { SimulatedRas().Update(fakeras::ForgetEverything); }
    void SetUp() override {
        // Wine's own rasapi32 would make every test meaningless.
        ASSERT_EQ(fakeras::ModuleFolder(GetModuleHandleW(L"rasapi32.dll")), fakeras::ModuleFolder(nullptr)) << "the simulated rasapi32.dll is not loaded";
        Forget();
        AppConfig.StoreCredentials(L"subscriber", L"secret");
    }
    void TearDown() override { Forget(); }
    void SetScenario(const wchar_t* name) { SimulatedRas().Update([&](fakeras::State& s) { lstrcpyW(s.scenario, name); }); }
    HRASCONN AddConnection(const wchar_t* name) {
        DWORD handle = 0;
        SimulatedRas().Update([&](fakeras::State& s) { handle = fakeras::AddConnection(s, name, RASCS_Connected)->handle; });
        return reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(handle));
    }
    static RASCONNSTATUSW StatusOf(HRASCONN handle, DWORD expectedResult = 0) {
        RASCONNSTATUSW status{};
        status.dwSize = sizeof status;
        EXPECT_EQ(RasGetConnectStatusW(handle, &status), expectedResult);
        return status;
    }
    static void ExpectReleased(HRASCONN handle) { StatusOf(handle, ERROR_INVALID_HANDLE); }
    RasConnection connection;
};
}  // namespace

// Written before every dial: a redial rewrites an entry changed elsewhere and takes the current credentials.
TEST_F(Vpn, TheEntryIsThePptpEntryWithTheStoredCredentialsAndNothingElse) {
    RASENTRYW entry{};
    entry.dwSize = 5616;  // Wine reports an NT version after 5.0
    entry.dwfOptions = 0x04010010, entry.dwfOptions2 = 7;
    lstrcpyW(entry.szLocalPhoneNumber, L"127.0.0.1");
    entry.dwfNetProtocols = 4, entry.dwFramingProtocol = 1;  // IP over PPP
    lstrcpyW(entry.szDeviceType, L"vpn");
    lstrcpyW(entry.szDeviceName, L"VPN");
    entry.dwType = 2, entry.dwVpnStrategy = 1;  // a VPN, PPTP only
    entry.dwRedialCount = 99, entry.dwRedialPause = 3;
    for (bool redial : {false, true}) {
        SCOPED_TRACE(redial ? "a redial after a change elsewhere" : "the entry prepared");
        const wchar_t* login = redial ? L"другой" : L"абонент";
        AppConfig.StoreCredentials(login, L"пароль 1");
        ASSERT_TRUE(connection.Dial());
        std::unique_ptr<fakeras::State> state = SimulatedRas().Read();
        const fakeras::StoredEntry* stored = fakeras::FindEntry(*state, L"Kelda");
        ASSERT_TRUE(stored && stored->hasDialParams && !stored->passwordRemoved);
        EXPECT_EQ(stored->size, 5616u);
        EXPECT_EQ(memcmp(stored->bytes, &entry, sizeof entry), 0) << "an entry field differs";
        RASDIALPARAMSW params{};
        params.dwSize = sizeof(void*) == 8 ? 2108 : 2104;  // the XP layout
        lstrcpyW(params.szEntryName, L"Kelda");
        lstrcpyW(params.szUserName, login);
        lstrcpyW(params.szPassword, L"пароль 1");
        EXPECT_EQ(memcmp(stored->dialParams, &params, sizeof params), 0) << "a dial parameter differs";
        SimulatedRas().Update([](fakeras::State& s) {  // changed in the system's network settings
            fakeras::FindEntry(s, L"Kelda")->bytes[8] ^= 1;
            fakeras::FindEntry(s, L"Kelda")->hasDialParams = FALSE;
        });
    }
    // The layout by the version GetVersionExW reports. The manifest names every Windows from Vista to 11, so 8.1 and
    // 10/11 report their own versions instead of 6.2: each still gets the XP layout.
    const struct { const char* windows; DWORD major, minor, size; } layouts[] = {
        {"NT 3.51", 3, 51, 3468}, {"NT 4.0", 4, 0, 3496}, {"2000", 5, 0, 4048}, {"XP", 5, 1, 5616}, {"Server 2003", 5, 2, 5616},
        {"Vista", 6, 0, 5616}, {"7", 6, 1, 5616}, {"8", 6, 2, 5616}, {"8.1", 6, 3, 5616}, {"10 and 11", 10, 0, 5616}};
    for (const auto& c : layouts) EXPECT_EQ(RasEntrySizeForVersion(c.major, c.minor), c.size) << c.windows;
}

// Whatever Dial finds held is hung up and let go, never overwritten while live;
// the service refuses a second dial of the entry while one is under way.
TEST_F(Vpn, DialLetsGoOfWhatItHeldAndOfARefusalThatCameWithAHandle) {
    // firstScenario null: a connection started elsewhere, adopted. tickFirst: the view's tick lets go of the failed dial first.
    const struct { const char* held; const wchar_t* firstScenario; bool waitForFailure, tickFirst; const wchar_t* secondScenario; bool secondStarts; } cases[] = {
        {"a connection", nullptr, false, false, L"success", true},
        {"a dial in progress", L"slow", false, false, L"slow", true},
        {"a failed dial", L"badauth", true, false, L"success", true},
        {"a failed dial the view's tick let go", L"badauth", true, true, L"success", true},
        {"nothing, and RasDialW refuses with a handle", L"", false, false, L"halfopen", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.held);
        Forget();
        connection = RasConnection();
        if (!c.firstScenario) {
            AddConnection(L"Kelda");
            connection.AdoptConnection();
        } else if (c.firstScenario[0]) {
            SetScenario(c.firstScenario);
            ASSERT_TRUE(connection.Dial());
        }
        HRASCONN first = connection.hrasconn;
        for (int i = 0; c.waitForFailure && StatusOf(first).dwError == 0 && i < 100; ++i) Sleep(50);
        EXPECT_EQ(c.tickFirst && connection.ReleaseFailedDial(), c.tickFirst);
        SetScenario(c.secondScenario);
        EXPECT_EQ(connection.Dial(), c.secondStarts);
        EXPECT_EQ(KeldaConnections(), c.secondStarts ? 1 : 0) << "an earlier handle is still live";
        EXPECT_EQ(connection.hrasconn != nullptr, c.secondStarts);
        connection.WaitForReleases(5000);
        EXPECT_EQ(KeldaConnections(true), c.secondStarts ? 1 : 0) << "a hung-up handle was never released";
        if (first) ExpectReleased(first);
    }
}

// Only the exact entry name counts. The hang-up returns at once; only the program's end waits, a bounded time.
TEST_F(Vpn, HangUpEndsEveryConnectionOfTheEntryAndNoOtherWithoutWaiting) {
    SimulatedRas().Update([](fakeras::State& s) { s.hangUpDelayMs = 3000; });
    AddConnection(L"kelda");
    HRASCONN first = AddConnection(L"Kelda"), other = AddConnection(L"KELDA"), second = AddConnection(L"Kelda");
    EXPECT_EQ(connection.AdoptConnection(), first);
    DWORD start = GetTickCount();
    EXPECT_TRUE(connection.HangUp());
    EXPECT_EQ(KeldaConnections(), 0);
    connection.WaitForReleases(300);
    EXPECT_LT(GetTickCount() - start, 2500u);
    SimulatedRas().Update([](fakeras::State& s) { s.listsClosing = TRUE; });
    EXPECT_EQ(connection.AdoptConnection(), nullptr) << "a connection hung up, its port still closing, was taken over";
    EXPECT_EQ(StatusOf(second).rasconnstate, RASCS_Disconnected)
        << "the service let go early; the waits were not put to the test";
    connection.WaitForReleases(10000);
    for (HRASCONN released : {first, second}) ExpectReleased(released);
    StatusOf(other);
    EXPECT_FALSE(connection.AdoptConnection() || connection.HangUp());
    SetScenario(L"slow");
    ASSERT_TRUE(connection.Dial());
    EXPECT_FALSE(connection.HangUp()) << "a dial in progress is left alone";
    EXPECT_TRUE(connection.hrasconn && KeldaConnections() == 1);
    for (int i = 0; i < 7; ++i) AddConnection(L"another");  // ten in all, with "kelda" and "KELDA"
    EXPECT_EQ(connection.FindConnection(), connection.hrasconn);
    AddConnection(L"another");
    EXPECT_EQ(connection.FindConnection(), nullptr) << "more than ten connections hide ours";
}

// The waits after each failure, in the schedule's seconds, across the tick counter's wrap:
// 5, 10, 20, 40, 60, then 60 for ever; a drop or a wake-up is told when the line comes back.
TEST(RedialScheduleTest, WaitsLongerAfterEachFailureUpToAMinuteAndNeverComesEarly) {
    RedialSchedule schedule;
    DWORD now = 0xFFFFF000;
    schedule.BeginAfterDrop(now);
    std::vector<DWORD> waits;
    for (int i = 0; i < 7; ++i) {
        DWORD wait = schedule.SecondsLeft(now) * RedialSchedule::kSecondMs;
        EXPECT_FALSE(schedule.Due(now + wait - 1));
        EXPECT_TRUE(schedule.Due(now += wait));
        waits.push_back(wait / RedialSchedule::kSecondMs);
        schedule.AttemptStarted();
        schedule.AttemptFailed(now);
    }
    EXPECT_EQ(waits, (std::vector<DWORD>{5, 10, 20, 40, 60, 60, 60}));
    schedule.AttemptStarted();
    EXPECT_TRUE(schedule.Connected());
    schedule.BeginAtStart();
    EXPECT_FALSE(schedule.Connected()) << "nothing was restored";
}
