#include <raserror.h>

#include <thread>

#include "FakeRasFixture.h"
#include "FakeRasScenario.h"

using RasConnectionTests = FakeRasTest;

TEST_F(RasConnectionTests, DialConnectsThroughTheNotifierAndRedialHangsUpAndRewritesFirst) {
    CreateWindows();
    ASSERT_TRUE(connection.Dial());
    HRASCONN first = connection.hrasconn;
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(connection.IsConnected());  // RasDialW has only started the dial
    ASSERT_TRUE(WaitForLabel(L"Код состояния: 8192"));
    EXPECT_EQ(LabelText(), L"Код состояния: 8192\n");
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_EQ(connection.FindConnection(), first);

    // Changed meanwhile "in the system's network settings".
    Service().Update([](fakeras::State& s) {
        auto* entry = reinterpret_cast<RASENTRYW*>(fakeras::FindEntry(s, L"Kelda")->bytes);
        entry->dwRedialCount = 5;
    });
    AppConfig.StoreCredentials(L"newlogin", L"newpass");
    SetWindowTextW(label, L"");
    ASSERT_TRUE(connection.Dial());

    EXPECT_EQ(Connections(), 1) << "the old connection is still open";
    EXPECT_NE(connection.hrasconn, first);
    std::unique_ptr<fakeras::State> state = Service().Read();
    const fakeras::StoredEntry* stored = fakeras::FindEntry(*state, L"Kelda");
    EXPECT_EQ(reinterpret_cast<const RASENTRYW*>(stored->bytes)->dwRedialCount, 99u);
    EXPECT_STREQ(reinterpret_cast<const RASDIALPARAMSW*>(stored->dialParams)->szUserName, L"newlogin");
    const fakeras::Connection* dialled = fakeras::FindConnection(*state, HandleValue(connection.hrasconn));
    ASSERT_NE(dialled, nullptr);
    EXPECT_STREQ(dialled->userName, L"newlogin");  // what RasDialW itself was given
    EXPECT_STREQ(dialled->password, L"newpass");
    ASSERT_TRUE(WaitForLabel(L"Код состояния: 8192"));
    EXPECT_TRUE(connection.IsConnected());
}

// Whatever Dial finds held is hung up and let go, never overwritten while live;
// the service refuses a second dial of the entry while one is under way.
TEST_F(RasConnectionTests, DialLetsGoOfWhatItHeldAndOfARefusalThatCameWithAHandle) {
    struct Case {
        const char* held;
        const wchar_t* firstScenario;  // null: a connection started elsewhere, adopted
        bool waitForFailure;
        const wchar_t* secondScenario;
        bool secondStarts;
    };
    const Case cases[] = {
        {"a connection", nullptr, false, L"success", true},
        {"a dial in progress", L"slow", false, L"slow", true},
        {"a failed dial", L"badauth", true, L"success", true},
        {"nothing, and RasDialW refuses with a handle", L"", false, L"halfopen", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.held);
        Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
        connection = RasConnection();
        if (!c.firstScenario) {
            AddConnection(L"Kelda");
            connection.AdoptConnection();
        } else if (c.firstScenario[0]) {
            SetScenario(c.firstScenario);
            ASSERT_TRUE(connection.Dial());
        }
        HRASCONN first = connection.hrasconn;
        RASCONNSTATUSW status{};
        for (int i = 0; c.waitForFailure && status.dwError == 0 && i < 100; ++i) {
            Sleep(50);
            StatusOf(first, &status);
        }

        SetScenario(c.secondScenario);
        EXPECT_EQ(connection.Dial(), c.secondStarts);
        int live = c.secondStarts ? 1 : 0;
        EXPECT_EQ(Connections(), live) << "an earlier handle is still live";
        EXPECT_EQ(connection.hrasconn != nullptr, c.secondStarts);
        if (first) {
            EXPECT_NE(connection.hrasconn, first);
        }
        connection.WaitForReleases(5000);
        EXPECT_TRUE(connection.releasing.empty());
        EXPECT_EQ(Connections(true), live) << "a hung-up handle was never released";
        if (first) {
            EXPECT_EQ(StatusOf(first), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        }
    }
}

TEST_F(RasConnectionTests, ADialInProgressIsNeitherHungUpNorLost) {
    SetScenario(L"slow");
    ASSERT_TRUE(connection.Dial());
    HRASCONN dialling = connection.hrasconn;

    EXPECT_FALSE(connection.HangUp());
    EXPECT_EQ(connection.hrasconn, dialling);
    EXPECT_FALSE(connection.ReleaseFailedDial());
    EXPECT_EQ(connection.AdoptConnection(), dialling);
    // Too many connections to list: RAS still knows ours, so it is kept.
    for (int i = 0; i < 10; ++i) AddConnection(L"Other");
    EXPECT_EQ(connection.AdoptConnection(), dialling);
    RASCONNSTATUSW status;
    ASSERT_EQ(StatusOf(dialling, &status), 0u);
    EXPECT_LT(status.rasconnstate, RASCS_Connected);

    // The program's end hangs it up as well.
    connection.HangUpEverything();
    EXPECT_EQ(connection.hrasconn, nullptr);
    connection.WaitForReleases(5000);
    EXPECT_EQ(StatusOf(dialling), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(RasConnectionTests, HangUpEndsEveryConnectionOfTheEntryAndNoOther) {
    HRASCONN first = AddConnection(L"Kelda");
    HRASCONN other = AddConnection(L"Other");
    HRASCONN second = AddConnection(L"Kelda");
    EXPECT_EQ(connection.AdoptConnection(), first);
    ASSERT_TRUE(connection.IsConnected());

    EXPECT_TRUE(connection.HangUp());
    EXPECT_EQ(connection.hrasconn, nullptr);
    EXPECT_EQ(Connections(), 0);
    connection.WaitForReleases(5000);
    EXPECT_EQ(StatusOf(first), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(StatusOf(second), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(StatusOf(other), 0u);
    EXPECT_FALSE(connection.HangUp());
}

TEST_F(RasConnectionTests, HangUpReturnsAtOnceAndOnlyTheEndWaitsABoundedTime) {
    Service().Update([](fakeras::State& s) { s.hangUpDelayMs = 60000; });
    HRASCONN held = AddConnection(L"Kelda");
    connection.AdoptConnection();

    DWORD start = GetTickCount();
    EXPECT_TRUE(connection.HangUp());
    EXPECT_TRUE(connection.FinishReleases());  // RAS has not let go yet
    connection.WaitForReleases(300);
    EXPECT_LT(GetTickCount() - start, 2500u);
    RASCONNSTATUSW status;
    ASSERT_EQ(StatusOf(held, &status), 0u) << "the service let go early; the waits were not put to the test";
    EXPECT_EQ(status.rasconnstate, RASCS_Disconnected);
    EXPECT_EQ(connection.FindConnection(), nullptr);
}

TEST_F(RasConnectionTests, AnEntryNameDifferingOnlyInCaseIsNotTheProgramsEntry) {
    AddConnection(L"kelda");
    AddConnection(L"KELDA");
    EXPECT_EQ(connection.FindConnection(), nullptr);
    EXPECT_EQ(connection.AdoptConnection(), nullptr);

    HRASCONN exact = AddConnection(L"Kelda");
    EXPECT_EQ(connection.AdoptConnection(), exact);
}

TEST_F(RasConnectionTests, MoreThanTenConnectionsHideTheProgramsConnection) {
    for (int i = 0; i < 9; ++i) AddConnection(L"Other");
    HRASCONN ours = AddConnection(L"Kelda");
    EXPECT_EQ(connection.FindConnection(), ours);  // ten still fit

    AddConnection(L"Other");
    EXPECT_EQ(connection.FindConnection(), nullptr);
    connection.hrasconn = ours;
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_FALSE(connection.HangUp());
    EXPECT_EQ(connection.hrasconn, ours);
    EXPECT_EQ(StatusOf(ours), 0u);
}

TEST_F(RasConnectionTests, AFailedDialKeepsItsTextAndIsReleased) {
    CreateWindows();
    SetScenario(L"badauth");
    ASSERT_TRUE(connection.Dial());
    HRASCONN failed = connection.hrasconn;
    ASSERT_TRUE(WaitForLabel(L"Код состояния: 6\n"));
    const std::wstring errorText =
        L"Код состояния: 6\nAccess was denied because the username and/or password was invalid on the domain.";
    EXPECT_EQ(LabelText(), errorText);
    EXPECT_TRUE(IsWindowVisible(frame));

    EXPECT_FALSE(connection.IsConnected());
    EXPECT_TRUE(connection.ReleaseFailedDial());
    EXPECT_EQ(connection.hrasconn, nullptr);
    connection.WaitForReleases(5000);
    EXPECT_EQ(StatusOf(failed), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LabelText(), errorText);
}

TEST_F(RasConnectionTests, ARefusedDialStartsNothing) {
    SetScenario(L"refused");
    EXPECT_FALSE(connection.Dial());
    EXPECT_EQ(connection.hrasconn, nullptr);
    EXPECT_EQ(connection.FindConnection(), nullptr);
}

// Both through the service's shared state, as rasctl.exe does it in the scenario tests.
TEST_F(RasConnectionTests, AConnectionStartedElsewhereIsAdoptedAndReleasedWhenItsLineDrops) {
    HRASCONN adopted = AddConnection(L"Kelda");
    EXPECT_EQ(connection.AdoptConnection(), adopted);
    EXPECT_TRUE(connection.IsConnected());

    Service().Update([](fakeras::State& s) {
        for (fakeras::Connection& c : s.connections) {
            if (!c.handle) continue;
            c.state = RASCS_Disconnected;
            c.error = fakeras::kDropError;
        }
    });
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_TRUE(connection.ReleaseFailedDial());
    connection.WaitForReleases(5000);
    EXPECT_EQ(StatusOf(adopted), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(connection.AdoptConnection(), nullptr);
}

TEST_F(RasConnectionTests, DialNotifierPostsTheStateAndTheServicesErrorTextToTheView) {
    CreateWindows();
    DialNotifier(nullptr, WM_RASDIALEVENT, RASCS_Authenticate, 0, 0);
    ASSERT_TRUE(WaitForLabel(L"Код состояния: 5\n", 2000));
    EXPECT_EQ(LabelText(), L"Код состояния: 5\n");

    // 149 characters: the longest text the 150-character buffer holds.
    DialNotifier(nullptr, WM_RASDIALEVENT, RASCS_ConnectDevice, 800, 0);
    ASSERT_TRUE(WaitForLabel(L"Код состояния: 2\n", 2000));
    EXPECT_EQ(LabelText(), L"Код состояния: 2\nUnable to establish the VPN connection. The VPN server may be "
                           L"unreachable, or security parameters may not be configured properly for this connection.");
    EXPECT_TRUE(IsWindowVisible(frame));  // only the connected state hides it
}

// A service that answered from a state it could not read would be kinder than any real one.
TEST_F(RasConnectionTests, TheServicesStateStaysUnreadWhileItsLockIsHeldElsewhere) {
    fakeras::SharedState impatient(ServiceFolder(), 50);
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr), done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        fakeras::SharedState other(ServiceFolder());
        other.Update([&](fakeras::State&) {
            SetEvent(held);
            WaitForSingleObject(done, 5000);
        });
    });
    EXPECT_EQ(WaitForSingleObject(held, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(impatient.Read(), nullptr);
    EXPECT_FALSE(impatient.Update([](fakeras::State&) {}));
    SetEvent(done);
    holder.join();
    EXPECT_NE(impatient.Read(), nullptr);
    CloseHandle(held);
    CloseHandle(done);
}
