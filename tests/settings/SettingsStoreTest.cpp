#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/AppConfig.h"
#include "settings/Scramble.h"

namespace {
const wchar_t kKey[] = L"Software\\kelda\\Quillon";
using Bytes = std::vector<BYTE>;

// A value's type and raw bytes, straight from the registry; REG_NONE when missing.
std::pair<DWORD, Bytes> Stored(const wchar_t* name) {
    DWORD type = REG_NONE, size = 0;
    Bytes bytes;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {type, bytes};
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        bytes.resize(size);
        RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
    }
    RegCloseKey(key);
    return {type, bytes};
}

void Store(const wchar_t* name, DWORD type, const void* data, size_t size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), DWORD(size));
    RegCloseKey(key);
}

std::pair<DWORD, Bytes> Text(const std::wstring& text) {
    auto begin = reinterpret_cast<const BYTE*>(text.data());
    return {REG_SZ, Bytes(begin, begin + 2 * text.size())};
}

// Every case starts and ends without the program's key in the test prefix.
struct SettingsStore : testing::Test {
    void SetUp() override { TearDown(); }
    void TearDown() override {
        RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda");
        AppConfig.StoreCredentials(L"", L"");
        AppConfig.autoConnect = AppConfig.hideOnStart = 0;
    }
};
}  // namespace

TEST_F(SettingsStore, NoKeyLoadsDefaultsWithoutCreatingItAndSaveWritesTheExactForms) {
    AppConfig.StoreCredentials(L"old", L"old");
    AppConfig.autoConnect = AppConfig.hideOnStart = 1;
    AppConfig.LoadSettings();
    EXPECT_EQ(AppConfig.autoConnect + AppConfig.hideOnStart, 0u);
    EXPECT_STREQ(AppConfig.login, L"");
    EXPECT_STREQ(AppConfig.password, L"");
    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);

    AppConfig.StoreCredentials(L"a", L"pass123");
    AppConfig.autoConnect = 1;
    EXPECT_EQ(AppConfig.SaveSettings(), 0);
    EXPECT_EQ(Stored(L"p1"), Text(L"w1X="));  // 2 x length bytes, no terminator
    EXPECT_EQ(Stored(L"p2"), Text(L"xlTfXE1cxVwPXATcDVw="));
    EXPECT_EQ(Stored(L"AutoConnect"), std::make_pair(DWORD(REG_DWORD), Bytes{1, 0, 0, 0}));
    EXPECT_EQ(Stored(L"HideOnStart"), std::make_pair(DWORD(REG_DWORD), Bytes{0, 0, 0, 0}));

    AppConfig.StoreCredentials(L"", L"");
    AppConfig.autoConnect = 0;
    AppConfig.hideOnStart = 1;
    AppConfig.SaveSettings();
    EXPECT_EQ(Stored(L"p1"), Text(L""));
    AppConfig.StoreCredentials(L"x", L"x");
    AppConfig.LoadSettings();
    EXPECT_STREQ(AppConfig.login, L"");
    EXPECT_EQ(AppConfig.autoConnect, 0u);
    EXPECT_EQ(AppConfig.hideOnStart, 1u);
}

TEST_F(SettingsStore, CredentialsOfEveryLengthComeBack) {
    const wchar_t pool[] = L"aZ09_@ Жжё€øБ";
    std::wstring login, password;
    for (int length = 1; length <= 32; ++length) {
        login.push_back(pool[length % 13]);
        password.push_back(pool[(length * 5) % 13]);
        AppConfig.StoreCredentials(login.c_str(), password.c_str());
        AppConfig.SaveSettings();
        AppConfig.StoreCredentials(L"", L"");
        AppConfig.LoadSettings();
        EXPECT_EQ(AppConfig.login, login);
        EXPECT_EQ(AppConfig.password, password);
    }
}

TEST_F(SettingsStore, ForeignTypesAndSizesLoadSoundly) {
    Store(L"p1", REG_SZ, L"xlxcXA==", 16);  // first and third characters equal
    std::wstring withNul = ScrambleText(L"Пароль") + L'\0' + L"garbage";
    Store(L"p2", REG_BINARY, withNul.data(), withNul.size() * 2 + 1);  // odd size too
    Store(L"AutoConnect", REG_SZ, L"1", 4);                            // 4 bytes of any type count
    BYTE eight[8] = {1};
    Store(L"HideOnStart", REG_BINARY, eight, sizeof eight);  // too large: 0
    AppConfig.LoadSettings();
    EXPECT_STREQ(AppConfig.login, L"\u00F8b");
    EXPECT_STREQ(AppConfig.password, L"Пароль");
    EXPECT_EQ(AppConfig.autoConnect, DWORD(L'1'));
    EXPECT_EQ(AppConfig.hideOnStart, 0u);

    // Over 256 bytes: empty. Exactly 256 bytes, unscrambling to 48 characters: cut to 32.
    // (A non-NUL unit after the data keeps the registry from counting a terminator in.)
    std::wstring tooLong(129, L'A'), full = ScrambleText(std::wstring(48, L'z').c_str()) + L'!';
    Store(L"p1", REG_SZ, tooLong.data(), tooLong.size() * 2);
    Store(L"p2", REG_SZ, full.data(), 256);
    DWORD two = 2;
    Store(L"HideOnStart", REG_DWORD, &two, 2);
    AppConfig.LoadSettings();
    EXPECT_STREQ(AppConfig.login, L"");
    EXPECT_EQ(AppConfig.password, std::wstring(32, L'z'));
    EXPECT_EQ(AppConfig.hideOnStart, 2u);
}
