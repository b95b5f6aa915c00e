#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "settings/Scramble.h"
#include "text/Base64.h"
#include "text/NarrowText.h"

namespace {
const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string Encode(const std::string& input, unsigned lineLength) {
    char out[512];
    EXPECT_TRUE(CBase64::Base64Encode(Bytes(input), input.size(), out, sizeof out, lineLength));
    return out;
}

std::string Decode(const std::wstring& text) {
    unsigned char out[512];
    std::size_t count = 99;
    EXPECT_TRUE(CBase64::Base64DecodeWide(text.c_str(), out, sizeof out, count));
    return std::string(out, out + count);
}

// `capacity` elements between runs of guards outside the alphabet: a write past it changes a guard.
template <typename T>
struct Guarded {
    explicit Guarded(std::size_t capacity) : storage(capacity + 32, T(0x7F)) {}
    T* data() { return storage.data() + 16; }
    bool Intact() const {
        return std::count(storage.begin(), storage.begin() + 16, T(0x7F)) + std::count(storage.end() - 16, storage.end(), T(0x7F)) == 32;
    }
    std::vector<T> storage;
};
}  // namespace

TEST(Base64, EncodesBreaksLinesAndDecodesLeniently) {
    std::string sixty(60, 'x'), plain = Encode(sixty, 100);
    const struct {
        std::string bytes;
        unsigned lineLength;
        std::string text;
    } encoded[] = {
        {"", 76, ""}, {"f", 76, "Zg=="}, {"fo", 76, "Zm8="}, {"foo", 76, "Zm9v"}, {std::string("\0\xFF\x80", 3), 76, "AP+A"},
        {"foo", 4, "Zm9v"},                    // no break after the last character
        {"foob", 6, "Zm9vYg\r\n=="},           // a break before the padding
        {"fooba", 2, "Zm\r\n9v\r\nYm\r\nE="},
        {"f", 256, "\r\nZg=="},                // only the low eight bits count: 0 breaks at the start only
        {sixty, 300, plain.substr(0, 44) + "\r\n" + plain.substr(44)},
    };
    for (const auto& e : encoded) {
        EXPECT_EQ(Encode(e.bytes, e.lineLength), e.text);
        if (e.lineLength != 76) continue;
        wchar_t wide[128];
        EXPECT_TRUE(CBase64::Base64EncodeWide(Bytes(e.bytes), e.bytes.size(), wide, 128));
        EXPECT_EQ(wide, std::wstring(e.text.begin(), e.text.end()));
        EXPECT_EQ(Decode(wide), e.bytes);
    }
    const std::pair<std::wstring, std::string> lenient[] = {
        {L" Z=m 9\r\nv-Y*m\u0416E", "fooba"},  // breaks, blanks, no padding
        {L"====", ""},
        {L"Zm9vY", "foo"},  // a last group of one value gives nothing
        {L"Zm9v\u0141\u0161\u0130\u012B", "foo"},  // above U+00FF, whatever the low byte
    };
    for (const auto& [text, bytes] : lenient) EXPECT_EQ(Decode(text), bytes);
}

TEST(Base64, EncodersWriteTheWholeTextOrNoneAndTheDecoderStopsAtTheCapacity) {
    std::mt19937 random(7);
    for (std::size_t length = 0; length < 40; ++length) {
        std::string input(length, '\0');
        for (char& c : input) c = static_cast<char>(random());
        for (unsigned lineLength : {0u, 1u, 2u, 3u, 5u, 7u, 76u, 255u, 260u}) {
            std::size_t size = CBase64::EncodedSize(length, lineLength);
            Guarded<char> exact(size), tooSmall(size - 1);
            EXPECT_TRUE(CBase64::Base64Encode(Bytes(input), length, exact.data(), size, lineLength));
            EXPECT_EQ(std::strlen(exact.data()) + 1, size);
            EXPECT_FALSE(CBase64::Base64Encode(Bytes(input), length, tooSmall.data(), size - 1, lineLength));
            EXPECT_TRUE((size == 1 || tooSmall.data()[0] == 0) && exact.Intact() && tooSmall.Intact()) << length;
        }
    }
    for (std::size_t capacity : {0, 4, 5}) {
        Guarded<unsigned char> out(capacity);
        std::size_t count = 99;
        EXPECT_EQ(CBase64::Base64DecodeWide(L"Zm9v YmE=", out.data(), capacity, count), capacity == 5);
        EXPECT_TRUE(count == capacity && std::equal(out.data(), out.data() + count, "fooba") && out.Intact());
    }
}

TEST(NarrowText, KeepsEveryCharacterUpToU00FFAsItsByteAndRefusesTheRest) {
    const std::pair<const wchar_t*, const char*> cases[] = {  // null: refused
        {L"/kelda_tools_info.php?a=x y", "/kelda_tools_info.php?a=x y"},
        {L"\u00F7\u00B5\u00BA\u0080\u00A0\u00FF", "\xF7\xB5\xBA\x80\xA0\xFF"},
        {L"a\u0100", nullptr}, {L"файл", nullptr}, {nullptr, nullptr}};
    for (const auto& [text, expected] : cases) {
        std::string narrow;
        EXPECT_EQ(ToNarrowText(text, narrow), expected != nullptr);
        if (expected) {
            EXPECT_EQ(narrow, expected);
        }
    }
}

TEST(Scramble, KnownFormsCarryTheKeyTheByteOrderAndTheExchange) {
    const std::pair<std::wstring, std::wstring> forms[] = {
        {L"a", L"w1X="},  // plain Base64 "X1w=": first and third exchanged
        {L"Логин", L"gVJAWA1YBlJDWA=="}, {L"pass123", L"xlTfXE1cxVwPXATcDVw="},
        {L"\u00F8b", L"xlxcXA=="},  // first and third are equal: nothing exchanged
        {L"", L""}};
    for (const auto& [plain, scrambled] : forms) {
        EXPECT_EQ(ScrambleText(plain.c_str()), scrambled);
        EXPECT_EQ(UnscrambleText(scrambled.c_str()), plain);
    }
    EXPECT_EQ(UnscrambleText(L"xlP/XA=="), L"");  // the unit 0x5C3E unmasks to NUL, which ends the text
}

// Texts over 199 units are cut to 199 both ways; whatever comes in, no NUL comes out.
TEST(Scramble, RandomTextsComeBackAndAnyTextUnscramblesWithinTheBound) {
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        std::wstring text(1 + random() % 260, L' '), noise(random() % 2000, L'A');
        for (wchar_t& c : text) c = static_cast<wchar_t>(1 + random() % (round % 2 ? 0xFFFF : 0x4FF));
        for (wchar_t& c : noise) c = static_cast<wchar_t>(random() % 3 ? L"Ab+/=9\n"[random() % 7] : 1 + random() % 0xFFFF);
        std::wstring scrambled = ScrambleText(text.c_str()), plain = UnscrambleText(noise.c_str());
        EXPECT_EQ(scrambled.size(), 4 * ((2 * std::min<std::size_t>(text.size(), 199) + 2) / 3));
        EXPECT_EQ(UnscrambleText(scrambled.c_str()), text.substr(0, 199));
        EXPECT_TRUE(plain.size() <= 199 && plain.find(L'\0') == std::wstring::npos);
    }
}
