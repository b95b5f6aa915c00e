#pragma once
#include <windows.h>

#include <string>

#include "framework/Window.h"
#include "network/HttpClient.h"

// The account display at the top of the main view: "Лицевой счет", the balance
// in large digits and, when the provider defers an amount, a white-on-red line
// with it. It asks for the figures (stats/StatisticsQuery.h) when created,
// every five minutes, and whenever somebody posts it WM_TIMER; after each query
// it posts WM_STATISTICS_UPDATED to its grandparent, the main frame.
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

    // One query and what follows it: the figures shown, the frame told, the timer restarted.
    void QueryStatistics();
    // Draws the display into `client`; its fonts live only for this call.
    void Paint(HDC dc, const RECT& client);

    HttpClient http;
    float balance = 0;  // of the last query; the frame shows it in the tray tip
    float credit = 0;   // deferred amount of the last query; 0 hides its line

protected:
    WindowClassInfo& GetWndClassInfo() override;

private:
    // The texts Paint draws.
    std::wstring BalanceText() const;
    std::wstring DeferredText() const;

    int serverPort_;
};
