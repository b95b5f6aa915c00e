#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "settings/KeyValueDocument.h"
#include "settings/Scramble.h"

namespace {
// Writes the bytes to a file in the working directory and reads it into `document`.
bool LoadBytes(KeyValueDocument& document, const std::string& bytes, bool clearFirst = true) {
    std::ofstream("kv_test.txt", std::ios::binary | std::ios::trunc) << bytes;
    bool loaded = document.LoadFile(L"kv_test.txt", clearFirst);
    std::remove("kv_test.txt");
    return loaded;
}

std::wstring Value(KeyValueDocument& document, const wchar_t* section, const wchar_t* key) {
    std::wstring value = L"<missing>";
    document.GetValue(section, key, value);
    return value;
}

std::wstring Keys(const KeyValueSection& section) {
    std::wstring keys;
    for (auto& entry : section.entries) keys += entry.key + L"|";
    return keys;
}

std::wstring Names(const KeyValueDocument& document) {
    std::wstring names;
    for (auto& section : document.sections()) names += section.name + L"|";
    return names;
}
}  // namespace

TEST(KeyValueFile, MissingAndEmptyFilesLeaveJustTheUnnamedSection) {
    KeyValueDocument document;
    KeyValueDocument::SetEntry(document.GetOrAddSection(L"old"), L"k", L"v", false);
    EXPECT_FALSE(document.LoadFile(L"no_such_file.txt", false));
    EXPECT_EQ(Names(document), L"old||");
    EXPECT_FALSE(document.LoadFile(L"no_such_file.txt", true));
    EXPECT_EQ(Names(document), L"|");
    EXPECT_TRUE(LoadBytes(document, ""));
    EXPECT_EQ(Names(document), L"|");
    EXPECT_TRUE(document.sections()[0].entries.empty());
}

TEST(KeyValueFile, LinesBecomeSectionsEntriesOrNothing) {
    std::string scrambled;
    for (wchar_t c : ScrambleText(L"секрет")) scrambled.push_back(static_cast<char>(c));
    KeyValueDocument document;
    ASSERT_TRUE(LoadBytes(document,
                          "\xEF\xBB\xBFversion=1.08\n"
                          "  key one \t=  a value = with equals  \r\n"
                          "bare\r\n"
                          "; c\n# c\n= c\n- c\n\xD7 c\n\n \t\r\n"
                          "&secret=" + scrambled + "\n"
                          "lone=x\ry\r\r\n"
                          "dup=1\n[A]\na=1\n[B]\n[A] ignored\nb=2\n[a]\n"
                          "[]\ndup=2\n"
                          "[  spaced  ]\n\xA0\xB9k\xA0=\xA0\xC0v\xA0\n\xB2=\n\xAA=c\n_u\n"
                          "[open\n[\r\nx=1\n"
                          "["));
    EXPECT_EQ(Names(document), L"|A|B|a|  spaced|open|\n|");  // a first character is never trimmed
    const KeyValueSection& unnamed = document.sections()[0];
    EXPECT_EQ(Keys(unnamed), L"\u00EF\u00BB\u00BFversion|key one|bare|secret|lone|dup|");
    EXPECT_EQ(Value(document, L"", L"version"), L"<missing>");  // the BOM became part of the key
    EXPECT_EQ(Value(document, L"", L"key one"), L"a value = with equals");
    EXPECT_EQ(Value(document, L"", L"bare"), L"");
    EXPECT_EQ(Value(document, L"", L"secret"), L"секрет");
    EXPECT_TRUE(unnamed.entries[3].scrambled);
    EXPECT_EQ(unnamed.entries[3].value.size(), scrambled.size());
    EXPECT_EQ(Value(document, L"", L"lone"), L"x\ry");
    EXPECT_EQ(Value(document, L"", L"dup"), L"2");
    EXPECT_EQ(Keys(document.sections()[1]), L"a|b|");
    EXPECT_EQ(Keys(document.sections()[4]), L"\u00B9k|\u00B2|_u|");
    EXPECT_EQ(Value(document, L"  spaced", L"\u00B9k"), L"\u00C0v");
    EXPECT_EQ(Value(document, L"\n", L"x"), L"1");
}

TEST(KeyValueFile, TextModeAndReadsOf255Characters) {
    KeyValueDocument document;
    std::string letters298(298, 'q');
    letters298[252] = 'L';  // the last letter of the first read
    ASSERT_TRUE(LoadBytes(document, "k=" + letters298.substr(0, 298 - 2) + "ab\n" +
                                        "e=" + std::string(252, 'w') + "\r\nz=1\nend=\x1A" "after=1\n"));
    EXPECT_EQ(Value(document, L"", L"k"), std::wstring(252, L'q') + L"L");
    std::wstring rest(43, L'q');
    EXPECT_EQ(Value(document, L"", (rest + L"ab").c_str()), L"");
    EXPECT_EQ(Value(document, L"", L"e"), std::wstring(252, L'w'));  // CR LF counts as one character
    EXPECT_EQ(Keys(document.sections()[0]).size(), 2 + 46 + 2 + 2 + 4u);
    EXPECT_EQ(Value(document, L"", L"end"), L"");
    EXPECT_EQ(Value(document, L"", L"after"), L"<missing>");

    // A NUL ends what a read says; a 10,000-character last line without LF.
    ASSERT_TRUE(LoadBytes(document, std::string("ab\0cd=1\nx=2\nk=", 14) + std::string(9998, 'a')));
    EXPECT_EQ(Keys(document.sections()[0]), L"ab|x|k|" + std::wstring(255, L'a') + L"|" + std::wstring(55, L'a') + L"|");
    EXPECT_EQ(Value(document, L"", L"k"), std::wstring(253, L'a'));
}

TEST(KeyValueFile, ArbitraryBytesGiveTrimmedBoundedEntries) {
    std::mt19937 random(13);
    const char pool[] = "ab=[]&; \r\n\x1A\xA0\xC0";
    auto significant = [](wchar_t c) { return (c > L' ' && c < 0x7F) || (c > 0xA0 && c <= 0xFF); };
    KeyValueDocument document;
    for (int round = 0; round < 60; ++round) {
        std::string bytes(random() % 12000, '\0');
        for (char& c : bytes) c = random() % 2 ? pool[random() % (sizeof pool - 1)] : static_cast<char>(random());
        ASSERT_TRUE(LoadBytes(document, bytes, round % 2 == 0));
        for (auto& section : document.sections()) {
            EXPECT_LE(section.name.size(), 254u);
            for (auto& entry : section.entries) {
                EXPECT_LE(entry.key.size() + entry.value.size(), 254u);
                EXPECT_EQ(entry.key.find_first_of(L"=\n"), std::wstring::npos);
                EXPECT_EQ(entry.value.find(L'\n'), std::wstring::npos);
                EXPECT_TRUE(entry.key.empty() || significant(entry.key.back()));
                EXPECT_TRUE(entry.value.empty() || (significant(entry.value[0]) && significant(entry.value.back())));
            }
        }
    }
}
