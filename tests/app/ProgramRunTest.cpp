#include <gtest/gtest.h>

#include <string>

#include <winsock2.h>
#include <windows.h>

#include "TrayIcon.h"
#include "settings/AppConfig.h"
#include "settings/BuildSettings.h"
#include "support/TestServer.h"
#include "support/TestWindows.h"

TEST(Program, RunsUntilTheTrayExitAndEndsWithCodeOneLeavingNoTrayIcon) {
    // The provider offers the version the program already has.
    TestServer provider(KELDA_SERVER_PORT);
    ASSERT_TRUE(provider.Listening());
    provider.Route("/keldatx.txt", 200, "version=" + std::string(AppConfig.version, AppConfig.version + wcslen(AppConfig.version)) + "\r\n");
    ProgramProcess program(L"..\\kelda_tx.exe");
    HWND frame = program.WaitForWindow(std::wstring(L"kelda_tx ") + AppConfig.version, 20000);
    ASSERT_NE(frame, nullptr) << "no shown frame";
    EXPECT_TRUE(TrayIconExists(frame));

    PostMessageW(frame, WM_CLOSE, 1, 0);
    EXPECT_EQ(program.WaitForExit(10000), 1u);
    EXPECT_FALSE(TrayIconExists(frame));
}
