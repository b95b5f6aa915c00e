#include "AppTest.h"

#include "framework/AppModule.h"

// The view shows the stored settings and takes 32 characters a field; what the user does to the frame from its
// tray icon and its caption; the frame's height toggle. A hidden frame is reached only through its icon: when the
// shell restarts, the icon comes back.
TEST_F(AppTest, TheTrayIconAndItsMenuShowHideConnectAndDisconnectAndTheHiddenButtonTogglesTheHeight) {
    Open();
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data, data.hWnd = Window(), data.uID = TRAY_ICON_ID;
    Shell_NotifyIconW(NIM_DELETE, &data);  // as the restart does, which the shell then announces
    SendMessageW(Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &data)) << "modifying with nothing to change fails only without the icon";
    HWND login = View().loginEdit.Handle();
    EXPECT_EQ(TextOf(login) + L"/" + View().passwordEdit.ShownText(), L"stored/********");
    EXPECT_EQ(IsDlgButtonChecked(View().Handle(), IDC_HIDE_ON_START), BST_CHECKED);
    for (HWND field : {login, View().passwordEdit.Handle()})
        for (int i = 0; i < 40; ++i) SendMessageW(field, WM_CHAR, L'x', 1);  // typed, not stored: the tray dials with what is stored
    EXPECT_EQ(std::to_wstring(TextOf(login).size()) + L"/" + View().passwordEdit.ShownText(), L"32/" + std::wstring(32, L'*'));
    for (LONG height : {255, 175, 255}) {  // the top edge stays
        RECT r{};
        GetWindowRect(Window(), &r);
        EXPECT_EQ((std::vector<LONG>{r.top, r.bottom - r.top}), (std::vector<LONG>{485, height}));
        Press(IDC_TOGGLE_HEIGHT);
    }
    SendMessageW(Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(Shows(), L"hidden, Подключиться, Не соединено");
    // The message to the frame; for the tray's, menuItem is how far down its menu the item is (a pair shares a place).
    const UINT kTray = WM_TRAY_NOTIFY;
    struct Step { const char* what; UINT message; WPARAM wParam; LPARAM lParam; int menuItem; const wchar_t* shows; } steps[] = {
        {"left click on the minimised frame", kTray, TRAY_ICON_ID, WM_LBUTTONDOWN, 0, L"shown, Подключиться, Не соединено"},
        {"another icon's left click", kTray, TRAY_ICON_ID + 1, WM_LBUTTONDOWN, 0, L"shown, Подключиться, Не соединено"},
        {"left click", kTray, TRAY_ICON_ID, WM_LBUTTONDOWN, 0, L"hidden, Подключиться, Не соединено"},
        {"balloon click", kTray, TRAY_ICON_ID, NIN_BALLOONUSERCLICK, 0, L"shown, Подключиться, Не соединено"},
        {"the menu bar's Выход only hides", WM_COMMAND, ID_APP_EXIT, 0, 0, L"hidden, Подключиться, Не соединено"},
        {"Развернуть окно", kTray, TRAY_ICON_ID, WM_RBUTTONDOWN, 2, L"shown, Подключиться, Не соединено"},
        {"Свернуть окно", kTray, TRAY_ICON_ID, WM_RBUTTONDOWN, 2, L"hidden, Подключиться, Не соединено"},
        {"Подключиться", kTray, TRAY_ICON_ID, WM_RBUTTONDOWN, 1, L"hidden, Отключиться, Соединено"},
        {"Отключиться", kTray, TRAY_ICON_ID, WM_RBUTTONDOWN, 1, L"hidden, Подключиться, Не соединено"},
        {"Выход: the frame is gone", kTray, TRAY_ICON_ID, WM_RBUTTONDOWN, 3, L"hidden, , "},
    };
    for (const Step& s : steps) {
        // The menu is modal: the keys wait in the queue for its loop.
        for (int i = 0; i < s.menuItem; ++i) PostMessageW(Window(), WM_KEYDOWN, VK_DOWN, 0);
        if (s.menuItem) PostMessageW(Window(), WM_KEYDOWN, VK_RETURN, 0);
        SendMessageW(Window(), s.message, s.wParam, s.lParam);
        EXPECT_TRUE(ShowsWithin(5000, s.shows)) << s.what << ": " << Shows();
    }
    EXPECT_STREQ(reinterpret_cast<RASDIALPARAMSW*>(fakeras::FindEntry(*SimulatedRas().Read(), L"Kelda")->dialParams)->szUserName, L"stored");
}

// Tab moves between the fields through the frame's filter, which is asked before those added
// earlier, takes its accelerators and its view's keys, and leaves the loop with its window.
TEST_F(AppTest, TheFrameFiltersTheMessageLoopUntilItsWindowGoes) {
    struct : CMessageFilter {
        bool PreTranslateMessage(MSG* msg) override { count += msg->message == WM_KEYDOWN; return false; }
        int count = 0;
    } keysLeft;
    CMessageLoop loop;
    loop.AddMessageFilter(&keysLeft);
    appModule.AddMessageLoop(&loop);
    Open();
    SetFocus(View().loginEdit.Handle());
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
    PostMessageW(Window(), WM_KEYDOWN, VK_F6, 1);  // an accelerator of the frame's
    PostQuitMessage(0);
    loop.Run();
    EXPECT_EQ(GetFocus(), View().autoConnectBox.Handle());
    EXPECT_EQ(keysLeft.count, 0);
    DestroyWindow(Window());
    EXPECT_FALSE(loop.RemoveMessageFilter(frame.get()));
    appModule.RemoveMessageLoop();
}

// "Выход" hangs up whatever the frame holds; leaving for an upgrade keeps an established line for the
// new version to adopt, but not a dial still under way.
TEST_F(AppTest, LeavingForAnUpgradeKeepsAnEstablishedLineWhereTheExitHangsUp) {
    const struct { const char* what; const wchar_t* scenario; bool dial; UINT message; WPARAM wParam; LRESULT answer; int left; } cases[] = {
        {"Выход, connected", L"success", false, WM_CLOSE, 1, 0, 0},
        {"an upgrade, connected", L"success", false, WM_LEAVE_FOR_UPGRADE, 0, 1, 1},
        {"an upgrade while dialling", L"slow", true, WM_LEAVE_FOR_UPGRADE, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario(c.scenario);
        if (!c.dial) SimulatedRas().Update([](fakeras::State& s) { fakeras::AddConnection(s, L"Kelda", RASCS_Connected); });
        Open();
        if (c.dial) Press(IDC_CONNECT_BUTTON);
        ASSERT_EQ(KeldaConnections(), 1);
        EXPECT_EQ(SendMessageW(Window(), c.message, c.wParam, 0), c.answer);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(Window()); }, 5000)) << "the frame stayed";
        EXPECT_EQ(KeldaConnections(true), c.left);
        EXPECT_TRUE(!c.left || SimulatedRas().Read()->connections[0].state == RASCS_Connected) << "the line kept is not up";
    }
}
