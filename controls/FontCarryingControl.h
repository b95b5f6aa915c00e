#pragma once
#include <windows.h>

#include "framework/UniqueHandle.h"
#include "framework/Window.h"

// A superclassed system control that draws in a font of its own: made at
// WM_CREATE, handed to the control with WM_SETFONT, deleted once at WM_DESTROY.
// Everything else is the system control's own behaviour.
class FontCarryingControl : public CWindowImplBase {
public:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    ~FontCarryingControl() override = default;

    UniqueFont font;

protected:
    virtual UniqueFont MakeFont() = 0;
};
