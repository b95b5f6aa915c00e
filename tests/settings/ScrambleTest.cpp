#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/Scramble.h"

namespace {
bool IsScrambledForm(const std::wstring& text, std::size_t units) {
    if (text.size() != 4 * ((2 * units + 2) / 3)) return false;
    for (wchar_t c : text) {
        if (!(iswalnum(c) && c < 0x80) && c != L'+' && c != L'/' && c != L'=') return false;
    }
    return true;
}
}  // namespace

TEST(Scramble, KnownFormsCarryTheKeyTheByteOrderAndTheExchange) {
    EXPECT_EQ(ScrambleText(L"a"), L"w1X=");  // plain Base64 "X1w=": first and third exchanged
    EXPECT_EQ(ScrambleText(L"Логин"), L"gVJAWA1YBlJDWA==");
    EXPECT_EQ(ScrambleText(L"pass123"), L"xlTfXE1cxVwPXATcDVw=");
    EXPECT_EQ(ScrambleText(L"\u00F8b"), L"xlxcXA==");  // first and third are equal: nothing exchanged
    EXPECT_EQ(UnscrambleText(L"xlxcXA=="), L"\u00F8b");
    EXPECT_EQ(ScrambleText(L""), L"");
    EXPECT_EQ(UnscrambleText(L""), L"");
}

// Every length 1..32 comes back through the registry in SettingsStore.
TEST(Scramble, RandomNonLatinTextsComeBack) {
    std::mt19937 random(3);
    const wchar_t ranges[][2] = {{0x20, 0x7E}, {0x400, 0x4FF}, {0x4E00, 0x9FFF}, {0x1, 0xFFFF}};
    for (int round = 0; round < 300; ++round) {
        std::wstring randomText(1 + random() % 199, L' ');
        for (wchar_t& c : randomText) {
            auto& range = ranges[random() % 4];
            c = static_cast<wchar_t>(range[0] + random() % (range[1] - range[0] + 1));
        }
        std::wstring scrambled = ScrambleText(randomText.c_str());
        EXPECT_TRUE(IsScrambledForm(scrambled, randomText.size()));
        EXPECT_EQ(UnscrambleText(scrambled.c_str()), randomText);
    }
}

TEST(Scramble, UnscramblingIsLenientAndBounded) {
    std::wstring scrambled = ScrambleText(L"Пароль");
    std::wstring broken = scrambled.substr(0, 5) + L"\r\n " + scrambled.substr(5);
    while (broken.back() == L'=') broken.pop_back();
    EXPECT_EQ(UnscrambleText(broken.c_str()), L"Пароль");

    // Texts over 199 units are cut to 199 both ways; a NUL unit ends the result.
    std::wstring longText(250, L'ж');
    EXPECT_EQ(UnscrambleText(ScrambleText(longText.c_str()).c_str()), longText.substr(0, 199));
    std::wstring tooMuch = ScrambleText(std::wstring(199, L'q').c_str()) + L"AAAAAAAAAAAA";
    EXPECT_EQ(UnscrambleText(tooMuch.c_str()), std::wstring(199, L'q'));
    EXPECT_EQ(UnscrambleText(L"xlP/XA=="), L"");  // the unit 0x5C3E unmasks to NUL at once

    std::mt19937 random(5);
    for (int round = 0; round < 300; ++round) {
        std::wstring text(random() % 2000, L'A');
        for (wchar_t& c : text) c = static_cast<wchar_t>(random() % 3 ? L"Ab+/=9\n"[random() % 7] : 1 + random() % 0xFFFF);
        std::wstring plain = UnscrambleText(text.c_str());
        EXPECT_LE(plain.size(), 199u);
        EXPECT_EQ(plain.find(L'\0'), std::wstring::npos);
    }
}
