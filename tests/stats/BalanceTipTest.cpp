#include <gtest/gtest.h>

#include "app/MainFrame.h"
#include "framework/Messages.h"
#include "support/TestWindows.h"

// The frame formats the display's 32-bit balance, widened, with two decimals.
TEST(BalanceTip, ShowsTheDisplaysFloatWithTwoDecimals) {
    CMainFrame frame;
    ASSERT_NE(frame.CreateFrame(FrameRectFromWorkArea(RECT{0, 0, 1024, 740})), nullptr);
    PumpFor(0);  // the notice of the display's first query
    ASSERT_NE(frame.TrayTip(), L"SomeMessage");

    struct Case {
        float balance;
        const wchar_t* tip;
    } cases[] = {{1234567.89f, L"Текущий баланс: 1234567.88"}, {99.995f, L"Текущий баланс: 100.00"},
                 {-12.3f, L"Текущий баланс: -12.30"}};
    for (const Case& c : cases) {
        frame.view.statisticsDisplay.balance = c.balance;
        SendMessageW(frame.Handle(), WM_STATISTICS_UPDATED, 0, 0);
        EXPECT_EQ(frame.TrayTip(), c.tip);
    }
    SendMessageW(frame.Handle(), WM_CLOSE, 1, 0);
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the frame's own end of the loop
}
