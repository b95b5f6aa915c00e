#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainFrame.h"
#include "framework/Messages.h"
#include "res/resource.h"
#include "settings/AppConfig.h"
#include "TrayIcon.h"
#include "support/TestWindows.h"

namespace {
std::vector<UINT> MenuIds(HMENU menu) {
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) ids.push_back(GetMenuItemID(menu, i));
    return ids;
}

class FrameTest : public testing::Test {
protected:
    void SetUp() override {
        RECT workArea{0, 0, 1024, 740};
        window = frame.CreateFrame(FrameRectFromWorkArea(workArea));
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        PumpFor(0);
    }
    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        PumpFor(0);
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    CMainFrame frame;
    HWND window = nullptr;
};
}  // namespace

TEST(FramePlacement, TakesTheBottomRightCornerOfTheWorkArea) {
    RECT atOrigin = FrameRectFromWorkArea(RECT{0, 0, 1024, 740});
    EXPECT_EQ(atOrigin.left, 694);
    EXPECT_EQ(atOrigin.top, 485);
    EXPECT_EQ(atOrigin.right, 1024);
    EXPECT_EQ(atOrigin.bottom, 740);

    // Task bar at the top or the left: still anchored to the right and bottom edges.
    RECT shifted = FrameRectFromWorkArea(RECT{60, 30, 1280, 1024});
    EXPECT_EQ(shifted.left, 950);
    EXPECT_EQ(shifted.top, 769);
    EXPECT_EQ(shifted.right, 1280);
    EXPECT_EQ(shifted.bottom, 1024);
}

TEST_F(FrameTest, IsAFixedSizeCaptionedWindowNamedAfterTheProgramAndVersion) {
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 330);
    EXPECT_EQ(rect.bottom - rect.top, 255);
    EXPECT_EQ(rect.right, 1024);
    EXPECT_EQ(rect.bottom, 740);

    LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD | WS_POPUP), 0);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_EQ(std::wstring(caption), std::wstring(L"kelda_tx ") + AppConfig.version);

    // The view is the client, a child of the frame.
    ASSERT_NE(frame.Client(), nullptr);
    EXPECT_EQ(GetParent(frame.Client()), window);
    EXPECT_NE(GetMenu(window), nullptr);
}

TEST_F(FrameTest, CloseBoxAltF4MinimiseAndMenuExitOnlyHide) {
    auto expectHiddenButAlive = [&](const char* how) {
        PumpFor(0);
        EXPECT_TRUE(IsWindow(window)) << how;
        EXPECT_FALSE(IsWindowVisible(window)) << how;
        ShowWindow(window, SW_SHOWNORMAL);
    };
    SendMessageW(window, WM_CLOSE, 0, 0);
    expectHiddenButAlive("close box");
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);  // what Alt+F4 sends
    expectHiddenButAlive("Alt+F4");
    SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    expectHiddenButAlive("minimise");
    SendMessageW(window, WM_COMMAND, ID_APP_EXIT, 0);
    expectHiddenButAlive("menu bar exit");

    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(FrameTest, LeftClickOnTheTrayIconTogglesABalloonClickShowsAndOtherIconsAreIgnored) {
    ASSERT_TRUE(IsWindowVisible(window));
    SendMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID + 1, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));
    SendMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_MOUSEMOVE);
    EXPECT_TRUE(IsWindowVisible(window));

    // A click on a balloon of the icon shows the frame; it never hides it.
    ShowWindow(window, SW_HIDE);
    SendMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(IsWindowVisible(window));
    SendMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(FrameTest, RestoringAMinimisedHiddenFrameShowsItNormally) {
    ShowWindow(window, SW_MINIMIZE);
    PumpFor(0);
    EXPECT_FALSE(IsWindowVisible(window));
    SendMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
}

TEST_F(FrameTest, TheRealExitDestroysTheFrameAndQuitsWithCodeOne) {
    SendMessageW(window, WM_CLOSE, 1, 0);
    EXPECT_FALSE(IsWindow(window));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
}

TEST_F(FrameTest, PutsItsIconBackWhenTheNotificationAreaLosesIt) {
    ASSERT_TRUE(TrayIconExists(window));
    // The shell restarted and announces it: the icon comes back.
    ForgetTrayIcon(window);
    ASSERT_FALSE(TrayIconExists(window));
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(TrayIconExists(window));

    // Lost without an announcement: the next icon change adds it again.
    ForgetTrayIcon(window);
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    EXPECT_TRUE(frame.SetTrayIcon(TRAY_ICON_ID, icon));
    EXPECT_TRUE(TrayIconExists(window));
}

namespace {
// Runs inside the About box's modal loop: checks where it stands and closes it with OK.
RECT aboutRect{};
bool aboutSeen = false;
void CALLBACK CloseAbout(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND about = FindCaption(L"About");
    if (!about) return;
    KillTimer(nullptr, timer);
    aboutSeen = true;
    GetWindowRect(about, &aboutRect);
    SendMessageW(about, WM_COMMAND, IDOK, 0);
}
}  // namespace

TEST_F(FrameTest, TheAboutBoxStandsOverTheFrameAndClosesWithOk) {
    UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseAbout);
    SendMessageW(window, WM_COMMAND, ID_APP_ABOUT, 0);  // returns once the box has closed
    KillTimer(nullptr, timer);
    ASSERT_TRUE(aboutSeen);
    RECT frameRect{};
    GetWindowRect(window, &frameRect);
    EXPECT_NEAR((aboutRect.left + aboutRect.right) / 2, (frameRect.left + frameRect.right) / 2, 1);
    EXPECT_NEAR((aboutRect.top + aboutRect.bottom) / 2, (frameRect.top + frameRect.bottom) / 2, 1);
    EXPECT_TRUE(IsWindow(window));
}

TEST(TrayMenu, HoldsExactlyOneItemOfEachPair) {
    struct Case {
        bool visible, connected;
        std::vector<UINT> ids;
    };
    const UINT sep = 0;  // separators report id 0
    Case cases[] = {
        {true, false, {ID_TRAY_CONNECT, sep, ID_TRAY_MINIMIZE, sep, ID_TRAY_EXIT}},
        {false, false, {ID_TRAY_CONNECT, sep, ID_TRAY_RESTORE, sep, ID_TRAY_EXIT}},
        {true, true, {ID_TRAY_DISCONNECT, sep, ID_TRAY_MINIMIZE, sep, ID_TRAY_EXIT}},
        {false, true, {ID_TRAY_DISCONNECT, sep, ID_TRAY_RESTORE, sep, ID_TRAY_EXIT}},
    };
    for (const Case& c : cases) {
        UniqueMenu menu = LoadTrayMenu(c.visible, c.connected);
        ASSERT_TRUE(menu);
        EXPECT_EQ(MenuIds(GetSubMenu(menu.get(), 0)), c.ids) << c.visible << c.connected;
    }
}
