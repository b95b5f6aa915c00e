#pragma once
#include <windows.h>

#include <string>

#include "app/Kelda_txView.h"
#include "framework/MessageLoop.h"
#include "framework/Messages.h"
#include "framework/UniqueHandle.h"
#include "framework/Window.h"

// The frame sits in this corner of the work area, at this size.
constexpr int kFrameWidth = 330;
constexpr int kFrameHeight = 255;
constexpr int kFrameShortHeight = 175;  // the view's hidden height toggle's other height
RECT FrameRectFromWorkArea(const RECT& workArea);

// Loads the tray menu and leaves exactly one item of each pair in its pop-up.
UniqueMenu LoadTrayMenu(bool frameVisible, bool connected);

// The program's only top-level window; it owns the tray icon.
class CMainFrame : public CFrameWindowImplBase, public CMessageFilter, public CIdleHandler {
public:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    ~CMainFrame() override = default;

    HWND CreateFrame(const RECT& rect);

    bool PreTranslateMessage(MSG* msg) override;
    bool OnIdle() override { return false; }

    bool AddTrayIcon(HICON icon, UINT id, const wchar_t* tip);
    bool SetTrayIcon(UINT id, HICON icon);
    void ShowBalanceTip();

    CKelda_txView view;
    int connectedIconShown = 0;

protected:
    WindowClassInfo& GetWndClassInfo() override;

private:
    LRESULT OnCreate();
    void OnDestroy();
    void OnIconTimer();
    void OnTrayNotify(WPARAM id, LPARAM mouseMessage);
    void OnConnectionEnded(WPARAM how, DWORD error);
    // A balloon from the tray icon with the info icon, titled with the program's name.
    void ShowBalloon(const std::wstring& text);
    void ShowTrayMenu();
    void Restore();
    NOTIFYICONDATAW TrayData(UINT id, UINT flags) const;
    // Icon, callback message and tip: what the mouse and the tip need.
    NOTIFYICONDATAW WholeTrayData(HICON icon, UINT id, const wchar_t* tip);

    UniqueIcon disconnectedIcon;
    UniqueIcon connectedIcon;
    std::wstring trayTip;       // kept so a re-added icon shows the same tip
    UINT taskbarCreatedMessage = 0;
    bool leavingForUpgrade = false;  // the new version adopts the connection: no hang-up
};
