#pragma once
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainFrame.h"
#include "controls/ControlTestSupport.h"
#include "framework/Messages.h"
#include "settings/AppConfig.h"
#include "settings/BuildSettings.h"
#include "support/SimulatedRas.h"
#include "support/TestServer.h"

// Whether the tray shows this icon: the tray's pixels searched for the icon drawn on the tray's last pixel.
inline bool TrayShows(int iconId) {
    RECT tray{};
    GetWindowRect(FindWindowW(L"Shell_TrayWnd", nullptr), &tray);
    int width = tray.right - tray.left, height = tray.bottom - tray.top, n = GetSystemMetrics(SM_CXSMICON);
    BITMAPINFO info{{sizeof info.bmiHeader, width, -(height + n), 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
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

// The whole frame with its view, against the simulated RAS service and a statistics server on 127.0.0.1.
class AppTest : public testing::Test {
protected:
    // hangUpBlocks: RasHangUpW waits for the dial's thread to leave the notifier, as the real one may.
    static void Scenario(const wchar_t* name, BOOL hangUpBlocks = FALSE) {
        SimulatedRas().Update([&](fakeras::State& s) {
            fakeras::ForgetEverything(s);
            lstrcpynW(s.scenario, name, 32);
            s.hangUpBlocks = hangUpBlocks;
        });
    }
    void SetUp() override {
        ASSERT_TRUE(server.Listening()) << "port " << KELDA_SERVER_PORT << " is taken";
        Scenario(L"success");
        AppConfig.StoreCredentials(L"stored", L"storedpw");
        AppConfig.autoConnect = 0;
        AppConfig.hideOnStart = 1;  // for its check box: Open() shows the frame all the same
    }
    void TearDown() override { if (frame && IsWindow(Window())) DestroyWindow(Window()); }  // while the frame object stands
    // redialUnitMs: the length of the redial schedule's second.
    void Open(DWORD redialUnitMs = RedialSchedule::kSecondMs) {
        frame = std::make_unique<CMainFrame>();
        frame->view.redial = RedialSchedule(redialUnitMs);
        ASSERT_NE(frame->CreateFrame(FrameRectFromWorkArea(RECT{0, 0, 1024, 740})), nullptr);
        ShowWindow(frame->Handle(), SW_SHOW);
        PumpFor(50);
    }
    HWND Window() { return frame->Handle(); }
    CKelda_txView& View() { return frame->view; }
    void Press(int id) { SendMessageW(View().Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // The frame shown, hidden or minimised, the connect button's caption and the state line, as the user sees them.
    std::wstring Shows() {
        const wchar_t* frameIs = !IsWindowVisible(Window()) ? L"hidden, " : IsIconic(Window()) ? L"minimised, " : L"shown, ";
        return frameIs + TextOf(GetDlgItem(View().Handle(), IDC_CONNECT_BUTTON)) + L", " + TextOf(View().stateLabel.Handle());
    }
    bool ShowsWithin(DWORD ms, const std::wstring& wanted) { return PumpUntil([&] { return Shows() == wanted; }, ms); }
    TestServer server{KELDA_SERVER_PORT};
    std::unique_ptr<CMainFrame> frame;
};
