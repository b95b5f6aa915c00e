#include <winsock2.h>
#include <windows.h>
#include <ras.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeRasState.h"
#include "app/MainFrame.h"
#include "framework/Messages.h"
#include "res/resource.h"
#include "settings/AppConfig.h"
#include "settings/BuildSettings.h"
#include "support/TestServer.h"
#include "support/TestWindows.h"

namespace {
std::wstring TextOf(HWND window) {
    wchar_t text[300] = {};
    GetWindowTextW(window, text, 300);
    return text;
}

// The whole frame with its view, against the simulated RAS service and a
// statistics server on the build's loopback port.
class ViewTest : public testing::Test {
protected:
    static fakeras::SharedState& Service() {
        static fakeras::SharedState state(fakeras::ModuleFolder(GetModuleHandleW(L"rasapi32.dll")));
        return state;
    }

    void SetUp() override {
        ASSERT_TRUE(server.Listening()) << "port " << KELDA_SERVER_PORT << " is taken";
        ASSERT_EQ(fakeras::ModuleFolder(GetModuleHandleW(L"rasapi32.dll")), fakeras::ModuleFolder(nullptr))
            << "the simulated rasapi32.dll is not loaded";
        server.Route("/kelda_tools_info.php", 200, "balance=42.5\r\n");
        Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
        AppConfig.StoreCredentials(L"stored", L"storedpw");
        AppConfig.autoConnect = 0;
        AppConfig.hideOnStart = 0;
    }
    void TearDown() override {
        frame.reset();  // destroys the window if a test left it
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the frame's own end of the loop
        Service().Update([](fakeras::State& s) { fakeras::ForgetEverything(s); });
    }

    void Open() {
        frame = std::make_unique<Frame>();
        ASSERT_NE(frame->CreateFrame(FrameRectFromWorkArea(RECT{0, 0, 1024, 740})), nullptr);
        ShowWindow(frame->Handle(), SW_SHOW);
        PumpFor(50);
    }
    CKelda_txView& View() { return frame->view; }
    HWND Button() { return GetDlgItem(View().Handle(), IDC_CONNECT_BUTTON); }
    std::wstring State() { return TextOf(View().stateLabel.Handle()); }
    bool ShowsConnected(bool connected, DWORD timeoutMs) {
        const wchar_t* button = connected ? L"Отключиться" : L"Подключиться";
        const wchar_t* state = connected ? L"Соединено" : L"Не соединено";
        return PumpUntil([&] { return TextOf(Button()) == button && State() == state; }, timeoutMs);
    }
    // Connections of the entry in the service: live ones, or hung-up ones not yet released too.
    int Connections(bool hungUpToo = false) {
        std::unique_ptr<fakeras::State> state = Service().Read();
        int count = 0;
        for (const fakeras::Connection& c : state->connections) count += c.handle && (hungUpToo || !c.closing);
        return count;
    }
    static DWORD StatusOf(HRASCONN handle, RASCONNSTATUSW* out = nullptr) {
        RASCONNSTATUSW status{};
        status.dwSize = sizeof status;
        DWORD result = RasGetConnectStatusW(handle, &status);
        if (out) *out = status;
        return result;
    }
    // "user/password" that RasDialW was given for the held connection.
    std::wstring DialledWith() {
        std::unique_ptr<fakeras::State> state = Service().Read();
        auto value = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(View().connection.hrasconn));
        const fakeras::Connection* c = fakeras::FindConnection(*state, value);
        return c ? std::wstring(c->userName) + L"/" + c->password : L"nothing held";
    }
    void Press(int id) { SendMessageW(View().Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    struct Frame : CMainFrame {
        ~Frame() override {
            if (Handle() && ::IsWindow(Handle())) DestroyWindow(Handle());
        }
    };
    TestServer server{KELDA_SERVER_PORT};
    std::unique_ptr<Frame> frame;
};
}  // namespace

TEST_F(ViewTest, BuildsItsControlsFromTheSettingsAndShowsTheLinkDown) {
    AppConfig.StoreCredentials(L"ivanov", L"pa55");
    AppConfig.hideOnStart = 1;
    Open();
    CKelda_txView& view = View();
    EXPECT_EQ(TextOf(view.loginEdit.Handle()), L"ivanov");
    EXPECT_EQ(view.passwordEdit.text, L"pa55");
    EXPECT_TRUE(view.passwordEdit.isPassword);
    EXPECT_EQ(view.passwordEdit.maxLength, 32);
    EXPECT_EQ(SendMessageW(view.loginEdit.Handle(), EM_GETLIMITTEXT, 0, 0), 32);
    EXPECT_EQ(GetDlgItem(view.Handle(), IDC_AUTOCONNECT), view.autoConnectBox.Handle());
    EXPECT_EQ(GetDlgItem(view.Handle(), IDC_HIDE_ON_START), view.hideOnStartBox.Handle());
    EXPECT_EQ(SendMessageW(view.autoConnectBox.Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(view.hideOnStartBox.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(TextOf(view.loginLabel.Handle()), L"Логин");
    EXPECT_EQ(TextOf(view.passwordLabel.Handle()), L"Пароль");

    RECT display{};
    GetWindowRect(view.statisticsDisplay.Handle(), &display);
    MapWindowPoints(HWND_DESKTOP, view.Handle(), reinterpret_cast<POINT*>(&display), 2);
    EXPECT_EQ(display.left, 5);
    EXPECT_EQ(display.top, 5);
    EXPECT_EQ(display.right, 200);
    EXPECT_EQ(display.bottom, 70);

    EXPECT_TRUE(ShowsConnected(false, 500));
    EXPECT_EQ(server.CountRequests("/kelda_tools_info.php?a="), 1);  // the display's first query
    EXPECT_FLOAT_EQ(view.statisticsDisplay.balance, 42.5f);
}

TEST_F(ViewTest, AdoptsAConnectionStartedElsewhereAndFollowsItsEnd) {
    Service().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    Open();
    EXPECT_TRUE(ShowsConnected(true, 300));
    EXPECT_EQ(DialledWith(), L"/");  // adopted, not dialled

    // Dropped outside: the view notices within two ticks.
    Service().Update([](fakeras::State& s) {
        for (fakeras::Connection& c : s.connections) c = fakeras::Connection{};
    });
    EXPECT_TRUE(ShowsConnected(false, 300));

    // Started outside again: adopted at one tick, shown at the next.
    Service().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    EXPECT_TRUE(ShowsConnected(true, 300));
}

TEST_F(ViewTest, DialsAtStartWhenAutoConnectIsSetAndHidesTheFrameOnceConnected) {
    AppConfig.autoConnect = 1;
    Open();
    EXPECT_EQ(DialledWith(), L"stored/storedpw");
    EXPECT_TRUE(ShowsConnected(true, 5000));
    EXPECT_FALSE(IsWindowVisible(frame->Handle()));
    EXPECT_EQ(TextOf(View().progressLabel.Handle()).compare(0, 20, L"Код состояния: 8192\n"), 0);
}

TEST_F(ViewTest, TheButtonStoresTypedCredentialsWhileTheTrayDialsWithTheStoredOnes) {
    Open();
    SetWindowTextW(View().loginEdit.Handle(), L"typed");
    View().passwordEdit.text = L"typedpw";

    View().ConnectVpn();  // the tray menu's "connect"
    EXPECT_EQ(DialledWith(), L"stored/storedpw");
    ASSERT_TRUE(ShowsConnected(true, 5000));
    View().DisconnectVpn();
    EXPECT_TRUE(ShowsConnected(false, 300));
    EXPECT_EQ(Connections(), 0);

    Press(IDC_CONNECT_BUTTON);
    EXPECT_EQ(std::wstring(AppConfig.login), L"typed");
    EXPECT_EQ(std::wstring(AppConfig.password), L"typedpw");
    EXPECT_EQ(DialledWith(), L"typed/typedpw");
    EXPECT_TRUE(ShowsConnected(true, 5000));

    // Pressed again while connected: hangs up.
    Press(IDC_CONNECT_BUTTON);
    EXPECT_TRUE(ShowsConnected(false, 300));
    EXPECT_EQ(Connections(), 0);
}

TEST_F(ViewTest, EveryButtonPressRefreshesTheStatisticsEvenWhenTheDialIsRefused) {
    Service().Update([](fakeras::State& s) { lstrcpynW(s.scenario, L"refused", 32); });
    Open();
    int before = server.CountRequests("/kelda_tools_info.php?a=");
    Press(IDC_CONNECT_BUTTON);
    EXPECT_TRUE(PumpUntil([&] { return server.CountRequests("/kelda_tools_info.php?a=") == before + 1; }, 3000));
    Press(IDC_REFRESH_STATISTICS);
    EXPECT_TRUE(PumpUntil([&] { return server.CountRequests("/kelda_tools_info.php?a=") == before + 2; }, 3000));
    EXPECT_TRUE(ShowsConnected(false, 300));
}

TEST_F(ViewTest, AFailedDialKeepsItsErrorAndTheNextDialStartsClean) {
    Service().Update([](fakeras::State& s) { lstrcpynW(s.scenario, L"badauth", 32); });
    Open();
    Press(IDC_CONNECT_BUTTON);
    HWND progress = View().progressLabel.Handle();
    ASSERT_TRUE(PumpUntil([&] { return TextOf(progress).find(L"\n") != std::wstring::npos &&
                                       TextOf(progress).size() > 20; },
                          5000));
    PumpFor(300);  // a couple of ticks: the failed connection is let go
    EXPECT_EQ(View().connection.hrasconn, nullptr);
    std::wstring error = TextOf(progress);
    EXPECT_EQ(error.compare(0, 15, L"Код состояния: "), 0);
    EXPECT_GT(error.size(), error.find(L'\n') + 1);  // the service's error text follows

    Service().Update([](fakeras::State& s) { lstrcpynW(s.scenario, L"success", 32); });
    Press(IDC_CONNECT_BUTTON);
    EXPECT_TRUE(ShowsConnected(true, 5000));
}

TEST_F(ViewTest, TheOptionBoxesFlipTheirFlags) {
    Open();
    Press(IDC_AUTOCONNECT);
    EXPECT_EQ(AppConfig.autoConnect, 1u);
    EXPECT_EQ(SendMessageW(View().autoConnectBox.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    Press(IDC_AUTOCONNECT);
    EXPECT_EQ(AppConfig.autoConnect, 0u);
    Press(IDC_HIDE_ON_START);
    EXPECT_EQ(AppConfig.hideOnStart, 1u);
    EXPECT_EQ(SendMessageW(View().hideOnStartBox.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
}

// The connection's whole life against a service as strict and as slow as the
// real one: nothing outlives the program, no live handle is lost, and no
// hang-up freezes the window.
TEST_F(ViewTest, NoDialIsOrphanedAndNoHangUpFreezesTheWindow) {
    struct Case {
        const char* name;
        const wchar_t* scenario;
        DWORD hangUpDelayMs;
        BOOL hangUpBlocks;  // RasHangUpW waits for the dial's thread to return from the notifier
        bool connectFirst;  // else the step comes while the dial is under way
        std::function<void()> step;
        int liveAfter;      // connections of the entry right after the step
        int hungUpAfter;    // hung up, still being released
    };
    auto exit = [&] { SendMessageW(frame->Handle(), WM_CLOSE, 1, 0); };
    auto press = [&] { Press(IDC_CONNECT_BUTTON); };
    auto failure = [&] {  // reported only once the view's tick has hung the failed dial up
        HWND progress = View().progressLabel.Handle();
        EXPECT_TRUE(PumpUntil([&] { return TextOf(progress).find(L"denied") != std::wstring::npos; }, 8000));
    };
    const Case cases[] = {
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
        if (IsWindow(frame->Handle())) {
            if (c.liveAfter) {
                EXPECT_NE(connection.hrasconn, first);
            }
            RedrawWindow(View().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(View().Handle(), nullptr, FALSE); }, 100))
                << "the window did not repaint";
        }
        EXPECT_TRUE(PumpUntil([&] { return connection.releasing.empty(); }, c.hangUpDelayMs + 2000));
        EXPECT_EQ(StatusOf(first), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        frame.reset();
    }
}

TEST_F(ViewTest, TheBalanceGoesIntoTheTrayTipAfterEachQuery) {
    Open();
    PumpUntil([&] { return frame->TrayTip() != L"SomeMessage"; }, 1000);
    EXPECT_EQ(frame->TrayTip(), L"Текущий баланс: 42.50");
    server.Route("/kelda_tools_info.php", 200, "balance=-7.25\r\ncredit=3\r\n");
    Press(IDC_REFRESH_STATISTICS);
    EXPECT_TRUE(PumpUntil([&] { return frame->TrayTip() == L"Текущий баланс: -7.25"; }, 3000));
}

TEST_F(ViewTest, TheTrayIconFollowsTheLink) {
    Open();
    EXPECT_EQ(frame->connectedIconShown, 0);
    Service().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    EXPECT_TRUE(PumpUntil([&] { return frame->connectedIconShown == 1; }, 1000));
    View().DisconnectVpn();
    EXPECT_TRUE(PumpUntil([&] { return frame->connectedIconShown == 0; }, 1000));
}

TEST_F(ViewTest, TheEndOfTheWindowsSessionHangsUpADialAndSavesTheSettings) {
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
    Service().Update([](fakeras::State& s) { lstrcpynW(s.scenario, L"slow", 32); });
    Open();
    View().ConnectVpn();
    ASSERT_EQ(Connections(), 1);
    AppConfig.StoreCredentials(L"sessionuser", L"sessionpw");
    AppConfig.autoConnect = 1;

    SendMessageW(frame->Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(Connections(true), 0) << "the dial was not hung up and released before the session ends";
    EXPECT_FALSE(IsWindowVisible(frame->Handle()));

    AppConfig.StoreCredentials(L"", L"");
    AppConfig.autoConnect = 0;
    AppConfig.LoadSettings();
    EXPECT_EQ(std::wstring(AppConfig.login), L"sessionuser");
    EXPECT_EQ(std::wstring(AppConfig.password), L"sessionpw");
    EXPECT_EQ(AppConfig.autoConnect, 1u);
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
}
