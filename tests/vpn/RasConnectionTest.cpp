#include <raserror.h>

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

    EXPECT_EQ(StatusOf(first), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "the old connection is still open";
    EXPECT_NE(connection.hrasconn, first);
    std::unique_ptr<fakeras::State> state = Service().Read();
    const fakeras::StoredEntry* stored = fakeras::FindEntry(*state, L"Kelda");
    EXPECT_EQ(reinterpret_cast<const RASENTRYW*>(stored->bytes)->dwRedialCount, 99u);
    EXPECT_STREQ(reinterpret_cast<const RASDIALPARAMSW*>(stored->dialParams)->szUserName, L"newlogin");
    ASSERT_TRUE(WaitForLabel(L"Код состояния: 8192"));
    EXPECT_TRUE(connection.IsConnected());
}

TEST_F(RasConnectionTests, ADialInProgressIsNeitherHungUpNorLost) {
    SetScenario(L"slow");
    ASSERT_TRUE(connection.Dial());
    HRASCONN dialling = connection.hrasconn;

    EXPECT_FALSE(connection.HangUp());
    EXPECT_EQ(connection.hrasconn, dialling);
    EXPECT_FALSE(connection.ReleaseFailedDial());
    EXPECT_EQ(connection.AdoptConnection(), dialling);
    RASCONNSTATUSW status;
    ASSERT_EQ(StatusOf(dialling, &status), 0u);
    EXPECT_LT(status.rasconnstate, RASCS_Connected);
}

TEST_F(RasConnectionTests, HangUpEndsEveryConnectionOfTheEntryAndNoOther) {
    HRASCONN first = AddConnection(L"Kelda");
    HRASCONN other = AddConnection(L"Other");
    HRASCONN second = AddConnection(L"Kelda");
    EXPECT_EQ(connection.AdoptConnection(), first);
    ASSERT_TRUE(connection.IsConnected());

    EXPECT_TRUE(connection.HangUp());
    EXPECT_EQ(connection.hrasconn, nullptr);
    // The hang-up has waited until the service let both handles go.
    EXPECT_EQ(StatusOf(first), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(StatusOf(second), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(StatusOf(other), 0u);
    EXPECT_FALSE(connection.HangUp());
}

TEST_F(RasConnectionTests, HangUpWaitsOnlyABoundedTimeForTheService) {
    Service().Update([](fakeras::State& s) { s.hangUpDelayMs = 60000; });
    HRASCONN held = AddConnection(L"Kelda");
    connection.AdoptConnection();

    DWORD start = GetTickCount();
    EXPECT_TRUE(connection.HangUp());
    EXPECT_LT(GetTickCount() - start, 10000u);
    RASCONNSTATUSW status;
    ASSERT_EQ(StatusOf(held, &status), 0u) << "the service let go early; the wait was not put to the test";
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
    EXPECT_EQ(StatusOf(adopted), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(connection.AdoptConnection(), nullptr);
}

TEST_F(RasConnectionTests, DialNotifierShowsTheStateAndTheServicesErrorText) {
    CreateWindows();
    DialNotifier(nullptr, WM_RASDIALEVENT, RASCS_Authenticate, 0, 0);
    EXPECT_EQ(LabelText(), L"Код состояния: 5\n");

    // 149 characters: the longest text the 150-character buffer holds.
    DialNotifier(nullptr, WM_RASDIALEVENT, RASCS_ConnectDevice, 800, 0);
    EXPECT_EQ(LabelText(), L"Код состояния: 2\nUnable to establish the VPN connection. The VPN server may be "
                           L"unreachable, or security parameters may not be configured properly for this connection.");
    EXPECT_TRUE(IsWindowVisible(frame));  // only the connected state hides it
}
