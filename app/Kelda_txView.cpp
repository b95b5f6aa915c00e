#include "app/Kelda_txView.h"

bool CKelda_txView::ProcessWindowMessage(HWND /*window*/, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/,
                                         LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = 0;
        return true;
    default:
        return false;
    }
}

// No VPN connection exists yet: the link always reads as not connected.
bool CKelda_txView::IsLinkConnected() { return false; }
void CKelda_txView::ConnectVpn() {}
void CKelda_txView::DisconnectVpn() {}
float CKelda_txView::Balance() const { return 0.0f; }
