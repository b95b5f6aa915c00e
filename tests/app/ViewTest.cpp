#include <winsock2.h>
#include <windows.h>
#include <ras.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "FakeRasState.h"
#include "app/MainFrame.h"
#include "app/Messages.h"
#include "res/resource.h"
#include "settings/AppConfig.h"
#include "settings/BuildSettings.h"
#include "support/HttpTestServer.h"

namespace {
std::wstring TextOf(HWND window) {
    wchar_t text[300] = {};
    GetWindowTextW(window, text, 300);
    return text;
}

// Handles this thread's messages until `done` holds or timeoutMs pass.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
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
    int LiveConnections() {
        std::unique_ptr<fakeras::State> state = Service().Read();
        int count = 0;
        for (const fakeras::Connection& c : state->connections) {
            if (c.handle && !c.closing && c.state == RASCS_Connected) ++count;
        }
        return count;
    }
    std::wstring DialledUser() {
        std::unique_ptr<fakeras::State> state = Service().Read();
        fakeras::StoredEntry* entry = fakeras::FindEntry(*state, L"Kelda");
        if (!entry || !entry->hasDialParams) return L"";
        return reinterpret_cast<const RASDIALPARAMSW*>(entry->dialParams)->szUserName;
    }
    void Press(int id) { SendMessageW(View().Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    struct Frame : CMainFrame {
        ~Frame() override {
            if (Handle() && ::IsWindow(Handle())) DestroyWindow(Handle());
        }
    };
    HttpTestServer server{KELDA_SERVER_PORT};
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
    EXPECT_EQ(DialledUser(), L"");  // adopted, not dialled

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
    EXPECT_EQ(DialledUser(), L"stored");
    EXPECT_TRUE(ShowsConnected(true, 5000));
    EXPECT_FALSE(IsWindowVisible(frame->Handle()));
    EXPECT_EQ(TextOf(View().progressLabel.Handle()).compare(0, 20, L"Код состояния: 8192\n"), 0);
}

TEST_F(ViewTest, TheButtonStoresTypedCredentialsWhileTheTrayDialsWithTheStoredOnes) {
    Open();
    SetWindowTextW(View().loginEdit.Handle(), L"typed");
    View().passwordEdit.text = L"typedpw";

    View().ConnectVpn();  // the tray menu's "connect"
    EXPECT_EQ(DialledUser(), L"stored");
    ASSERT_TRUE(ShowsConnected(true, 5000));
    View().DisconnectVpn();
    EXPECT_TRUE(ShowsConnected(false, 300));
    EXPECT_EQ(LiveConnections(), 0);

    Press(IDC_CONNECT_BUTTON);
    EXPECT_EQ(std::wstring(AppConfig.login), L"typed");
    EXPECT_EQ(std::wstring(AppConfig.password), L"typedpw");
    EXPECT_EQ(DialledUser(), L"typed");
    EXPECT_TRUE(ShowsConnected(true, 5000));

    // Pressed again while connected: hangs up.
    Press(IDC_CONNECT_BUTTON);
    EXPECT_TRUE(ShowsConnected(false, 300));
    EXPECT_EQ(LiveConnections(), 0);
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

TEST_F(ViewTest, ClosingTheFrameWhileConnectedHangsUp) {
    Service().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    Open();
    ASSERT_TRUE(ShowsConnected(true, 300));
    EXPECT_EQ(LiveConnections(), 1);
    SendMessageW(frame->Handle(), WM_CLOSE, 1, 0);
    EXPECT_EQ(LiveConnections(), 0);
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

TEST_F(ViewTest, TheEndOfTheWindowsSessionHangsUpAndSavesTheSettings) {
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
    Service().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
    Open();
    ASSERT_TRUE(ShowsConnected(true, 300));
    AppConfig.StoreCredentials(L"sessionuser", L"sessionpw");
    AppConfig.autoConnect = 1;

    SendMessageW(frame->Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(LiveConnections(), 0);

    AppConfig.StoreCredentials(L"", L"");
    AppConfig.autoConnect = 0;
    AppConfig.LoadSettings();
    EXPECT_EQ(std::wstring(AppConfig.login), L"sessionuser");
    EXPECT_EQ(std::wstring(AppConfig.password), L"sessionpw");
    EXPECT_EQ(AppConfig.autoConnect, 1u);
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda\\Quillon");
}
