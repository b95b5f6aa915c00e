#pragma once
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeRasState.h"
#include "app/MainFrame.h"
#include "controls/ControlTestSupport.h"
#include "framework/Messages.h"
#include "res/resource.h"
#include "settings/AppConfig.h"
#include "settings/BuildSettings.h"
#include "support/TestServer.h"
#include "support/TestWindows.h"

inline std::wstring TextOf(HWND window) {
    wchar_t text[300] = {};
    GetWindowTextW(window, text, 300);
    return text;
}

// Whether the shell's notification area shows this icon resource as the shell draws it on its
// own background: what the user sees, not what the program thinks it handed over. One canvas
// holds the tray's pixels and, below them, the icon drawn on the tray's last pixel.
inline bool TrayShows(int iconId) {
    RECT tray{};
    GetWindowRect(FindWindowW(L"Shell_TrayWnd", nullptr), &tray);
    int width = tray.right - tray.left, height = tray.bottom - tray.top, n = GetSystemMetrics(SM_CXSMICON);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -(height + n), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    DWORD* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr), screen = GetDC(nullptr);
    HBITMAP canvas = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    SelectObject(dc, canvas);
    BitBlt(dc, 0, 0, width, height, screen, tray.left, tray.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    StretchBlt(dc, 0, height, n, n, dc, width - 1, height - 1, 1, 1, SRCCOPY);
    auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, n, n, LR_SHARED));
    DrawIconEx(dc, 0, height, icon, n, n, 0, nullptr, DI_NORMAL);
    GdiFlush();
    bool found = false;
    for (int y = 0; !found && y + n <= height; ++y)
        for (int x = 0; !found && x + n <= width; ++x) {
            int i = 0;
            while (i < n * n && (bits[(y + i / n) * width + x + i % n] ^ bits[(height + i / n) * width + i % n]) << 8 == 0) ++i;
            found = i == n * n;
        }
    DeleteDC(dc);
    DeleteObject(canvas);
    return found;
}

// The whole frame with its view, against the simulated RAS service and a
// statistics server on the build's loopback port.
class AppTest : public testing::Test {
protected:
    static fakeras::SharedState& Service() {
        static fakeras::SharedState state(fakeras::ModuleFolder(GetModuleHandleW(L"rasapi32.dll")));
        return state;
    }
    static void Scenario(const wchar_t* name, DWORD hangUpDelayMs = fakeras::kDefaultHangUpDelayMs, BOOL hangUpBlocks = FALSE) {
        Service().Update([&](fakeras::State& s) {
            fakeras::ForgetEverything(s);
            lstrcpynW(s.scenario, name, 32);
            s.hangUpDelayMs = hangUpDelayMs;
            s.hangUpBlocks = hangUpBlocks;  // RasHangUpW waits for the dial's thread to leave the notifier
        });
    }
    void SetUp() override {
        ASSERT_TRUE(server.Listening()) << "port " << KELDA_SERVER_PORT << " is taken";
        server.Route("/kelda_tools_info.php", 200, "balance=42.5\r\n");
        Scenario(L"success");
        AppConfig.StoreCredentials(L"stored", L"storedpw");
        AppConfig.autoConnect = AppConfig.hideOnStart = 0;
    }
    void TearDown() override {
        Close();
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the frame's own end of the loop
    }
    void Open() {
        frame = std::make_unique<CMainFrame>();
        ASSERT_NE(frame->CreateFrame(FrameRectFromWorkArea(RECT{0, 0, 1024, 740})), nullptr);
        ShowWindow(frame->Handle(), SW_SHOW);
        PumpFor(50);
    }
    void Close() {  // the window first, while the frame object still stands
        if (frame && IsWindow(Window())) DestroyWindow(Window());
        frame.reset();
    }
    HWND Window() { return frame->Handle(); }
    CKelda_txView& View() { return frame->view; }
    void Press(int id) { SendMessageW(View().Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool ShowsConnected(bool connected, DWORD timeoutMs) {  // the button's caption and the state line
        std::wstring wanted = connected ? L"Отключиться/Соединено" : L"Подключиться/Не соединено";
        HWND button = GetDlgItem(View().Handle(), IDC_CONNECT_BUTTON);
        return PumpUntil([&] { return TextOf(button) + L"/" + TextOf(View().stateLabel.Handle()) == wanted; }, timeoutMs);
    }
    // "user/password" that RasDialW was given, of each live connection of the entry in the service,
    // or of hung-up ones not yet released too.
    std::vector<std::wstring> Connections(bool hungUpToo = false) {
        std::unique_ptr<fakeras::State> state = Service().Read();
        std::vector<std::wstring> found;
        for (const fakeras::Connection& c : state->connections)
            if (c.handle && (hungUpToo || !c.closing)) found.push_back(std::wstring(c.userName) + L"/" + c.password);
        return found;
    }
    TestServer server{KELDA_SERVER_PORT};
    std::unique_ptr<CMainFrame> frame;
};
