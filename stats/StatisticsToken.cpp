#include "stats/StatisticsToken.h"

#include <cstddef>
#include <utility>

#include "text/Base64.h"
#include "text/NarrowText.h"

namespace {
struct SwapPair {
    std::size_t first, second;
};
// The script knows both tables; changing either breaks every subscriber's query.
constexpr SwapPair kPasswordSwaps[] = {{2, 7}, {0, 5}, {6, 1}, {3, 8}, {4, 0}, {7, 5},
                                       {1, 3}, {8, 2}, {5, 6}, {0, 4}, {2, 3}, {6, 8}};
constexpr SwapPair kTokenSwaps[] = {{3, 0}, {7, 2}, {5, 8}, {1, 4}, {6, 3}, {0, 7},
                                    {8, 1}, {2, 5}, {4, 6}, {3, 8}, {1, 0}, {7, 6}};

// The script expects "login:password" as it arrives from a 50-character buffer.
constexpr std::size_t kTextLimit = 49;
constexpr std::size_t kEncodedCapacity = 100;
// Longer than any encoded text of 49 bytes (68 characters): the token never holds a break.
constexpr unsigned kLineLength = 100;

// Pairs that name a position beyond the text are skipped, so short texts keep
// part of their order.
template <std::size_t N>
void ApplySwaps(std::wstring& text, const SwapPair (&pairs)[N]) {
    for (const SwapPair& pair : pairs) {
        if (pair.first < text.size() && pair.second < text.size()) std::swap(text[pair.first], text[pair.second]);
    }
}
}  // namespace

std::optional<std::wstring> MakeStatisticsToken(const wchar_t* login, const wchar_t* password) {
    std::wstring permuted = password ? password : L"";
    ApplySwaps(permuted, kPasswordSwaps);

    std::wstring text = login ? login : L"";
    text += L':';
    text += permuted;
    if (text.size() > kTextLimit) text.resize(kTextLimit);

    std::string bytes;
    if (!ToNarrowText(text.c_str(), bytes)) return std::nullopt;

    char encoded[kEncodedCapacity];
    if (!CBase64::Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), encoded,
                               sizeof encoded, kLineLength)) {
        return std::nullopt;
    }
    std::wstring token(encoded, encoded + std::char_traits<char>::length(encoded));
    ApplySwaps(token, kTokenSwaps);
    return token;
}
