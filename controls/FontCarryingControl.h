#pragma once
#include <windows.h>

#include "framework/UniqueHandle.h"
#include "framework/Window.h"

// A superclass of the system control `SystemClass` that draws in the font
// `MakeFont` makes: made at WM_CREATE, handed to the control with WM_SETFONT,
// deleted once at WM_DESTROY. Everything else is the system control's own
// behaviour.
template <const wchar_t* SystemClass, UniqueFont (*MakeFont)()>
class FontCarryingControl : public CWindowImplBase {
public:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (message) {
        case WM_CREATE:
            // The system control sets itself up first; only then can it take a font.
            result = DefaultProcedure(message, wParam, lParam);
            font = MakeFont();
            SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
            return true;
        case WM_DESTROY:
            // Kept when the deletion fails, so the destructor can still try.
            if (font && DeleteObject(font.get())) font.release();
            result = 1;
            return true;
        default:
            return false;
        }
    }

    UniqueFont font;

protected:
    WindowClassInfo& GetWndClassInfo() override {
        static WindowClassInfo info{nullptr, 0, 0, SystemClass};
        return info;
    }
};
