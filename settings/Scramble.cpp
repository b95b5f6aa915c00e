#include "settings/Scramble.h"

#include "text/Base64.h"

namespace {
constexpr unsigned short kKey = 0x5C3E;

// Exchanges every occurrence of the first and the third character in one pass;
// being its own inverse, it serves both ways.
void ExchangeFirstAndThird(std::wstring& text) {
    if (text.size() < 3) return;
    wchar_t a = text[0], b = text[2];
    if (a == b) return;
    for (wchar_t& c : text) {
        if (c == a) {
            c = b;
        } else if (c == b) {
            c = a;
        }
    }
}
}  // namespace

std::wstring ScrambleText(const wchar_t* text) {
    unsigned char bytes[2 * kScrambleMaxUnits];
    std::size_t units = 0;
    for (; text && text[units] && units < kScrambleMaxUnits; ++units) {
        unsigned short masked = static_cast<unsigned short>(text[units] ^ kKey);
        bytes[2 * units] = static_cast<unsigned char>(masked & 0xFF);
        bytes[2 * units + 1] = static_cast<unsigned char>(masked >> 8);
    }
    wchar_t encoded[4 * ((2 * kScrambleMaxUnits + 2) / 3) + 1];
    CBase64::Base64EncodeWide(bytes, 2 * units, encoded, sizeof encoded / sizeof encoded[0]);
    std::wstring result(encoded);
    ExchangeFirstAndThird(result);
    return result;
}

std::wstring UnscrambleText(const wchar_t* text) {
    std::wstring base64 = text ? text : L"";
    ExchangeFirstAndThird(base64);

    // Anything decoding past 199 units is dropped.
    unsigned char bytes[2 * kScrambleMaxUnits];
    std::size_t count = 0;
    CBase64::Base64DecodeWide(base64.c_str(), bytes, sizeof bytes, count);

    std::wstring result;
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        auto unit = static_cast<wchar_t>((bytes[i] | (bytes[i + 1] << 8)) ^ kKey);
        if (unit == L'\0') break;
        result.push_back(unit);
    }
    return result;
}
