#pragma once
#include <windows.h>

#include <string>

#include "framework/Window.h"
#include "network/HttpClient.h"
#include "stats/StatisticsThread.h"

// The account display at the top of the main view: "Лицевой счет", the balance
// in large digits and, when the provider defers an amount, a white-on-red line
// with it. It asks for the figures (stats/StatisticsQuery.h) when created,
// every five minutes, and whenever somebody posts it WM_TIMER; after each query
// it posts WM_STATISTICS_UPDATED to its grandparent, the main frame.
//
// Threads: the query's network and file work runs on the display's
// StatisticsThread; everything else here, the figures included, belongs to the
// window thread, which takes the result from a posted message.
class CStateStatic : public CWindowImplBase {
public:
    static constexpr UINT kRefreshTimerId = 1;
    static constexpr UINT kRefreshIntervalMs = 300000;

    // The provider's statistics server is AppConfig.serverAddress at the build's
    // server port; tests pass a port of their own.
    CStateStatic();
    explicit CStateStatic(int serverPort);
    ~CStateStatic() override = default;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // Starts a query with the credentials in AppConfig; one asked for while a
    // query runs is folded into a single one that starts when it ends. When it
    // ends: the figures shown, the frame told, the timer restarted.
    void QueryStatistics();
    // For leaving: the query under way is cancelled (at most a second's wait),
    // its result never shown; one asked for meanwhile is forgotten.
    void StopQuery();
    // Draws the display into `client`; its fonts live only for this call.
    void Paint(HDC dc, const RECT& client);

    HttpClient http;
    float balance = 0;  // of the last query; the frame shows it in the tray tip
    float credit = 0;   // deferred amount of the last query; 0 hides its line

protected:
    WindowClassInfo& GetWndClassInfo() override;

private:
    void OnQueryEnded(AccountFigures figures);
    // The texts Paint draws.
    std::wstring BalanceText() const;
    std::wstring DeferredText() const;

    int serverPort_;
    std::wstring replyFile_;      // in the program's folder, by its full path
    StatisticsThread query_;
    bool queryRunning_ = false;
    bool refreshWanted_ = false;  // asked for while a query ran
    bool answered_ = false;       // no figure is shown before the first answer
};
