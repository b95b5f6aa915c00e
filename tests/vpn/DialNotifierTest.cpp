#include "FakeRasFixture.h"

using DialNotifierText = FakeRasTest;

TEST_F(DialNotifierText, ShowsTheStateAndTheServicesErrorText) {
    CreateWindows();
    DialNotifier(nullptr, WM_RASDIALEVENT, RASCS_Authenticate, 0, 0);
    EXPECT_EQ(LabelText(), L"Код состояния: 5\n");

    // 149 characters: the longest text the 150-character buffer holds.
    DialNotifier(nullptr, WM_RASDIALEVENT, RASCS_ConnectDevice, 800, 0);
    EXPECT_EQ(LabelText(), L"Код состояния: 2\nUnable to establish the VPN connection. The VPN server may be "
                           L"unreachable, or security parameters may not be configured properly for this connection.");
    EXPECT_TRUE(IsWindowVisible(frame));  // only the connected state hides it
}
