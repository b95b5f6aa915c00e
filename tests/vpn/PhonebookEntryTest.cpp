#include "FakeRasFixture.h"
#include "vpn/PhonebookEntry.h"

using PhonebookEntry = FakeRasTest;

// The XP-generation layouts: the 64-bit ones differ where a field is pointer-sized.
#if defined(_WIN64)
constexpr DWORD kDialParamsBytes = 2108, kConnBytes = 1372;
#else
constexpr DWORD kDialParamsBytes = 2104, kConnBytes = 1368;
#endif

TEST_F(PhonebookEntry, IsThePptpEntryWithTheStoredCredentialsAndNothingElse) {
    AppConfig.StoreCredentials(L"абонент", L"пароль 1");
    PrepareEntry();

    std::unique_ptr<fakeras::State> state = Service().Read();
    const fakeras::StoredEntry* stored = fakeras::FindEntry(*state, L"Kelda");
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(stored->name, L"Kelda");
    EXPECT_EQ(stored->size, 5616u);  // Wine reports an NT version after 5.0

    RASENTRYW expected;
    ZeroMemory(&expected, sizeof expected);
    expected.dwSize = 5616;
    expected.dwfOptions = 0x04010010;
    lstrcpyW(expected.szLocalPhoneNumber, L"127.0.0.1");
    expected.dwfNetProtocols = 4;
    expected.dwFramingProtocol = 1;
    lstrcpyW(expected.szDeviceType, L"vpn");
    lstrcpyW(expected.szDeviceName, L"VPN");
    expected.dwType = 2;
    expected.dwEncryptionType = 0;
    expected.dwVpnStrategy = 1;
    expected.dwfOptions2 = 7;
    expected.dwRedialCount = 99;
    expected.dwRedialPause = 3;
    EXPECT_EQ(memcmp(stored->bytes, &expected, sizeof expected), 0) << "an entry field differs";

    ASSERT_TRUE(stored->hasDialParams);
    EXPECT_FALSE(stored->passwordRemoved);
    RASDIALPARAMSW params;
    ZeroMemory(&params, sizeof params);
    params.dwSize = kDialParamsBytes;
    lstrcpyW(params.szEntryName, L"Kelda");
    lstrcpyW(params.szUserName, L"абонент");
    lstrcpyW(params.szPassword, L"пароль 1");
    EXPECT_EQ(memcmp(stored->dialParams, &params, sizeof params), 0) << "a dial parameter differs";
}

TEST(RasEntrySize, FollowsTheWindowsVersion) {
    const DWORD cases[][3] = {{5, 1, 5616}, {6, 0, 5616}, {10, 0, 5616}, {5, 0, 4048}, {4, 0, 3496}};
    for (auto& c : cases) EXPECT_EQ(RasEntrySizeForVersion(c[0], c[1]), c[2]) << c[0] << "." << c[1];
}

// The service must refuse wrong sizes, or a wrong size in the program would pass unnoticed.
TEST_F(PhonebookEntry, ServiceRefusesStructuresOfAnotherSize) {
    auto entry = std::make_unique<RASENTRYW>();
    entry->dwSize = 5616 - 4;
    entry->dwType = RASET_Vpn;
    entry->dwFramingProtocol = RASFP_Ppp;
    EXPECT_EQ(RasSetEntryPropertiesW(nullptr, L"Kelda", entry.get(), sizeof *entry, nullptr, 0), 632u);

    RASDIALPARAMSW params{};
    lstrcpyW(params.szEntryName, L"Kelda");
    params.dwSize = kDialParamsBytes + 4;
    EXPECT_EQ(RasSetEntryDialParamsW(nullptr, &params, FALSE), 632u);
    HRASCONN handle = nullptr;
    EXPECT_EQ(RasDialW(nullptr, nullptr, &params, 1, reinterpret_cast<LPVOID>(&DialNotifier), &handle), 632u);
    EXPECT_EQ(handle, nullptr);

    HRASCONN other = AddConnection(L"Other");
    RASCONNSTATUSW status{};
    status.dwSize = 564 - 4;
    EXPECT_EQ(RasGetConnectStatusW(other, &status), 632u);

    RASCONNW list[2]{};
    list[0].dwSize = kConnBytes - 4;
    DWORD bytes = sizeof list, count = 0;
    EXPECT_EQ(RasEnumConnectionsW(list, &bytes, &count), 632u);
}
