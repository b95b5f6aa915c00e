#include "stats/StateStatic.h"

#include <shlwapi.h>

#include <cwchar>

#include "controls/ControlFonts.h"
#include "framework/Messages.h"
#include "framework/UniqueHandle.h"
#include "settings/AppConfig.h"
#include "settings/BuildSettings.h"
#include "stats/StatisticsQuery.h"

namespace {
constexpr int kCaptionHeight = 17;
constexpr int kLargeBalanceHeight = 50;
constexpr int kSmallBalanceHeight = 33;     // leaves room for the deferred line
constexpr int kDeferredLineHeight = 17;
constexpr int kDeferredLineClearance = 15;  // the balance area ends this far above the bottom
constexpr int kTextCapacity = 50;

std::wstring FormatAmount(const wchar_t* format, float amount) {
    wchar_t text[kTextCapacity] = {};
    std::swprintf(text, kTextCapacity, format, static_cast<double>(amount));
    text[kTextCapacity - 1] = L'\0';  // a cut text still ends
    return text;
}

// The reply file beside the program: the current directory is the whole
// process's, not this display's to rely on.
std::wstring ReplyFileInProgramFolder() {
    wchar_t folder[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !PathRemoveFileSpecW(folder)) return kStatisticsReplyName;
    return std::wstring(folder) + L"\\" + kStatisticsReplyName;
}

void DrawLine(HDC dc, int fontHeight, const std::wstring& text, RECT area, UINT format) {
    UniqueFont font = CreateBoldArial(fontHeight);
    // Put back before the font goes, so its deletion cannot fail on a selected object.
    SelectObjectGuard selected(dc, font.get());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format | DT_SINGLELINE | DT_NOPREFIX);
}
}  // namespace

CStateStatic::CStateStatic() : CStateStatic(KELDA_SERVER_PORT) {}

CStateStatic::CStateStatic(int serverPort) : serverPort_(serverPort) {}

WindowClassInfo& CStateStatic::GetWndClassInfo() {
    static WindowClassInfo info{L"stateclass", CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS};
    return info;
}

bool CStateStatic::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        // An address that does not resolve leaves the client without a server:
        // every query then fails and shows 0.00.
        http.SetServer(AppConfig.serverAddress, serverPort_);
        replyFile_ = ReplyFileInProgramFolder();
        QueryStatistics();
        result = 0;
        return true;
    case WM_DESTROY:
        KillTimer(window, kRefreshTimerId);
        StopQuery();
        result = 1;
        return true;
    case WM_PAINT:
        result = PaintClient(*this, window, reinterpret_cast<HDC>(wParam));
        return true;
    case WM_TIMER:  // the refresh timer, or a refresh the view asks for: any id
        QueryStatistics();
        result = 1;
        return true;
    case WM_QUERY_ENDED:
        if (queryRunning_) OnQueryEnded(StatisticsThread::FiguresOf(wParam, lParam));
        result = 0;
        return true;
    default:
        return false;
    }
}

void CStateStatic::QueryStatistics() {
    KillTimer(hwnd_, kRefreshTimerId);
    if (queryRunning_) {
        refreshWanted_ = true;
        return;
    }
    queryRunning_ = true;
    query_.Start(hwnd_, WM_QUERY_ENDED, http, AppConfig.login, AppConfig.password, replyFile_);
}

void CStateStatic::StopQuery() {
    query_.Stop();
    queryRunning_ = false;
    refreshWanted_ = false;
}

void CStateStatic::OnQueryEnded(AccountFigures figures) {
    queryRunning_ = false;
    answered_ = true;
    balance = figures.balance;
    credit = figures.credit;

    if (HWND frame = GetParent(GetParent(hwnd_))) PostMessageW(frame, WM_STATISTICS_UPDATED, 0, 0);
    RedrawNow(hwnd_);
    if (refreshWanted_) {
        refreshWanted_ = false;
        QueryStatistics();
    } else {
        SetTimer(hwnd_, kRefreshTimerId, kRefreshIntervalMs, nullptr);
    }
}

std::wstring CStateStatic::BalanceText() const { return FormatAmount(L"%0.2f", balance); }

std::wstring CStateStatic::DeferredText() const { return FormatAmount(L"Отсрочено: %0.2f", credit); }

void CStateStatic::Paint(HDC dc, const RECT& client) {
    RECT caption = client;
    caption.bottom = kCaptionHeight;
    DrawLine(dc, kCaptionHeight, L"Лицевой счет", caption, DT_CENTER | DT_VCENTER);
    if (!answered_) return;  // "0.00" would read as a real zero balance

    bool deferred = credit != 0;
    RECT amount = client;
    amount.top = kCaptionHeight;
    if (deferred) amount.bottom = client.bottom - kDeferredLineClearance;
    DrawLine(dc, deferred ? kSmallBalanceHeight : kLargeBalanceHeight, BalanceText(), amount, DT_CENTER);

    if (!deferred) return;
    RECT line = client;
    line.top = client.bottom - kDeferredLineHeight;
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkColor(dc, RGB(255, 0, 0));
    DrawLine(dc, kDeferredLineHeight, DeferredText(), line, DT_CENTER | DT_BOTTOM);
}
