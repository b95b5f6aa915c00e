#include "AppTest.h"

#include <functional>

#include "framework/AppModule.h"

TEST_F(AppTest, TheHiddenButtonTogglesTheHeightAndClosingOrMinimisingOnlyHidesWhatTrayClicksShow) {
    Open();
    for (LONG height : {255, 175, 255}) {  // the top edge stays
        RECT r{};
        GetWindowRect(Window(), &r);
        EXPECT_EQ((std::vector<LONG>{r.top, r.bottom - r.top}), (std::vector<LONG>{485, height}));
        Press(IDC_TOGGLE_HEIGHT);
    }
    struct Step { const char* what; UINT message; WPARAM wParam; LPARAM lParam; bool shown; } steps[] = {
        {"Alt+F4", WM_SYSCOMMAND, SC_CLOSE, 0, false},
        {"another icon's click", WM_TRAY_NOTIFY, TRAY_ICON_ID + 1, WM_LBUTTONDOWN, false},
        {"balloon click", WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK, true},
        {"balloon click again", WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK, true},
        {"menu bar exit", WM_COMMAND, ID_APP_EXIT, 0, false},
        {"left click", WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN, true},
        {"minimise", WM_SYSCOMMAND, SC_MINIMIZE, 0, false},
        {"left click on the minimised frame", WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN, true},
        {"left click", WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN, false},
    };
    for (const Step& s : steps) {
        SendMessageW(Window(), s.message, s.wParam, s.lParam);
        PumpFor(0);
        EXPECT_EQ(IsWindowVisible(Window()) && !IsIconic(Window()), s.shown) << s.what;
    }
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(AppTest, TheTrayMenuConnectsWithTheStoredCredentialsDisconnectsRestoresAndMinimises) {
    Open();
    SetWindowTextW(View().loginEdit.Handle(), L"typed");
    struct Step { const char* item; int position; std::function<bool()> done; } steps[] = {  // a pair keeps one place
        {"Подключиться", 0, [&] { return ShowsConnected(true, 5000) && Connections() == std::vector<std::wstring>{L"stored/storedpw"}; }},
        {"Отключиться", 0, [&] { return ShowsConnected(false, 1000) && Connections().empty(); }},
        {"Развернуть окно", 1, [&] { return IsWindowVisible(Window()) != FALSE; }},
        {"Свернуть окно", 1, [&] { return !IsWindowVisible(Window()); }},
    };
    for (const Step& s : steps) {
        // The menu is modal: the keys wait in the queue for its loop.
        for (int i = 0; i <= s.position; ++i) PostMessageW(Window(), WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(Window(), WM_KEYDOWN, VK_RETURN, 0);
        SendMessageW(Window(), WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN);
        EXPECT_TRUE(s.done()) << s.item;
    }
}

// Tab moves between the fields but never out of the password; Ctrl+N reaches the frame's
// accelerator and nothing more; the frame leaves the loop with its window.
TEST_F(AppTest, TheFrameFiltersTheMessageLoopUntilItsWindowGoes) {
    CMessageLoop loop;
    appModule.AddMessageLoop(&loop);
    Open();
    SetFocus(View().loginEdit.Handle());
    MessageCounter frameCommands(Window());
    auto press = [&](WPARAM key, bool control) {  // through the loop; where the focus is then
        BYTE state[256] = {};
        state[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(state);
        PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
        PostQuitMessage(0);
        loop.Run();
        state[VK_CONTROL] = 0;
        SetKeyboardState(state);
        return GetFocus();
    };
    HWND password = View().passwordEdit.Handle();
    EXPECT_EQ(press(VK_TAB, false), View().autoConnectBox.Handle());
    EXPECT_EQ(press(VK_TAB, false), password);
    EXPECT_EQ(press(VK_TAB, false), password);
    EXPECT_EQ(press('N', true), password);
    EXPECT_EQ(frameCommands.Count(WM_COMMAND), 1);
    EXPECT_TRUE(IsWindowVisible(Window()));

    EXPECT_TRUE(loop.RemoveIdleHandler(frame.get()));
    loop.AddIdleHandler(frame.get());
    DestroyWindow(Window());
    EXPECT_FALSE(loop.RemoveMessageFilter(frame.get()));
    EXPECT_FALSE(loop.RemoveIdleHandler(frame.get()));
    appModule.RemoveMessageLoop();
}

TEST_F(AppTest, PutsItsIconBackWhenTheNotificationAreaLosesIt) {
    Open();
    auto tray = [&](DWORD message) {  // NIM_MODIFY with nothing to change succeeds exactly when the icon exists
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = Window();
        data.uID = TRAY_ICON_ID;
        return Shell_NotifyIconW(message, &data) != FALSE;
    };
    ASSERT_TRUE(tray(NIM_MODIFY));
    tray(NIM_DELETE);  // as the shell's restart does, which it then announces
    SendMessageW(Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(tray(NIM_MODIFY));
    tray(NIM_DELETE);  // lost unannounced: the next icon change adds it again
    EXPECT_TRUE(frame->SetTrayIcon(TRAY_ICON_ID, LoadIconW(nullptr, IDI_APPLICATION)));
    EXPECT_TRUE(tray(NIM_MODIFY));
}
