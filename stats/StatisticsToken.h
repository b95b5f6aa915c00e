#pragma once
#include <optional>
#include <string>

// The value of the statistics script's "a" parameter: "login:password", the
// password's first nine characters shuffled, the text cut to 49 characters,
// put into Base64 and shuffled again. The script undoes both shuffles.
//
// Nothing when the text to send holds a character above U+00FF: its 8-bit form
// would be garbled or cut short, and the script would answer for somebody else
// or for nobody.
std::optional<std::wstring> MakeStatisticsToken(const wchar_t* login, const wchar_t* password);
