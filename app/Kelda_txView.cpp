#include "app/Kelda_txView.h"

#include "app/MainFrame.h"
#include "framework/Messages.h"
#include "settings/AppConfig.h"
#include "vpn/DialNotifier.h"

namespace {
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kLoginStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kPasswordStyle = kLoginStyle | ES_PASSWORD;
constexpr DWORD kCheckBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX;  // does not toggle itself
constexpr int kFieldLimit = 32;
constexpr int kCredentialBuffer = 50;

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

void CreateCheckBox(CheckBox& box, HWND parent, const RECT& rect, const wchar_t* caption, DWORD checked, int id) {
    box.Create(parent, rect, caption, kCheckBoxStyle);
    SendMessageW(box.Handle(), BM_SETCHECK, checked, 0);
    SetWindowLongPtrW(box.Handle(), GWLP_ID, id);
}
}  // namespace

bool CKelda_txView::ProcessWindowMessage(HWND /*window*/, UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = 0;
        return true;
    case WM_DESTROY:
        result = 1;
        return true;
    case WM_TIMER:
        OnTimer();
        result = 1;
        return true;
    case WM_GETMINMAXINFO:
        result = 1;
        return true;
    case WM_DIAL_STATE:
        OnDialState(wParam, lParam);
        result = 0;
        return true;
    case WM_ERASEBKGND:
        OnEraseBackground();
        result = 1;
        return true;
    case WM_COMMAND:
        if (HIWORD(wParam) != 0) return false;
        switch (LOWORD(wParam)) {
        case IDC_AUTOCONNECT:
            OnToggleOption(autoConnectBox, AppConfig.autoConnect);
            if (!AppConfig.autoConnect) StopRedial();
            break;
        case IDC_HIDE_ON_START:
            OnToggleOption(hideOnStartBox, AppConfig.hideOnStart);
            break;
        case IDC_CONNECT_BUTTON:
            OnConnectButton();
            break;
        case IDC_TOGGLE_HEIGHT:
            OnToggleHeight();
            break;
        case IDC_REFRESH_STATISTICS:
            OnRefreshStatistics();
            break;
        default:
            return false;
        }
        result = 0;
        return true;
    default:
        return false;
    }
}

void CKelda_txView::OnInitDialog() {
    lastShownState = -1;
    connection.AdoptConnection();

    // Creating the display starts its first statistics query, which answers later.
    statisticsDisplay.Create(hwnd_, Rect(5, 5, 200, 70), nullptr, kChildStyle);
    stateLabel.Create(hwnd_, Rect(5, 75, 200, 85), nullptr, kChildStyle);
    progressLabel.Create(hwnd_, Rect(5, 87, 200, 135), nullptr, kChildStyle);
    loginLabel.Create(hwnd_, Rect(5, 140, 50, 160), L"Логин", kChildStyle);

    loginEdit.Create(hwnd_, Rect(55, 140, 180, 160), nullptr, kLoginStyle);
    CreateCheckBox(autoConnectBox, hwnd_, Rect(190, 140, 310, 160), L"Автоподключение", AppConfig.autoConnect,
                   IDC_AUTOCONNECT);

    passwordLabel.Create(hwnd_, Rect(5, 165, 50, 185), L"Пароль", kChildStyle);
    passwordEdit.isPassword = true;
    passwordEdit.Create(hwnd_, Rect(55, 165, 180, 185), nullptr, kPasswordStyle);
    CreateCheckBox(hideOnStartBox, hwnd_, Rect(190, 165, 310, 185), L"При запуске в трей", AppConfig.hideOnStart,
                   IDC_HIDE_ON_START);

    SendMessageW(loginEdit.Handle(), EM_LIMITTEXT, kFieldLimit, 0);
    SetWindowTextW(loginEdit.Handle(), AppConfig.login);
    passwordEdit.maxLength = kFieldLimit;
    passwordEdit.text = AppConfig.password;

    if (AppConfig.autoConnect && !connection.IsConnected()) {
        redial.BeginAtStart();
        StartDial();
    }

    KillTimer(hwnd_, kStateTimerId);
    UpdateConnectionState();
    SetTimer(hwnd_, kStateTimerId, kStateTimerMs, nullptr);
}

void CKelda_txView::OnTimer() {
    KillTimer(hwnd_, kStateTimerId);
    UpdateConnectionState();
    KeepLineUp();
    SetTimer(hwnd_, kStateTimerId, kStateTimerMs, nullptr);
}

// The notifier's report of a dial, handled here on the view's own thread.
void CKelda_txView::OnDialState(WPARAM wParam, LPARAM lParam) {
    DialState dial = ReadDialState(wParam, lParam);
    // A dial let go of for a newer one has nothing to say about it. With none
    // held, a failed dial the tick has already let go still shows its error.
    if (connection.hrasconn && dial.handle != connection.hrasconn) return;
    // Asked before the connected state hides the frame.
    bool frameShown = IsWindowVisible(GetParent(hwnd_)) != FALSE;
    ShowDialState(progressLabel.Handle(), dial);
    if (dial.state == RASCS_Connected && redial.Connected() && !frameShown) TellFrame(kLineRestored, 0);
    if (dial.error != 0) DialFailed(dial.error);
}

// An account refused ends the retries and is always told; a failed retry only
// by the countdown that follows it.
void CKelda_txView::DialFailed(DWORD error) {
    bool refused = IsAccountRefusal(error);
    bool tell = refused || !redial.AttemptWasRetry();
    if (refused) {
        redial.Stop();
    } else {
        redial.AttemptFailed(GetTickCount());
    }
    if (tell) TellFrame(kDialFailed, error);
}

void CKelda_txView::LineDropped() {
    TellFrame(kLineDropped, 0);
    if (AppConfig.autoConnect) redial.BeginAfterDrop(GetTickCount());
}

void CKelda_txView::KeepLineUp() {
    if (!redial.Pursuing()) return;
    if (connection.IsConnected()) {
        // Adopted during a wait; our own dial's success comes with its report.
        if (redial.Waiting()) StopRedial();
        return;
    }
    DWORD now = GetTickCount();
    if (redial.Dialling()) {
        // A dial that ended without a report (hung up elsewhere) must not stall the retries.
        if (!connection.hrasconn) redial.AttemptFailed(now);
        return;
    }
    if (connection.hrasconn) return;  // a dial of the entry under way, adopted
    if (redial.Due(now)) {
        shownCountdown = 0;
        redial.AttemptStarted();
        StartDial();
        return;
    }
    DWORD seconds = redial.SecondsLeft(now);
    if (seconds == shownCountdown) return;
    wchar_t text[64];
    wsprintfW(text, L"Повторное подключение через %lu с", static_cast<unsigned long>(seconds));
    SetWindowTextW(progressLabel.Handle(), text);
    shownCountdown = seconds;
}

void CKelda_txView::StopRedial() {
    if (redial.Waiting()) SetWindowTextW(progressLabel.Handle(), L"");
    redial.Stop();
    shownCountdown = 0;
}

void CKelda_txView::OnPowerEvent(WPARAM event) {
    if (event == PBT_APMSUSPEND) {
        upBeforeSleep = connection.IsConnected() || redial.Pursuing();
        return;
    }
    if (event != PBT_APMRESUMEAUTOMATIC && event != PBT_APMRESUMESUSPEND) return;
    // Without the suspend notice (a critical suspend), the last shown state tells.
    bool wanted = upBeforeSleep || lastShownState == 1 || redial.Pursuing();
    upBeforeSleep = false;
    UpdateConnectionState();  // lets go of a line lost in sleep
    if (!wanted || !AppConfig.autoConnect || connection.hrasconn) return;  // up, or a dial under way
    shownCountdown = 0;
    redial.BeginAfterResume();
    StartDial();
}

void CKelda_txView::TellFrame(WPARAM how, DWORD error) {
    PostMessageW(GetParent(hwnd_), WM_CONNECTION_ENDED, how, static_cast<LPARAM>(error));
}

void CKelda_txView::OnEraseBackground() {
    WindowDC dc(hwnd_);
    RECT client{};
    GetClientRect(hwnd_, &client);
    PatBlt(dc.dc(), 0, 0, client.right, client.bottom, WHITENESS);
}

void CKelda_txView::OnToggleOption(CheckBox& box, DWORD& flag) {
    LRESULT state = SendMessageW(box.Handle(), BM_GETCHECK, 0, 0);
    flag = state == 0 ? 1 : 0;
    SendMessageW(box.Handle(), BM_SETCHECK, flag, 0);
}

void CKelda_txView::OnConnectButton() {
    wchar_t login[kCredentialBuffer] = {};
    wchar_t password[kCredentialBuffer] = {};
    GetWindowTextW(loginEdit.Handle(), login, kCredentialBuffer);
    passwordEdit.text.copy(password, kCredentialBuffer - 1);
    AppConfig.StoreCredentials(login, password);

    if (connection.IsConnected()) {
        DisconnectVpn();
    } else {
        ConnectVpn();
    }
    OnRefreshStatistics();
}

void CKelda_txView::ConnectVpn() {
    if (connection.IsConnected()) return;
    shownCountdown = 0;
    redial.AttemptStarted();
    StartDial();
}

void CKelda_txView::DisconnectVpn() {
    StopRedial();
    SetWindowTextW(progressLabel.Handle(), L"");
    if (connection.IsConnected()) HangUpAndShow();
}

void CKelda_txView::EndConnection() {
    StopRedial();
    connection.HangUpEverything();
    // The one wait for RAS on this thread; the notifier only posts to it, so
    // nothing here waits on anything that waits for us.
    connection.WaitForReleases(kExitReleaseWaitMs);
}

void CKelda_txView::StartDial() {
    dialStatusWindow = progressLabel.Handle();
    if (connection.Dial()) {
        lastShownState = -1;
        UpdateConnectionState();
    } else {
        DialFailed(connection.refusal);
    }
}

void CKelda_txView::HangUpAndShow() {
    lastShownState = -1;
    connection.HangUp();
    UpdateConnectionState();
}

void CKelda_txView::UpdateConnectionState() {
    int connected = connection.IsConnected() ? 1 : 0;
    if (!connection.IsConnected()) {
        // A dial that ended with an error still holds its port: let it go here,
        // on this thread, so the next dial starts clean (its error text stays).
        // Only ends nobody asked for come this way (a failed dial, or a dropped
        // line when the link was shown up): every hang-up asked for has already
        // taken its handle out of the connection. A line shown up has dropped.
        if (connection.ReleaseFailedDial() && lastShownState == 1) LineDropped();
        connection.AdoptConnection();  // shown at the next tick
    }
    // Hang-ups return at once; here, tick by tick, we learn RAS has closed their ports.
    connection.FinishReleases();
    if (connected != lastShownState) {
        SetDlgItemTextW(hwnd_, IDC_CONNECT_BUTTON, connected ? L"Отключиться" : L"Подключиться");
        if (stateLabel.IsWindow()) SetWindowTextW(stateLabel.Handle(), connected ? L"Соединено" : L"Не соединено");
    }
    lastShownState = connected;
}

void CKelda_txView::OnRefreshStatistics() {
    PostMessageW(statisticsDisplay.Handle(), WM_TIMER, CStateStatic::kRefreshTimerId, 0);
}

void CKelda_txView::OnToggleHeight() {
    HWND frame = GetParent(hwnd_);
    RECT rect{};
    GetWindowRect(frame, &rect);
    int height = (rect.bottom - rect.top) == kFrameHeight ? kFrameShortHeight : kFrameHeight;
    SetWindowPos(frame, nullptr, 0, 0, rect.right - rect.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}
