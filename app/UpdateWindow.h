#pragma once
#include <windows.h>

#include <string>

#include "framework/Window.h"
#include "update/UpdateCheck.h"

// A fixed class name, so that a second start of the program finds the update window.
constexpr const wchar_t* kUpdateWindowClassName = L"kelda_tx update";
// A check that ends sooner shows no window at all.
constexpr UINT kUpdateWindowDelayMs = 1000;

// The start-up update check with its window: the check runs on a thread of its
// own while this thread keeps the window answering; the window appears when the
// check has not ended after kUpdateWindowDelayMs and is gone before this returns.
// The check's result: 0 failed (errorText), 1 carry on, 2 end (a new copy runs,
// or the session ended meanwhile).
int CheckForUpdateShown();

// The small window that shows what the start-up check is doing: a line of text,
// a progress bar and "Отмена".
class CUpdateWindow : public CWindowImplBase {
public:
    explicit CUpdateWindow(UpdateCheck& check) : check_(check) {}
    ~CUpdateWindow() override;

    // Centred on the work area, hidden until the delay has passed.
    HWND CreateHidden();
    // True once the check has reported its end.
    bool Ended() const { return ended_; }

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    WindowClassInfo& GetWndClassInfo() override;

private:
    void CreateControls();
    void Appear();
    void ShowProgress();

    UpdateCheck& check_;
    HWND text_ = nullptr;
    HWND bar_ = nullptr;
    HWND cancel_ = nullptr;
    std::wstring shownText_;
    bool ended_ = false;
};
