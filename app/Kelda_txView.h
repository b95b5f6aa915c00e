#pragma once
#include "controls/CheckBox.h"
#include "controls/Edit.h"
#include "controls/MyEdit.h"
#include "controls/StaticSimple.h"
#include "framework/Window.h"
#include "res/resource.h"
#include "stats/StateStatic.h"
#include "vpn/RasConnection.h"
#include "vpn/RedialSchedule.h"

// The main view: the frame's client dialog. It shows the balance, the link
// state and the dial progress, holds the login and password fields and the two
// options, and dials or hangs up the program's VPN connection. With the
// auto-connect option it also keeps the line up: a line that drops, a failed
// automatic dial at start and a line lost in sleep are dialled again on
// `redial`'s schedule, driven by the 100 ms tick.
class CKelda_txView : public CDialogImplBase {
public:
    static constexpr UINT kStateTimerId = 1;
    static constexpr UINT kStateTimerMs = 100;
    // How long the program's end waits for RAS to close the ports it hung up.
    static constexpr DWORD kExitReleaseWaitMs = 3000;

    CKelda_txView() : CDialogImplBase(IDD_KELDA_TX_FORM) {}
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // Dials with the credentials already stored in AppConfig, unless connected;
    // during a wait for a retry, that retry at once.
    void ConnectVpn();
    // Clears the progress text and hangs up when connected; no retry follows.
    void DisconnectVpn();
    // For the program's end, with the window hidden: hangs up the connection or
    // the dial in progress and waits (bounded) until RAS has closed their ports.
    void EndConnection();
    // The frame's WM_POWERBROADCAST: a line lost in sleep is dialled at once on waking.
    void OnPowerEvent(WPARAM event);
    // Keeps the button caption and the state line in step with RAS, and adopts
    // a connection of the program's entry started elsewhere.
    void UpdateConnectionState();

    RasConnection connection;
    CStateStatic statisticsDisplay;
    CStaticSimple progressLabel;
    CStaticSimple stateLabel;
    CStaticSimple loginLabel;
    CStaticSimple passwordLabel;
    Edit loginEdit;
    MyEdit passwordEdit;
    CheckBox autoConnectBox;
    CheckBox hideOnStartBox;
    int lastShownState = -1;  // 1 connected, 0 not, -1 to be redone
    RedialSchedule redial;

private:
    void OnInitDialog();
    void OnTimer();
    void OnDialState(WPARAM wParam, LPARAM lParam);
    void OnEraseBackground();
    void OnToggleOption(CheckBox& box, DWORD& flag);
    void OnConnectButton();
    void OnToggleHeight();
    void OnRefreshStatistics();
    void StartDial();
    void HangUpAndShow();
    void DialFailed(DWORD error);
    void LineDropped();
    // On the tick: a retry when due, else the countdown in the progress label.
    void KeepLineUp();
    void StopRedial();
    // A dial failed or the line dropped, nobody asking: the frame tells it from the tray.
    void TellFrame(WPARAM how, DWORD error);

    DWORD shownCountdown = 0;     // the seconds the progress label shows; 0: none shown
    bool upBeforeSleep = false;   // connected, or meant to be, when Windows went to sleep
};
