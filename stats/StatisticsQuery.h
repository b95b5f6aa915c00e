#pragma once
#include "network/HttpClient.h"

// The two figures of the subscriber's account the provider's statistics script reports.
struct AccountFigures {
    float balance = 0;
    float credit = 0;  // the deferred amount; 0 when there is none
};

// The reply's name in the program's folder.
constexpr const wchar_t* kStatisticsReplyName = L"tfile.txt";

// One query of the statistics script on `http`'s server: the token of the
// credentials after "/kelda_tools_info.php?a=", the reply saved as `replyFile`,
// read and deleted. A failed download gives 0 in both figures and leaves an
// older reply file alone; credentials without an 8-bit form are never sent.
AccountFigures QueryAccountFigures(HttpClient& http, const wchar_t* login, const wchar_t* password,
                                   const wchar_t* replyFile);
