#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "settings/AppConfig.h"
#include "settings/KeyValueDocument.h"
#include "settings/Scramble.h"

namespace {
const wchar_t kKey[] = L"Software\\kelda\\Quillon";
using Bytes = std::vector<BYTE>;

// A value's type and raw bytes in the registry; REG_NONE when missing.
std::pair<DWORD, Bytes> Stored(const wchar_t* name) {
    DWORD type = REG_NONE, size = 512;
    Bytes bytes(size);
    if (SHGetValueW(HKEY_CURRENT_USER, kKey, name, &type, bytes.data(), &size) != 0) return {REG_NONE, {}};
    bytes.resize(size);
    return {type, bytes};
}
std::pair<DWORD, Bytes> Text(const std::wstring& text) {  // 2 x length bytes, no terminator
    auto begin = reinterpret_cast<const BYTE*>(text.data());
    return {REG_SZ, Bytes(begin, begin + 2 * text.size())};
}
// Exactly 2 x length bytes: a non-NUL unit after the data keeps the registry from counting a terminator in.
void Store(const wchar_t* name, const std::wstring& text) {
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, (text + L'!').data(), DWORD(2 * text.size())), 0u);
}

// The document read from a file of these bytes.
KeyValueDocument Load(const std::string& bytes) {
    std::ofstream("kv_test.txt", std::ios::binary | std::ios::trunc) << bytes;
    KeyValueDocument document;
    EXPECT_TRUE(document.LoadFile(L"kv_test.txt", true));
    DeleteFileA("kv_test.txt");
    return document;
}
std::string Scrambled(const wchar_t* plain) {  // as the provider writes it: one byte a character
    std::wstring scrambled = ScrambleText(plain);
    return std::string(scrambled.begin(), scrambled.end());
}
std::wstring Value(KeyValueDocument& document, const wchar_t* section, const wchar_t* key) {
    std::wstring value = L"<missing>";
    return document.GetValue(section, key, value), value;
}
}  // namespace

// A stored text over 256 bytes is dropped; one unscrambling to more than the field holds is cut.
TEST(SettingsStore, NoKeyLoadsDefaultsEverySaveComesBackInTheStoredFormsAndOverlongTextsAreDroppedOrCut) {
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda");  // with anything under it
    AppConfig.StoreCredentials(L"old", L"old");
    AppConfig.autoConnect = AppConfig.hideOnStart = 1;
    AppConfig.LoadSettings();
    EXPECT_EQ(AppConfig.autoConnect + AppConfig.hideOnStart + wcslen(AppConfig.login) + wcslen(AppConfig.password), 0u);
    AppConfig.StoreCredentials(L"a", L"pass123");
    AppConfig.autoConnect = 1;
    EXPECT_EQ(AppConfig.SaveSettings(), 0);
    EXPECT_EQ(Stored(L"p1"), Text(L"w1X="));
    EXPECT_EQ(Stored(L"p2"), Text(L"xlTfXE1cxVwPXATcDVw="));
    EXPECT_EQ(Stored(L"AutoConnect"), std::make_pair(DWORD(REG_DWORD), Bytes{1, 0, 0, 0}));
    EXPECT_EQ(Stored(L"HideOnStart"), std::make_pair(DWORD(REG_DWORD), Bytes{0, 0, 0, 0}));

    const std::tuple<const wchar_t*, const wchar_t*, DWORD, DWORD> saved[] = {
        {L"", L"", 0, 0}, {L"Жё", L"€ø_@ 9", 1, 2}, {L"абонент-с-логином-в-32-символа-Z", L"Пароль", 0, 1}};
    for (auto [login, password, autoConnect, hideOnStart] : saved) {
        AppConfig.StoreCredentials(login, password);
        AppConfig.autoConnect = autoConnect, AppConfig.hideOnStart = hideOnStart;
        AppConfig.SaveSettings();
        AppConfig.StoreCredentials(L"x", L"x");
        AppConfig.autoConnect = AppConfig.hideOnStart = 7;
        AppConfig.LoadSettings();
        EXPECT_EQ(std::wstring(AppConfig.login) + L"/" + AppConfig.password, std::wstring(login) + L"/" + password);
        EXPECT_EQ(AppConfig.autoConnect * 10 + AppConfig.hideOnStart, autoConnect * 10 + hideOnStart);
    }
    Store(L"p1", std::wstring(129, L'A'));
    Store(L"p2", ScrambleText(std::wstring(48, L'z').c_str()));
    AppConfig.LoadSettings();
    EXPECT_STREQ(AppConfig.login, L"");
    EXPECT_EQ(AppConfig.password, std::wstring(32, L'z'));
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\kelda");
}

// The provider's update and statistics replies: only the unnamed section's entries count.
TEST(KeyValueFile, ReadsTheRepliesTheProgramActsOn) {
    KeyValueDocument document =
        Load("version=1.07\r\n  file = http://host/k.zip?a=b  \r\n; c=1\n# c=2\n&secret=" + Scrambled(L"секрет") +
             "\ndup=1\n[other]\nbalance=99\n[]\ndup=2\nk=" + std::string(9998, 'a') + "\n");
    std::wstring values;
    for (const wchar_t* key : {L"version", L"file", L"secret", L"c", L"balance", L"dup"}) values += Value(document, L"", key) + L"|";
    EXPECT_EQ(values, L"1.07|http://host/k.zip?a=b|секрет|<missing>|<missing>|2|");
    EXPECT_EQ(Value(document, L"other", L"balance"), L"99");
    EXPECT_EQ(Value(document, L"", L"k"), std::wstring(253, L'a'));  // a long line is read in pieces
    EXPECT_FALSE(document.LoadFile(L"no_such_file.txt", true));
    // One rule of the format a row: a file's bytes, a section and key looked up, the value found there.
    const struct { std::string bytes; const wchar_t* section; std::wstring key, value; } rules[] = {
        {"a=x\ry\r\n", L"", L"a", L"x\ry"},  // a lone CR stays in the line
        {"a=1\x1A\nb=2\n", L"", L"b", L"<missing>"},  // 0x1A ends the file
        {"\xEF\xBB\xBFversion=1\n", L"", L"\xEF\xBB\xBFversion", L"1"},  // a UTF-8 byte-order mark begins the key
        {" \t key x \t= \t v w \t\n", L"", L"key x", L"v w"},  // blanks around key, "=" and value go
        {"[  s t \t]\na=1\n", L"  s t", L"a", L"1"},  // blanks before the name belong to it
        {"a=" + std::string(298, 'b'), L"", std::wstring(45, L'b'), L""},  // 300 characters: 255, then a line of 45
        {std::string("a=x\0y\nb=2", 9), L"", L"a", L"x"},  // a NUL ends what its line says
        {"Version=1\n", L"", L"version", L"<missing>"},  // keys and section names are case-sensitive
        {"[S]\na=1\n", L"s", L"a", L"<missing>"},
    };
    for (const auto& r : rules) {
        KeyValueDocument read = Load(r.bytes);
        EXPECT_EQ(Value(read, r.section, r.key.c_str()), r.value) << r.bytes;
    }
}

TEST(KeyValueFile, GetNumberReadsOnlyTheLeadingDecimalForm) {
    const std::pair<const char*, double> cases[] = {
        {"12.50 RUB", 12.5}, {" \t-3.5e2x", -350}, {"1,5", 1}, {"RUB 5", 0}, {"0x10", 0}, {"inf", 0}, {"nan", 0},
        {"+.5", 0.5}, {"1e", 1}, {"1e-x", 1}, {"-1e999", -HUGE_VAL}, {"1e-999", 0}};
    for (auto& [value, number] : cases) {
        KeyValueDocument document = Load(std::string("n=") + value);
        EXPECT_EQ(document.GetNumber(L"", L"n", 99), number) << value;
        EXPECT_EQ(document.GetNumber(L"", L"missing", 3.5), 3.5);
    }
    EXPECT_EQ(Load("&n=" + Scrambled(L"12.5")).GetNumber(L"", L"n", 99), 12.5) << "read unscrambled";
}
