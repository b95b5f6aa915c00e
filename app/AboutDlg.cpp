#include "app/AboutDlg.h"

namespace {
void CenterOverParent(HWND window) {
    HWND parent = GetParent(window);
    RECT area{};
    if (parent) {
        GetWindowRect(parent, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own{};
    GetWindowRect(window, &own);
    int width = own.right - own.left, height = own.bottom - own.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

bool CAboutDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        CenterOverParent(window);
        result = 1;
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            result = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}
