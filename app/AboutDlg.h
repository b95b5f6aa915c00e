#pragma once
#include "framework/Window.h"
#include "res/resource.h"

// The modal About box.
class CAboutDlg : public CDialogImplBase {
public:
    CAboutDlg() : CDialogImplBase(IDD_ABOUTBOX) {}
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};
