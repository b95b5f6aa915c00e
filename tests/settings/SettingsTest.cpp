#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "settings/AppConfig.h"
#include "settings/KeyValueDocument.h"
#include "settings/Scramble.h"

namespace {
bool LoadBytes(KeyValueDocument& document, const std::string& bytes, bool clearFirst = true) {
    std::ofstream("kv_test.txt", std::ios::binary | std::ios::trunc) << bytes;
    bool loaded = document.LoadFile(L"kv_test.txt", clearFirst);
    DeleteFileA("kv_test.txt");
    return loaded;
}

std::wstring Value(KeyValueDocument& document, const wchar_t* section, const wchar_t* key) {
    std::wstring value = L"<missing>";
    document.GetValue(section, key, value);
    return value;
}

// The names of the sections, or of one section's keys, each followed by "|".
std::wstring Names(const KeyValueDocument& document, int section = -1) {
    std::wstring names;
    for (auto& s : document.sections()) names += section < 0 ? s.name + L"|" : L"";
    for (auto& entry : section < 0 ? decltype(KeyValueSection::entries){} : document.sections()[section].entries) names += entry.key + L"|";
    return names;
}
const wchar_t kKey[] = L"Software\\kelda\\Quillon";
using Bytes = std::vector<BYTE>;

// A value's type and raw bytes in the registry; REG_NONE when missing.
std::pair<DWORD, Bytes> Stored(const wchar_t* name) {
    DWORD type = REG_NONE, size = 512;
    Bytes bytes(size);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != 0) return {type, {}};
    if (RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size) != 0) size = 0;
    RegCloseKey(key);
    bytes.resize(size);
    return {type, bytes};
}
void Store(const wchar_t* name, DWORD type, const void* data, size_t size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), DWORD(size));
    RegCloseKey(key);
}
std::pair<DWORD, Bytes> Text(const std::wstring& text) {  // 2 x length bytes, no terminator
    auto begin = reinterpret_cast<const BYTE*>(text.data());
    return {REG_SZ, Bytes(begin, begin + 2 * text.size())};
}

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

TEST_F(SettingsStore, NoKeyLoadsDefaultsWithoutMakingItAndEverySaveComesBackInTheExactForms) {
    AppConfig.StoreCredentials(L"old", L"old");
    AppConfig.autoConnect = AppConfig.hideOnStart = 1;
    AppConfig.LoadSettings();
    EXPECT_EQ(AppConfig.autoConnect + AppConfig.hideOnStart + wcslen(AppConfig.login) + wcslen(AppConfig.password), 0u);
    EXPECT_EQ(Stored(L"p1").first, DWORD(REG_NONE));
    AppConfig.StoreCredentials(L"a", L"pass123");
    AppConfig.autoConnect = 1;
    EXPECT_EQ(AppConfig.SaveSettings(), 0);
    EXPECT_EQ(Stored(L"p1"), Text(L"w1X="));
    EXPECT_EQ(Stored(L"p2"), Text(L"xlTfXE1cxVwPXATcDVw="));
    EXPECT_EQ(Stored(L"AutoConnect"), std::make_pair(DWORD(REG_DWORD), Bytes{1, 0, 0, 0}));
    EXPECT_EQ(Stored(L"HideOnStart"), std::make_pair(DWORD(REG_DWORD), Bytes{0, 0, 0, 0}));

    const wchar_t pool[] = L"aZ09_@ Жжё€øБ";
    std::wstring login, password;
    for (DWORD length = 0; length <= 32; ++length) {  // every length the fields hold
        if (length) login.push_back(pool[length % 13]), password.push_back(pool[(length * 5) % 13]);
        AppConfig.StoreCredentials(login.c_str(), password.c_str());
        AppConfig.autoConnect = length % 2;
        AppConfig.hideOnStart = length % 3;
        AppConfig.SaveSettings();
        AppConfig.StoreCredentials(L"x", L"x");
        AppConfig.autoConnect = AppConfig.hideOnStart = 7;
        AppConfig.LoadSettings();
        EXPECT_EQ(AppConfig.login, login);
        EXPECT_EQ(AppConfig.password, password);
        EXPECT_EQ(AppConfig.autoConnect * 10 + AppConfig.hideOnStart, length % 2 * 10 + length % 3);
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

TEST(KeyValueDocument, SectionsAndKeysAreExactStayPutAndReadBackUnscrambled) {
    KeyValueDocument document;
    EXPECT_EQ(document.FindSection(L""), nullptr);
    EXPECT_EQ(document.GetOrAddSection(L""), document.GetOrAddSection());
    KeyValueSection* net = document.GetOrAddSection(L"net");
    EXPECT_NE(document.GetOrAddSection(L"Net"), net);
    KeyValueDocument::SetEntry(nullptr, L"lost", L"x", false);
    KeyValueDocument::SetEntry(net, L"version", L"1.07", false);
    KeyValueEntry* first = KeyValueDocument::FindEntry(net, L"version");
    for (int i = 0; i < 2000; ++i) {  // pointers taken earlier still hold
        document.GetOrAddSection(std::to_wstring(i).c_str());
        KeyValueDocument::SetEntry(net, L"k" + std::to_wstring(i), L"v", false);
    }
    KeyValueDocument::SetEntry(net, L"version", ScrambleText(L"1.08"), true);
    EXPECT_EQ(document.FindSection(L"net"), net);
    EXPECT_EQ(KeyValueDocument::FindEntry(net, L"version"), first);
    EXPECT_EQ(first->value, ScrambleText(L"1.08"));  // held scrambled, in the entry's first place
    EXPECT_EQ(Value(document, L"net", L"version"), L"1.08");
    EXPECT_EQ(Value(document, L"net", L"Version") + Value(document, L"", L"version") + Value(document, L"", L"lost"),
              L"<missing><missing><missing>");
}

TEST(KeyValueDocument, GetNumberReadsOnlyTheLeadingDecimalForm) {
    KeyValueDocument document;
    KeyValueSection* section = document.GetOrAddSection();
    const std::pair<const wchar_t*, double> cases[] = {
        {L"12.50 руб", 12.5}, {L"0x10", 0}, {L"inf", 0}, {L"nan", 0}, {L"руб 5", 0}, {L" \t-3.5e2x", -350}, {L"+.5", 0.5},
        {L"1e", 1}, {L"2E+", 2}, {L".", 0}, {L"1.2.3", 1.2}, {L"1,5", 1}, {L"1e-400", 0}, {L"-1e400", -HUGE_VAL}};
    for (auto& [value, number] : cases) {
        KeyValueDocument::SetEntry(section, L"n", value, false);
        EXPECT_EQ(document.GetNumber(L"", L"n", 99), number) << value;
    }
    KeyValueDocument::SetEntry(section, L"n", ScrambleText(L"-7.25"), true);
    EXPECT_EQ(document.GetNumber(L"", L"n", 0), -7.25);
    EXPECT_EQ(document.GetNumber(L"", L"missing", 3.5) + document.GetNumber(L"nowhere", L"n", 4.5), 8.0);
}

TEST(KeyValueFile, LinesBecomeSectionsEntriesOrNothing) {
    KeyValueDocument document;
    KeyValueDocument::SetEntry(document.GetOrAddSection(L"old"), L"k", L"v", false);
    EXPECT_FALSE(document.LoadFile(L"no_such_file.txt", false));
    EXPECT_EQ(Names(document), L"old||");
    EXPECT_FALSE(document.LoadFile(L"no_such_file.txt", true));
    EXPECT_EQ(Names(document), L"|");
    EXPECT_TRUE(LoadBytes(document, "") && document.sections()[0].entries.empty());

    std::string scrambled;
    for (wchar_t c : ScrambleText(L"секрет")) scrambled.push_back(static_cast<char>(c));
    ASSERT_TRUE(LoadBytes(document,
                          "\xEF\xBB\xBFversion=1.08\n  key one \t=  a value = with equals  \r\nbare\r\n"
                          "; c\n# c\n= c\n- c\n\xD7 c\n\n \t\r\n&secret=" + scrambled + "\nlone=x\ry\r\r\n"
                          "dup=1\n[A]\na=1\n[B]\n[A] ignored\nb=2\n[a]\n[]\ndup=2\n"
                          "[  spaced  ]\n\xA0\xB9k\xA0=\xA0\xC0v\xA0\n\xB2=\n\xAA=c\n_u\n[open\n[\r\nx=1\n["));
    EXPECT_EQ(Names(document), L"|A|B|a|  spaced|open|\n|");  // a first character is never trimmed
    EXPECT_EQ(Names(document, 0), L"\u00EF\u00BB\u00BFversion|key one|bare|secret|lone|dup|");  // the BOM stays
    EXPECT_EQ(Names(document, 1) + Names(document, 4), L"a|b|\u00B9k|\u00B2|_u|");
    for (auto [section, key, value] : {std::array<const wchar_t*, 3>{L"", L"key one", L"a value = with equals"}, {L"", L"bare", L""},
                                       {L"", L"secret", L"секрет"}, {L"", L"lone", L"x\ry"}, {L"", L"dup", L"2"},
                                       {L"  spaced", L"\u00B9k", L"\u00C0v"}, {L"\n", L"x", L"1"}}) {
        EXPECT_EQ(Value(document, section, key), value);
    }
}

// Text mode, reads of 255 characters, a NUL ending what a read says, a last line without LF.
TEST(KeyValueFile, LongLinesAreReadIn255CharacterPieces) {
    KeyValueDocument document;
    std::string letters(296, 'q');
    letters[252] = 'L';  // the last letter of the first read
    ASSERT_TRUE(LoadBytes(document, "k=" + letters + "ab\ne=" + std::string(252, 'w') + "\r\nz=1\nend=\x1A" "after=1\n"));
    EXPECT_EQ(Value(document, L"", L"k"), std::wstring(252, L'q') + L"L");
    EXPECT_EQ(Value(document, L"", (std::wstring(43, L'q') + L"ab").c_str()), L"");
    EXPECT_EQ(Value(document, L"", L"e"), std::wstring(252, L'w'));  // CR LF counts as one character
    EXPECT_EQ(Names(document, 0).size(), 2 + 46 + 2 + 2 + 4u);
    EXPECT_EQ(Value(document, L"", L"end"), L"");
    ASSERT_TRUE(LoadBytes(document, std::string("ab\0cd=1\nx=2\nk=", 14) + std::string(9998, 'a')));
    EXPECT_EQ(Names(document, 0), L"ab|x|k|" + std::wstring(255, L'a') + L"|" + std::wstring(55, L'a') + L"|");
    EXPECT_EQ(Value(document, L"", L"k"), std::wstring(253, L'a'));

}
