#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "settings/KeyValueDocument.h"
#include "settings/Scramble.h"

TEST(KeyValueDocument, SectionsAreExactAndStayWherePointersSawThem) {
    KeyValueDocument document;
    EXPECT_EQ(document.FindSection(L""), nullptr);
    KeyValueSection* unnamed = document.GetOrAddSection();
    EXPECT_EQ(document.GetOrAddSection(L""), unnamed);
    KeyValueSection* lower = document.GetOrAddSection(L"net");
    EXPECT_NE(document.GetOrAddSection(L"Net"), lower);
    KeyValueDocument::SetEntry(lower, L"first", L"1", false);
    KeyValueEntry* first = KeyValueDocument::FindEntry(lower, L"first");

    for (int i = 0; i < 2000; ++i) {
        document.GetOrAddSection(std::to_wstring(i).c_str());
        KeyValueDocument::SetEntry(lower, L"k" + std::to_wstring(i), L"v", false);
    }
    EXPECT_EQ(document.FindSection(L"net"), lower);
    EXPECT_EQ(KeyValueDocument::FindEntry(lower, L"first"), first);
    EXPECT_EQ(first->value, L"1");
    EXPECT_EQ(document.sections().size(), 2003u);  // Clear shows in KeyValueFile's missing-file case
}

TEST(KeyValueDocument, SetEntryReplacesInPlaceAndGetValueUnscrambles) {
    KeyValueDocument document;
    KeyValueSection* section = document.GetOrAddSection();
    KeyValueDocument::SetEntry(nullptr, L"lost", L"x", false);
    KeyValueDocument::SetEntry(section, L"version", L"1.07", false);
    KeyValueDocument::SetEntry(section, L"file", L"/a.zip", false);
    KeyValueDocument::SetEntry(section, L"version", ScrambleText(L"1.08"), true);
    ASSERT_EQ(section->entries.size(), 2u);
    EXPECT_EQ(section->entries[0].key, L"version");
    EXPECT_EQ(section->entries[0].value, ScrambleText(L"1.08"));  // held scrambled

    std::wstring out = L"before";
    EXPECT_TRUE(document.GetValue(nullptr, L"version", out));
    EXPECT_EQ(out, L"1.08");
    out = L"before";
    EXPECT_FALSE(document.GetValue(L"", L"Version", out));
    EXPECT_FALSE(document.GetValue(L"other", L"version", out));
    EXPECT_FALSE(document.GetValue(L"", L"lost", out));
    EXPECT_EQ(out, L"before");
}

TEST(KeyValueDocument, GetNumberReadsOnlyTheLeadingDecimalForm) {
    KeyValueDocument document;
    KeyValueSection* section = document.GetOrAddSection();
    const struct {
        const wchar_t* value;
        double number;
    } cases[] = {{L"12.50 руб", 12.5}, {L"0x10", 0},     {L"inf", 0},       {L"nan", 0},      {L"-INF", 0},
                 {L"руб 5", 0},        {L" \t-3.5e2x", -350}, {L"+.5", 0.5}, {L"5.", 5},       {L"1e", 1},
                 {L"2E+", 2},          {L"1.5e-1", 0.15}, {L".", 0},         {L"-", 0},        {L"1.2.3", 1.2},
                 {L"1,5", 1},          {L"007", 7},       {L"1e-400", 0},    {L"\u00A0" L"42", 42}};
    for (auto& c : cases) {
        KeyValueDocument::SetEntry(section, L"n", c.value, false);
        EXPECT_EQ(document.GetNumber(L"", L"n", 99), c.number) << c.value;
    }
    KeyValueDocument::SetEntry(section, L"n", L"-1e400", false);
    EXPECT_EQ(document.GetNumber(L"", L"n", 0), -HUGE_VAL);
    KeyValueDocument::SetEntry(section, L"n", ScrambleText(L"-7.25"), true);
    EXPECT_EQ(document.GetNumber(L"", L"n", 0), -7.25);
    EXPECT_EQ(document.GetNumber(L"", L"missing", 3.5), 3.5);
    EXPECT_EQ(document.GetNumber(L"nowhere", L"n", 4.5), 4.5);
}
