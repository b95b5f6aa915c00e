#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeRasScenario.h"
#include "FakeRasState.h"
#include "settings/AppConfig.h"
#include "support/TestWindows.h"
#include "vpn/DialNotifier.h"
#include "vpn/PhonebookEntry.h"
#include "vpn/RasConnection.h"

namespace {
// The program's RAS code against the simulated service, whose state the tests read and steer
// directly (the same file rasctl.exe uses).
class Vpn : public testing::Test {
protected:
    static std::wstring ServiceFolder() { return fakeras::ModuleFolder(GetModuleHandleW(L"rasapi32.dll")); }
    static fakeras::SharedState& Service() {
        static fakeras::SharedState state(ServiceFolder());
        return state;
    }
    static void Forget() { Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); }); }
    void SetUp() override {
        // Wine's own rasapi32 would make every test meaningless.
        ASSERT_EQ(ServiceFolder(), fakeras::ModuleFolder(nullptr)) << "the simulated rasapi32.dll is not loaded";
        Forget();
        AppConfig.StoreCredentials(L"subscriber", L"secret");
    }
    void TearDown() override {
        Forget();
        dialStatusWindow = nullptr;
        view.reset();
        if (frame) DestroyWindow(frame);
    }
    void SetScenario(const wchar_t* name) { Service().Update([&](fakeras::State& s) { lstrcpynW(s.scenario, name, 32); }); }
    HRASCONN AddConnection(const wchar_t* entryName) {
        DWORD handle = 0;
        Service().Update([&](fakeras::State& s) {
            if (fakeras::Connection* c = fakeras::AddConnection(s, entryName, RASCS_Connected)) handle = c->handle;
        });
        return reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(handle));
    }
    static RASCONNSTATUSW StatusOf(HRASCONN handle, DWORD expectedResult = 0) {
        RASCONNSTATUSW status{};
        status.dwSize = sizeof status;
        EXPECT_EQ(RasGetConnectStatusW(handle, &status), expectedResult);
        return status;
    }
    static void ExpectReleased(HRASCONN handle) { StatusOf(handle, ERROR_INVALID_HANDLE); }
    // Connections of the program's entry in the service: live ones, or those hung up and not yet released too.
    int Connections(bool hungUpToo = false) {
        int count = 0;
        std::unique_ptr<fakeras::State> state = Service().Read();
        for (const fakeras::Connection& c : state->connections) {
            count += c.handle && (hungUpToo || !c.closing) && lstrcmpW(c.entryName, L"Kelda") == 0;
        }
        return count;
    }
    // Frame, view and progress label nested as the program nests them; the view shows the
    // states the notifier posts to it, as the program's view does.
    static LRESULT CALLBACK ViewProc(HWND view, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DIAL_STATE) ShowDialState(GetWindow(view, GW_CHILD), ReadDialState(wParam, lParam));
        return DefWindowProcW(view, message, wParam, lParam);
    }
    void CreateWindows() {
        frame = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
        view = std::make_unique<TestWindow>(ViewProc, frame);
        dialStatusWindow = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 5, 87, 195, 48, view->Handle(),
                                           nullptr, nullptr, nullptr);
        ASSERT_TRUE(frame && dialStatusWindow);
    }
    static bool WaitForLabel(const std::wstring& text) {
        wchar_t shown[300];
        return PumpUntil([&] { return GetWindowTextW(dialStatusWindow, shown, 300) >= 0 && text == shown; }, 10000);
    }

    RasConnection connection;
    HWND frame = nullptr;
    std::unique_ptr<TestWindow> view;
};
}  // namespace

TEST_F(Vpn, TheEntryIsThePptpEntryWithTheStoredCredentialsAndNothingElse) {
    AppConfig.StoreCredentials(L"абонент", L"пароль 1");
    PrepareEntry();
    std::unique_ptr<fakeras::State> state = Service().Read();
    const fakeras::StoredEntry* stored = fakeras::FindEntry(*state, L"Kelda");
    ASSERT_TRUE(stored && stored->hasDialParams && !stored->passwordRemoved);
    EXPECT_EQ(stored->size, 5616u);  // Wine reports an NT version after 5.0
    RASENTRYW entry{};
    entry.dwSize = 5616;
    entry.dwfOptions = 0x04010010;
    lstrcpyW(entry.szLocalPhoneNumber, L"127.0.0.1");
    entry.dwfNetProtocols = 4;
    entry.dwFramingProtocol = 1;
    lstrcpyW(entry.szDeviceType, L"vpn");
    lstrcpyW(entry.szDeviceName, L"VPN");
    entry.dwType = 2;
    entry.dwVpnStrategy = 1;
    entry.dwfOptions2 = 7;
    entry.dwRedialCount = 99;
    entry.dwRedialPause = 3;
    EXPECT_EQ(memcmp(stored->bytes, &entry, sizeof entry), 0) << "an entry field differs";
    RASDIALPARAMSW params{};
    params.dwSize = sizeof(void*) == 8 ? 2108 : 2104;  // the XP layout
    lstrcpyW(params.szEntryName, L"Kelda");
    lstrcpyW(params.szUserName, L"абонент");
    lstrcpyW(params.szPassword, L"пароль 1");
    EXPECT_EQ(memcmp(stored->dialParams, &params, sizeof params), 0) << "a dial parameter differs";
}

// A redial hangs the old connection up and rewrites the entry, changed meanwhile elsewhere, first.
TEST_F(Vpn, DialConnectsThroughTheNotifierAndRedialGivesRasTheNewCredentials) {
    CreateWindows();
    ASSERT_TRUE(connection.Dial());
    HRASCONN first = connection.hrasconn;
    EXPECT_FALSE(connection.IsConnected());  // RasDialW has only started the dial
    ASSERT_TRUE(WaitForLabel(L"Код состояния: 8192\n"));
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_TRUE(connection.IsConnected() && connection.FindConnection() == first);

    Service().Update([](fakeras::State& s) { reinterpret_cast<RASENTRYW*>(fakeras::FindEntry(s, L"Kelda")->bytes)->dwRedialCount = 5; });
    AppConfig.StoreCredentials(L"newlogin", L"newpass");
    ASSERT_TRUE(connection.Dial());
    EXPECT_EQ(Connections(), 1) << "the old connection is still open";
    std::unique_ptr<fakeras::State> state = Service().Read();
    EXPECT_EQ(reinterpret_cast<const RASENTRYW*>(fakeras::FindEntry(*state, L"Kelda")->bytes)->dwRedialCount, 99u);
    const fakeras::Connection* dialled = fakeras::FindConnection(*state, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(connection.hrasconn)));
    ASSERT_TRUE(dialled && connection.hrasconn != first);
    EXPECT_STREQ(dialled->userName, L"newlogin");  // what RasDialW itself was given
    EXPECT_STREQ(dialled->password, L"newpass");
}

// Whatever Dial finds held is hung up and let go, never overwritten while live;
// the service refuses a second dial of the entry while one is under way.
TEST_F(Vpn, DialLetsGoOfWhatItHeldAndOfARefusalThatCameWithAHandle) {
    const struct {
        const char* held;
        const wchar_t* firstScenario;  // null: a connection started elsewhere, adopted
        bool waitForFailure;
        const wchar_t* secondScenario;
        bool secondStarts;
    } cases[] = {
        {"a connection", nullptr, false, L"success", true},
        {"a dial in progress", L"slow", false, L"slow", true},
        {"a failed dial", L"badauth", true, L"success", true},
        {"nothing, and RasDialW refuses with a handle", L"", false, L"halfopen", false},
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
        SetScenario(c.secondScenario);
        EXPECT_EQ(connection.Dial(), c.secondStarts);
        EXPECT_EQ(Connections(), c.secondStarts ? 1 : 0) << "an earlier handle is still live";
        EXPECT_EQ(connection.hrasconn != nullptr, c.secondStarts);
        connection.WaitForReleases(5000);
        EXPECT_FALSE(connection.FinishReleases());
        EXPECT_EQ(Connections(true), c.secondStarts ? 1 : 0) << "a hung-up handle was never released";
        if (first) ExpectReleased(first);
    }
}

TEST_F(Vpn, ADialInProgressIsNeitherHungUpNorLostUntilTheProgramEnds) {
    SetScenario(L"slow");
    ASSERT_TRUE(connection.Dial());
    HRASCONN dialling = connection.hrasconn;
    EXPECT_FALSE(connection.HangUp() || connection.ReleaseFailedDial());
    EXPECT_EQ(connection.AdoptConnection(), dialling);
    EXPECT_LT(StatusOf(dialling).rasconnstate, RASCS_Connected);
    connection.HangUpEverything();
    EXPECT_EQ(connection.hrasconn, nullptr);
    connection.WaitForReleases(5000);
    ExpectReleased(dialling);
}

// Only the exact entry name counts; more than ten connections hide ours from the list.
TEST_F(Vpn, HangUpEndsEveryConnectionOfTheEntryAndNoOther) {
    AddConnection(L"kelda");
    HRASCONN first = AddConnection(L"Kelda"), other = AddConnection(L"KELDA"), second = AddConnection(L"Kelda");
    EXPECT_EQ(connection.AdoptConnection(), first);
    EXPECT_TRUE(connection.HangUp());
    EXPECT_EQ(Connections(), 0);
    connection.WaitForReleases(5000);
    ExpectReleased(first);
    ExpectReleased(second);
    StatusOf(other);
    EXPECT_FALSE(connection.AdoptConnection() || connection.HangUp());

    for (int i = 0; i < 8; ++i) AddConnection(L"Other");
    HRASCONN ours = AddConnection(L"Kelda");
    EXPECT_EQ(connection.AdoptConnection(), nullptr);
    EXPECT_FALSE(connection.HangUp());
    StatusOf(ours);
}

TEST_F(Vpn, HangUpReturnsAtOnceAndOnlyTheEndWaitsABoundedTime) {
    Service().Update([](fakeras::State& s) { s.hangUpDelayMs = 60000; });
    HRASCONN held = AddConnection(L"Kelda");
    connection.AdoptConnection();
    DWORD start = GetTickCount();
    EXPECT_TRUE(connection.HangUp());
    EXPECT_TRUE(connection.FinishReleases());  // RAS has not let go yet
    connection.WaitForReleases(300);
    EXPECT_LT(GetTickCount() - start, 2500u);
    EXPECT_EQ(StatusOf(held).rasconnstate, RASCS_Disconnected) << "the service let go early; the waits were not put to the test";
    EXPECT_EQ(connection.FindConnection(), nullptr);
}

// A failed dial keeps its text and its handle is let go; only the connected state hides the frame.
TEST_F(Vpn, AFailedDialKeepsItsTextAndIsReleased) {
    CreateWindows();
    SetScenario(L"badauth");
    ASSERT_TRUE(connection.Dial());
    HRASCONN failed = connection.hrasconn;
    const std::wstring errorText =
        L"Код состояния: 6\nAccess was denied because the username and/or password was invalid on the domain.";
    ASSERT_TRUE(WaitForLabel(errorText));
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_TRUE(connection.ReleaseFailedDial());
    connection.WaitForReleases(5000);
    ExpectReleased(failed);
    EXPECT_TRUE(WaitForLabel(errorText));
    EXPECT_TRUE(IsWindowVisible(frame));

    // 149 characters: the longest text the 150-character buffer holds.
    DialNotifier(nullptr, WM_RASDIALEVENT, RASCS_ConnectDevice, 800, 0);
    EXPECT_TRUE(WaitForLabel(L"Код состояния: 2\nUnable to establish the VPN connection. The VPN server may be "
                             L"unreachable, or security parameters may not be configured properly for this connection."));
}
