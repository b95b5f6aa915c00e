#include "controls/StaticSimple.h"

#include "controls/ControlFonts.h"
#include "framework/UniqueHandle.h"

WindowClassInfo& CStaticSimple::GetWndClassInfo() {
    static WindowClassInfo info{L"staticclass", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS};
    return info;
}

bool CStaticSimple::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        result = 0;
        return true;
    case WM_DESTROY:
        result = 1;
        return true;
    case WM_PAINT:
        result = PaintClient(*this, window, reinterpret_cast<HDC>(wParam));
        return true;
    case WM_SETTEXT:
        // This redraw still shows the old text; the timer's redraw shows the new one.
        // A burst of changes keeps restarting the timer and ends in one redraw.
        RedrawNow(window);
        SetTimer(window, kRedrawTimerId, kRedrawDelayMs, nullptr);
        result = DefWindowProcW(window, message, wParam, lParam);
        return true;
    case WM_TIMER:
        KillTimer(window, kRedrawTimerId);
        RedrawNow(window);
        result = 1;
        return true;
    default:
        return false;
    }
}

void CStaticSimple::Paint(HDC dc, const RECT& client) {
    UniqueFont font = CreateCaptionFont();
    wchar_t buffer[kTextCapacity] = {};
    int length = GetWindowTextW(hwnd_, buffer, kTextCapacity);
    RECT area = client;
    // Put back before the font goes, so its deletion cannot fail on a selected object.
    SelectObjectGuard selected(dc, font.get());
    DrawTextW(dc, buffer, length, &area, DT_NOPREFIX | DT_WORDBREAK);
}
