#include "controls/FontCarryingControl.h"

bool FontCarryingControl::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               LRESULT& result) {
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
