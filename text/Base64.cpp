#include "text/Base64.h"

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// No line breaks at all (the wide form).
constexpr unsigned kUnbroken = ~0u;

// Hands the encoded characters (ASCII) one by one to `put`.
template <typename Put>
void EncodeInto(const unsigned char* input, std::size_t length, unsigned lineLength, Put put) {
    unsigned sinceBreak = 0;
    auto breakIfDue = [&] {
        if (lineLength != kUnbroken && sinceBreak == lineLength) {
            put('\r');
            put('\n');
            sinceBreak = 0;
        }
    };
    auto emit = [&](unsigned value) {
        breakIfDue();
        put(kAlphabet[value]);
        ++sinceBreak;
    };

    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        unsigned b0 = input[i], b1 = input[i + 1], b2 = input[i + 2];
        emit(b0 >> 2);
        emit(((b0 << 4) | (b1 >> 4)) & 0x3F);
        emit(((b1 << 2) | (b2 >> 6)) & 0x3F);
        emit(b2 & 0x3F);
    }
    std::size_t rest = length - i;
    if (rest == 0) return;
    unsigned b0 = input[i], b1 = rest == 2 ? input[i + 1] : 0;
    emit(b0 >> 2);
    emit(((b0 << 4) | (b1 >> 4)) & 0x3F);
    if (rest == 2) emit((b1 << 2) & 0x3F);
    // The break test is also made where the group stops, so a break may stand
    // right before the padding.
    breakIfDue();
    put('=');
    if (rest == 1) put('=');
}

// Characters of the encoded text without its terminator; the layout depends on
// the length alone.
std::size_t EncodedCharacters(std::size_t length, unsigned lineLength) {
    std::size_t rest = length % 3;
    std::size_t data = length / 3 * 4 + (rest ? rest + 1 : 0);  // characters that carry bits
    std::size_t padding = rest ? 3 - rest : 0;
    std::size_t breaks = 0;
    if (data > 0 && lineLength != kUnbroken) {
        if (lineLength == 0) {
            breaks = 1;  // only before the first character: the count never returns to 0
        } else {
            breaks = (data - 1) / lineLength;                 // before characters L, 2L, ... of the data
            if (rest && data % lineLength == 0) ++breaks;     // before the padding
        }
    }
    return data + padding + 2 * breaks;
}

template <typename Char>
bool EncodeChecked(const unsigned char* input, std::size_t length, Char* output, std::size_t capacity,
                   unsigned lineLength) {
    if (capacity == 0) return false;
    if (EncodedCharacters(length, lineLength) + 1 > capacity) {
        output[0] = 0;
        return false;
    }
    std::size_t at = 0;
    EncodeInto(input, length, lineLength, [&](char c) { output[at++] = static_cast<Char>(c); });
    output[at] = 0;
    return true;
}

int ValueOf(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return c - L'A';
    if (c >= L'a' && c <= L'z') return c - L'a' + 26;
    if (c >= L'0' && c <= L'9') return c - L'0' + 52;
    if (c == L'+') return 62;
    if (c == L'/') return 63;
    return -1;
}
}  // namespace

bool CBase64::Base64Encode(const unsigned char* input, std::size_t length, char* output, std::size_t capacity,
                           unsigned lineLength) {
    return EncodeChecked(input, length, output, capacity, lineLength & 0xFF);
}

bool CBase64::Base64EncodeWide(const unsigned char* input, std::size_t length, wchar_t* output,
                               std::size_t capacity) {
    return EncodeChecked(input, length, output, capacity, kUnbroken);
}

bool CBase64::Base64DecodeWide(const wchar_t* text, unsigned char* output, std::size_t capacity,
                               std::size_t& count) {
    count = 0;
    int group[4];
    int held = 0;
    bool fitted = true;
    auto write = [&](unsigned byte) {
        if (count < capacity) {
            output[count++] = static_cast<unsigned char>(byte);
        } else {
            fitted = false;
        }
    };
    auto flush = [&] {
        if (held >= 2) write((group[0] << 2) | (group[1] >> 4));
        if (held >= 3) write((group[1] << 4) | (group[2] >> 2));
        if (held >= 4) write((group[2] << 6) | group[3]);
        held = 0;
    };
    for (const wchar_t* p = text; p && *p && fitted; ++p) {
        int value = ValueOf(*p);
        if (value < 0) continue;
        group[held++] = value;
        if (held == 4) flush();
    }
    if (fitted) flush();
    return fitted;
}
