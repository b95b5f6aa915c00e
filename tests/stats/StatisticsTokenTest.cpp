#include <gtest/gtest.h>

#include <tuple>

#include "stats/StatisticsToken.h"

// Expected tokens come from a separate reference (Python's base64 with the two
// swap tables), not from this program's helpers.
TEST(StatisticsToken, MatchesTheScriptsEncodingOrIsRefused) {
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"user", L"secret99x", L"jNecd0lXpDlyZWU5c2M="},  // nine characters: every pair swaps
        {L"user", L"abcde", L"jNZcdhlXpGJjZQ=="},          // four of the pairs fit
        {L"user", L"", L"cNjod=lX"},                       // padding moved inside by the second table
        // "login:permuted password" is 61 characters; only the first 49 go out.
        {L"subscriber-with-a-long-login", L"password-of-32-characters-123456",
         L"2Vaccyi3NWJlci13aXRoLWEtbG9uZy1sb2dpbjpvLXJzd2FkcHNvZi0zMi1jaGFyYQ=="},
        // Latin-1 characters go out as single bytes; their Base64 holds '+' and '/'.
        {L"\u00fb\u00ff", L"pass", L"H8cc+h6/Nw=="},
        // Characters without an 8-bit form give no token at all.
        {L"user", L"\u043f\u0430\u0440\u043e\u043b\u044c", nullptr},
        {L"user", L"pass\u20ac", nullptr},
    };
    for (auto [login, password, token] : cases) {
        EXPECT_EQ(MakeStatisticsToken(login, password).value_or(L"none"), token ? token : L"none") << password;
    }
}
