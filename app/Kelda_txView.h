#pragma once
#include "framework/Window.h"
#include "res/resource.h"

// The main view: the frame's client dialog.
class CKelda_txView : public CDialogImplBase {
public:
    CKelda_txView() : CDialogImplBase(IDD_KELDA_TX_FORM) {}
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // What the frame asks of the view's connection and balance display.
    bool IsLinkConnected();
    void ConnectVpn();
    void DisconnectVpn();
    float Balance() const;
};
