#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/Base64.h"

namespace {
// `capacity` elements between two runs of guard elements outside the Base64
// alphabet: a writer that went past what it was given changes a guard.
template <typename T>
struct GuardedBuffer {
    explicit GuardedBuffer(std::size_t capacity) : storage(capacity + 32, T(0x7F)) {}
    T* data() { return storage.data() + 16; }
    bool GuardsIntact() const {
        auto guard = [](auto first) { return std::all_of(first, first + 16, [](T c) { return c == T(0x7F); }); };
        return guard(storage.begin()) && guard(storage.end() - 16);
    }
    std::vector<T> storage;
};

const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

std::string Encode(const std::string& input, unsigned lineLength) {
    char out[512];
    EXPECT_TRUE(CBase64::Base64Encode(Bytes(input), input.size(), out, sizeof out, lineLength));
    return out;
}

std::wstring EncodeWide(const std::string& input) {
    wchar_t out[512];
    EXPECT_TRUE(CBase64::Base64EncodeWide(Bytes(input), input.size(), out, 512));
    return out;
}

std::string Decode(const std::wstring& text) {
    unsigned char out[512];
    std::size_t count = 99;
    EXPECT_TRUE(CBase64::Base64DecodeWide(text.c_str(), out, sizeof out, count));
    return std::string(out, out + count);
}
}  // namespace

TEST(Base64, Rfc4648VectorsAndLenientDecoding) {
    const char* vectors[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (auto& v : vectors) {
        EXPECT_EQ(Encode(v[0], 76), v[1]);
        std::wstring wide = EncodeWide(v[0]);
        EXPECT_EQ(wide, std::wstring(v[1], v[1] + std::strlen(v[1])));
        EXPECT_EQ(Decode(wide), v[0]);
    }
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
    EXPECT_EQ(Decode(EncodeWide(all)), all);
    EXPECT_EQ(Decode(L" Z=m 9\r\nv-Y*m\u0416E"), "fooba");  // breaks, blanks, no padding
    EXPECT_EQ(Decode(L"===="), "");
    EXPECT_EQ(Decode(L"Zm9vY"), "foo");  // a last group of one value gives nothing
}

TEST(Base64, LineBreaksFollowTheLowEightBitsAndMayStandBeforePadding) {
    std::string sixty(60, 'x'), plain = Encode(sixty, 100);
    EXPECT_EQ(plain.size(), 80u);
    EXPECT_EQ(Encode(sixty, 40), plain.substr(0, 40) + "\r\n" + plain.substr(40));
    EXPECT_EQ(Encode(sixty, 300), plain.substr(0, 44) + "\r\n" + plain.substr(44));
    EXPECT_EQ(EncodeWide(sixty), std::wstring(plain.begin(), plain.end()));
    EXPECT_EQ(Encode("foo", 4), "Zm9v");           // no break after the last character
    EXPECT_EQ(Encode("foob", 6), "Zm9vYg\r\n==");  // a break before the padding
    EXPECT_EQ(Encode("fooba", 2), "Zm\r\n9v\r\nYm\r\nE=");
    EXPECT_EQ(Encode("f", 256), "\r\nZg==");       // 0: the count is 0 only at the start
}

TEST(Base64, EncodersWriteTheWholeTextOrAnEmptyOneWithinTheCapacity) {
    std::mt19937 random(7);
    for (std::size_t length = 0; length < 40; ++length) {
        std::string input(length, '\0');
        for (char& c : input) c = static_cast<char>(random());
        for (unsigned lineLength : {0u, 1u, 2u, 3u, 5u, 7u, 76u, 255u, 260u}) {
            std::size_t size = CBase64::EncodedSize(length, lineLength);
            GuardedBuffer<char> exact(size), tooSmall(size - 1);
            EXPECT_TRUE(CBase64::Base64Encode(Bytes(input), length, exact.data(), size, lineLength));
            EXPECT_EQ(std::strlen(exact.data()) + 1, size);
            EXPECT_FALSE(CBase64::Base64Encode(Bytes(input), length, tooSmall.data(), size - 1, lineLength));
            EXPECT_TRUE(size == 1 || tooSmall.data()[0] == '\0');
            EXPECT_TRUE(exact.GuardsIntact() && tooSmall.GuardsIntact()) << length << " " << lineLength;
        }
        std::size_t size = CBase64::EncodedSizeWide(length);
        GuardedBuffer<wchar_t> exact(size), tooSmall(size - 1);
        EXPECT_TRUE(CBase64::Base64EncodeWide(Bytes(input), length, exact.data(), size));
        EXPECT_EQ(std::wcslen(exact.data()) + 1, size);
        EXPECT_FALSE(CBase64::Base64EncodeWide(Bytes(input), length, tooSmall.data(), size - 1));
        EXPECT_TRUE(exact.GuardsIntact() && tooSmall.GuardsIntact());
    }
}

TEST(Base64, DecodingArbitraryTextStopsAtTheCapacity) {
    std::mt19937 random(11);
    const wchar_t pool[] = L"AZaz09+/=\r\n \u0416\uFFFF!";
    for (int round = 0; round < 300; ++round) {
        std::wstring text(random() % 600, L'A');
        for (wchar_t& c : text) c = random() % 4 ? pool[random() % 15] : static_cast<wchar_t>(1 + random() % 0xFFFF);
        unsigned char full[600];
        std::size_t capacity = random() % 64, count = 0, fullCount = 0;
        CBase64::Base64DecodeWide(text.c_str(), full, sizeof full, fullCount);
        GuardedBuffer<unsigned char> out(capacity);
        EXPECT_EQ(CBase64::Base64DecodeWide(text.c_str(), out.data(), capacity, count), fullCount <= capacity);
        EXPECT_EQ(count, std::min(fullCount, capacity));
        EXPECT_TRUE(std::equal(out.data(), out.data() + count, full) && out.GuardsIntact());
    }
}
