#include "stats/StatisticsQuery.h"

#include <windows.h>

#include <optional>
#include <string>

#include "settings/KeyValueDocument.h"
#include "stats/StatisticsToken.h"

namespace {
const wchar_t kRequestPath[] = L"/kelda_tools_info.php?a=";
const wchar_t kReplyFile[] = L"tfile.txt";
}  // namespace

AccountFigures QueryAccountFigures(HttpClient& http, const wchar_t* login, const wchar_t* password) {
    KeyValueDocument reply;
    std::optional<std::wstring> token = MakeStatisticsToken(login, password);
    if (token) {
        std::wstring path = kRequestPath + *token;
        if (http.DownloadToFile(path.c_str(), kReplyFile, kSmallFileLimits) == kDownloadSaved) {
            reply.LoadFile(kReplyFile, true);
            DeleteFileW(kReplyFile);
        }
    }
    return AccountFigures{static_cast<float>(reply.GetNumber(L"", L"balance", 0)),
                          static_cast<float>(reply.GetNumber(L"", L"credit", 0))};
}
