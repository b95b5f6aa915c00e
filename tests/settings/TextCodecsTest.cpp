#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>

#include "settings/Scramble.h"
#include "text/Base64.h"
#include "text/NarrowText.h"

namespace {
const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The text written into `capacity` characters; "" when refused, and then nothing may be left in the buffer.
std::string Encode(const std::string& input, unsigned lineLength, std::size_t capacity) {
    char out[64];
    std::fill(std::begin(out), std::end(out), '#');
    bool written = CBase64::Base64Encode(Bytes(input), input.size(), out, capacity, lineLength);
    EXPECT_EQ(out[capacity], '#') << "written past the capacity";
    return written ? out : out[0] == '#' || out[0] == 0 ? "" : "<left half written>";
}

std::string Decode(const std::wstring& text) {
    unsigned char out[64];
    std::size_t count = 99;
    EXPECT_TRUE(CBase64::Base64DecodeWide(text.c_str(), out, sizeof out, count));
    return std::string(out, out + count);
}
}  // namespace

// A break is made before the padding too, never after the last character.
TEST(Base64, EncodesWithinTheCapacityBreaksLinesAndDecodesLeniently) {
    const struct { std::string bytes; unsigned lineLength; std::string text; } encoded[] = {
        {"", 76, ""}, {"f", 76, "Zg=="}, {"fo", 76, "Zm8="}, {"foo", 76, "Zm9v"}, {std::string("\0\xFF\x80", 3), 76, "AP+A"},
        {"foo", 4, "Zm9v"}, {"foob", 6, "Zm9vYg\r\n=="}, {"fooba", 2, "Zm\r\n9v\r\nYm\r\nE="}};
    for (const auto& e : encoded) {
        EXPECT_EQ(Encode(e.bytes, e.lineLength, e.text.size() + 1), e.text);
        EXPECT_EQ(Encode(e.bytes, e.lineLength, e.text.size()), "") << "one character short: nothing is written";
        if (e.lineLength != 76) continue;
        wchar_t wide[16];
        EXPECT_TRUE(CBase64::Base64EncodeWide(Bytes(e.bytes), e.bytes.size(), wide, 16));
        EXPECT_EQ(wide, std::wstring(e.text.begin(), e.text.end()));
        EXPECT_EQ(Decode(wide), e.bytes);
    }
    EXPECT_EQ(Decode(L" Z=m 9\r\nv-Y*m\u0416E"), "fooba");      // breaks, blanks, no padding
    EXPECT_EQ(Decode(L"Zm9v\u0141\u0161\u0130\u012B"), "foo");  // above U+00FF, whatever the low byte

    unsigned char out[8] = {};
    std::size_t count = 0;
    EXPECT_FALSE(CBase64::Base64DecodeWide(L"Zm9vYmE=", out, 4, count));
    EXPECT_EQ(std::string(out, out + count + 1), std::string("foob\0", 5)) << "decoded past the capacity";
}

TEST(NarrowText, KeepsEveryCharacterUpToU00FFAsItsByteAndRefusesTheRest) {
    std::string narrow;
    EXPECT_TRUE(ToNarrowText(L"/a?b=x y\u00F7\u00B5\u00BA\u0080\u00A0\u00FF", narrow));
    EXPECT_EQ(narrow, "/a?b=x y\xF7\xB5\xBA\x80\xA0\xFF");
    EXPECT_FALSE(ToNarrowText(L"a\u0100", narrow) || ToNarrowText(L"файл", narrow) || ToNarrowText(nullptr, narrow));
}

// Random texts over 199 units are cut to 199 both ways; whatever comes in, no NUL comes out.
TEST(Scramble, KnownFormsCarryTheKeyTheByteOrderAndTheExchangeAndAnyTextUnscramblesWithinTheBound) {
    // "a" is "X1w=" in plain Base64, its first and third characters exchanged; "\u00F8b" has them equal.
    const std::pair<std::wstring, std::wstring> forms[] = {
        {L"a", L"w1X="}, {L"Логин", L"gVJAWA1YBlJDWA=="}, {L"pass123", L"xlTfXE1cxVwPXATcDVw="}, {L"\u00F8b", L"xlxcXA=="}, {L"", L""}};
    for (const auto& [plain, scrambled] : forms) {
        EXPECT_EQ(ScrambleText(plain.c_str()), scrambled);
        EXPECT_EQ(UnscrambleText(scrambled.c_str()), plain);
    }
    EXPECT_EQ(UnscrambleText(L"xlP/XA=="), L"");  // the unit 0x5C3E unmasks to NUL, which ends the text
    std::mt19937 random(3);
    for (int round = 0; round < 100; ++round) {
        std::wstring text(1 + random() % 260, L' '), noise(random() % 2000, L'A');
        for (wchar_t& c : text) c = static_cast<wchar_t>(1 + random() % 0xFFFF);
        for (wchar_t& c : noise) c = static_cast<wchar_t>(random() % 3 ? L"Ab+/=9\n"[random() % 7] : 1 + random() % 0xFFFF);
        EXPECT_EQ(UnscrambleText(ScrambleText(text.c_str()).c_str()), text.substr(0, 199));
        std::wstring plain = UnscrambleText(noise.c_str());
        EXPECT_TRUE(plain.size() <= 199 && plain.find(L'\0') == std::wstring::npos);
    }
}
