#include "stats/StatisticsQuery.h"

#include <windows.h>

#include <optional>
#include <string>

#include "settings/KeyValueDocument.h"
#include "stats/StatisticsToken.h"

namespace {
const wchar_t kRequestPath[] = L"/kelda_tools_info.php?a=";
}  // namespace

AccountFigures QueryAccountFigures(HttpClient& http, const wchar_t* login, const wchar_t* password,
                                   const wchar_t* replyFile) {
    KeyValueDocument reply;
    std::optional<std::wstring> token = MakeStatisticsToken(login, password);
    if (token) {
        std::wstring path = kRequestPath + *token;
        if (http.DownloadToFile(path.c_str(), replyFile, kSmallFileLimits) == kDownloadSaved) {
            reply.LoadFile(replyFile, true);
            DeleteFileW(replyFile);
        }
    }
    return AccountFigures{static_cast<float>(reply.GetNumber(L"", L"balance", 0)),
                          static_cast<float>(reply.GetNumber(L"", L"credit", 0))};
}
