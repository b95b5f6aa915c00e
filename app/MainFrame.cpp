#include "app/MainFrame.h"

#include <shellapi.h>

#include <cstdio>

#include "app/AboutDlg.h"
#include "framework/AppModule.h"
#include "framework/Messages.h"
#include "framework/StructureSizes.h"
#include "res/resource.h"
#include "settings/AppConfig.h"
#include "text/FixedText.h"
#include "vpn/DialNotifier.h"

static_assert(sizeof(NOTIFYICONDATAW) == kNotifyIconDataSize, "tray calls pass the XP-generation structure");

namespace {
constexpr UINT kIconTimerId = 1;
constexpr UINT kIconTimerMs = 300;
constexpr UINT kBalloonMs = 10000;  // the shortest time the shell keeps a balloon up
constexpr wchar_t kDialFailedText[] = L"Не удалось подключиться";

// The first line's terminator stands for the line break; the error text's for the balloon's.
static_assert(ARRAYSIZE(kDialFailedText) + kDialErrorTextChars <= sizeof(NOTIFYICONDATAW::szInfo) / sizeof(wchar_t),
              "a dial's error text fits the balloon whole, after its first line");
}  // namespace

RECT FrameRectFromWorkArea(const RECT& workArea) {
    RECT rect = workArea;
    rect.left = rect.right - kFrameWidth;
    rect.top = rect.bottom - kFrameHeight;
    return rect;
}

UniqueMenu LoadTrayMenu(bool frameVisible, bool connected) {
    UniqueMenu menu(LoadMenuW(appModule.GetModuleInstance(), MAKEINTRESOURCEW(IDR_TRAYMENU)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (popup) {
        DeleteMenu(popup, frameVisible ? ID_TRAY_RESTORE : ID_TRAY_MINIMIZE, MF_BYCOMMAND);
        DeleteMenu(popup, connected ? ID_TRAY_CONNECT : ID_TRAY_DISCONNECT, MF_BYCOMMAND);
    }
    return menu;
}

WindowClassInfo& CMainFrame::GetWndClassInfo() {
    static WindowClassInfo info{kFrameClassName, 0, IDR_MAINFRAME};
    return info;
}

HWND CMainFrame::CreateFrame(const RECT& rect) {
    HINSTANCE instance = appModule.GetModuleInstance();
    wchar_t title[64] = {};
    LoadStringW(instance, IDR_MAINFRAME, title, 64);
    UniqueMenu menu(LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME)));
    HWND window = Create(nullptr, rect, title, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                         WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, menu.get());
    if (!window) return nullptr;
    menu.release();  // the window's now, destroyed with it
    accelerators_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    return window;
}

bool CMainFrame::PreTranslateMessage(MSG* msg) {
    if (accelerators_ && TranslateAcceleratorW(hwnd_, accelerators_, msg)) return true;
    return view.Handle() && IsDialogMessageW(view.Handle(), msg);
}

bool CMainFrame::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (taskbarCreatedMessage && message == taskbarCreatedMessage) {
        // The shell restarted: the notification area forgot our icon.
        AddTrayIcon(connectedIconShown ? connectedIcon.get() : disconnectedIcon.get(), TRAY_ICON_ID,
                    trayTip.c_str());
        result = 0;
        return true;
    }
    switch (message) {
    case WM_STATISTICS_UPDATED:
        ShowBalanceTip();
        result = 1;
        return true;
    case WM_TIMER:
        OnIconTimer();
        result = 1;
        return true;
    case WM_CREATE:
        result = OnCreate();
        return true;
    case WM_CLOSE:
        if (wParam == 1) return false;  // the real exit: default processing destroys the window
        ShowWindow(window, SW_HIDE);
        result = 1;
        return true;
    case WM_DESTROY:
        OnDestroy();
        return CFrameWindowImplBase::ProcessWindowMessage(window, message, wParam, lParam, result);
    case WM_TRAY_NOTIFY:
        OnTrayNotify(wParam, lParam);
        result = 1;
        return true;
    case WM_ENDSESSION:
        // Windows is logging off or shutting down and will not let the loop end
        // normally: do now what the normal exit does after the loop.
        if (wParam) {
            ShowWindow(window, SW_HIDE);
            view.statisticsDisplay.StopQuery();
            view.EndConnection();
            AppConfig.SaveSettings();
        }
        result = 0;
        return true;
    case WM_POWERBROADCAST:
        view.OnPowerEvent(wParam);
        result = TRUE;
        return true;
    case WM_CONNECTION_ENDED:
        OnConnectionEnded(wParam, static_cast<DWORD>(lParam));
        result = 0;
        return true;
    case WM_LEAVE_FOR_UPGRADE:
        // The installer replaces this copy and starts the new version, which adopts the line.
        leavingForUpgrade = true;
        PostMessageW(window, WM_CLOSE, 1, 0);
        result = 1;
        return true;
    case WM_BRING_TO_FRONT:
        // A second start of the program asks for this copy's window.
        Restore();
        result = 1;
        return true;
    case WM_SIZE:
        // Never passed on, so the view keeps the size of its template.
        if (wParam == SIZE_MINIMIZED) ShowWindow(window, SW_HIDE);
        result = 0;
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ID_APP_EXIT:
            PostMessageW(window, WM_CLOSE, 0, 0);  // hides only
            result = 0;
            return true;
        case ID_FILE_NEW:
            result = 0;
            return true;
        case ID_APP_ABOUT: {
            CAboutDlg about;
            about.DoModal(GetActiveWindow());
            result = 0;
            return true;
        }
        default:
            break;
        }
        break;
    default:
        break;
    }
    return CFrameWindowImplBase::ProcessWindowMessage(window, message, wParam, lParam, result);
}

LRESULT CMainFrame::OnCreate() {
    connectedIconShown = 0;
    std::wstring caption = AppConfig.programName + L" " + AppConfig.version;
    SetWindowTextW(hwnd_, caption.c_str());

    client_ = view.Create(hwnd_);

    if (CMessageLoop* loop = appModule.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }

    // Loaded at the small-icon size the notification area draws, as owned copies.
    HINSTANCE instance = appModule.GetModuleInstance();
    int size = GetSystemMetrics(SM_CXSMICON);
    disconnectedIcon.reset(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    connectedIcon.reset(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_CONNECTED), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));

    taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    // A window just made has no icon to modify: add it at once, without the
    // failing modification that would cost a round trip to the shell at start-up.
    NOTIFYICONDATAW data = WholeTrayData(disconnectedIcon.get(), TRAY_ICON_ID, L"SomeMessage");
    Shell_NotifyIconW(NIM_ADD, &data);
    SetTimer(hwnd_, kIconTimerId, kIconTimerMs, nullptr);
    return 0;
}

void CMainFrame::OnDestroy() {
    if (CMessageLoop* loop = appModule.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    NOTIFYICONDATAW data = TrayData(TRAY_ICON_ID, 0);
    Shell_NotifyIconW(NIM_DELETE, &data);
    disconnectedIcon.reset();
    connectedIcon.reset();
    // Nothing of ours may outlive the process, a dial in progress included.
    // DestroyWindow has hidden the window and the icon is gone, so the bounded
    // wait for RAS here freezes nothing the user sees. An upgrade keeps an
    // established line for the new version; a dial still under way goes.
    if (!leavingForUpgrade || !view.connection.IsConnected()) view.EndConnection();
}

NOTIFYICONDATAW CMainFrame::TrayData(UINT id, UINT flags) const {
    NOTIFYICONDATAW data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    data.uID = id;
    data.uFlags = flags;
    return data;
}

NOTIFYICONDATAW CMainFrame::WholeTrayData(HICON icon, UINT id, const wchar_t* tip) {
    NOTIFYICONDATAW data = TrayData(id, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = id;
    data.hIcon = icon;
    CopyFixedText(data.szTip, tip);
    trayTip = data.szTip;
    return data;
}

bool CMainFrame::AddTrayIcon(HICON icon, UINT id, const wchar_t* tip) {
    NOTIFYICONDATAW data = WholeTrayData(icon, id, tip);
    if (Shell_NotifyIconW(NIM_MODIFY, &data)) return true;
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

bool CMainFrame::SetTrayIcon(UINT id, HICON icon) {
    NOTIFYICONDATAW data = TrayData(id, NIF_ICON);
    data.hIcon = icon;
    if (Shell_NotifyIconW(NIM_MODIFY, &data)) return true;
    // The icon is gone (the shell restarted): add it whole, so it still answers the mouse.
    data = WholeTrayData(icon, id, trayTip.c_str());
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void CMainFrame::ShowBalanceTip() {
    wchar_t amount[30] = {};
    swprintf(amount, 30, L"%.2f", static_cast<double>(view.statisticsDisplay.balance));
    std::wstring tip = std::wstring(L"Текущий баланс: ") + amount;
    NOTIFYICONDATAW data = TrayData(TRAY_ICON_ID, NIF_TIP);
    CopyFixedText(data.szTip, tip.c_str());
    if (Shell_NotifyIconW(NIM_MODIFY, &data)) trayTip = data.szTip;
}

// A dial that fails under the user's eyes is told by the progress line; a
// dropped line is news whether the window is up or not; a line that came back
// by itself is told only when the view saw the window hidden.
void CMainFrame::OnConnectionEnded(WPARAM how, DWORD error) {
    if (how == kLineDropped) {
        ShowBalloon(L"Соединение разорвано");
    } else if (how == kLineRestored) {
        ShowBalloon(L"Соединение восстановлено");
    } else if (how == kDialFailed && !IsWindowVisible(hwnd_)) {
        std::wstring reason = DialErrorText(error);
        ShowBalloon(reason.empty() ? std::wstring(kDialFailedText) : kDialFailedText + (L"\n" + reason));
    }
}

void CMainFrame::ShowBalloon(const std::wstring& text) {
    NOTIFYICONDATAW data = TrayData(TRAY_ICON_ID, NIF_INFO);
    CopyFixedText(data.szInfo, text.c_str());
    CopyFixedText(data.szInfoTitle, AppConfig.programName.c_str());
    data.uTimeout = kBalloonMs;
    data.dwInfoFlags = NIIF_INFO;
    // A shell without balloons, or without our icon, simply shows nothing.
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void CMainFrame::OnIconTimer() {
    KillTimer(hwnd_, kIconTimerId);
    if (view.connection.IsConnected()) {
        if (connectedIconShown == 0) {
            SetTrayIcon(TRAY_ICON_ID, connectedIcon.get());
            connectedIconShown = 1;
        }
    } else if (connectedIconShown == 1) {
        SetTrayIcon(TRAY_ICON_ID, disconnectedIcon.get());
        connectedIconShown = 0;
    }
    SetTimer(hwnd_, kIconTimerId, kIconTimerMs, nullptr);
}

void CMainFrame::OnTrayNotify(WPARAM id, LPARAM mouseMessage) {
    if (id != TRAY_ICON_ID) return;
    switch (static_cast<UINT>(mouseMessage)) {
    case WM_RBUTTONDOWN:
        ShowTrayMenu();
        break;
    case WM_LBUTTONDOWN:
        if (IsWindowVisible(hwnd_)) {
            ShowWindow(hwnd_, SW_HIDE);
        } else {
            Restore();
        }
        break;
    case NIN_BALLOONUSERCLICK:
        Restore();
        break;
    default:
        break;
    }
}

void CMainFrame::ShowTrayMenu() {
    UniqueMenu menu = LoadTrayMenu(IsWindowVisible(hwnd_) != FALSE, view.connection.IsConnected());
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    if (!popup) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(hwnd_);
    UINT command = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY | TPM_BOTTOMALIGN | TPM_RIGHTALIGN,
                                  cursor.x, cursor.y, 0, hwnd_, nullptr);
    switch (command) {
    case ID_TRAY_EXIT:
        PostMessageW(hwnd_, WM_CLOSE, 1, 0);
        break;
    case ID_TRAY_MINIMIZE:
        ShowWindow(hwnd_, SW_HIDE);
        break;
    case ID_TRAY_RESTORE:
        Restore();
        break;
    case ID_TRAY_CONNECT:
        view.ConnectVpn();
        break;
    case ID_TRAY_DISCONNECT:
        view.DisconnectVpn();
        break;
    default:
        break;
    }
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void CMainFrame::Restore() {
    ShowWindow(hwnd_, SW_SHOW);
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
}
