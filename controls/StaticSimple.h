#pragma once
#include <windows.h>

#include "framework/Window.h"

// A label that paints its window text word-wrapped in 12-pixel bold Arial.
// A new text is painted by a second redraw 200 ms after the last change.
class CStaticSimple : public CWindowImplBase {
public:
    static constexpr UINT kRedrawTimerId = 1;
    static constexpr UINT kRedrawDelayMs = 200;
    // Window text read for painting: 255 characters and the terminator.
    static constexpr int kTextCapacity = 256;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    ~CStaticSimple() override = default;

    // Draws the window text into `client`; the font lives only for this call.
    void Paint(HDC dc, const RECT& client);

protected:
    WindowClassInfo& GetWndClassInfo() override;
};
