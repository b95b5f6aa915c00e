#include "support/ControlTestSupport.h"

namespace {
const wchar_t kCounterProperty[] = L"KeldaMessageCounter";

int CALLBACK Record(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
    auto* paints = reinterpret_cast<PaintRecord*>(data);
    if (record->iType == EMR_EXTCREATEFONTINDIRECTW) {
        const LOGFONTW& font = reinterpret_cast<const EMREXTCREATEFONTINDIRECTW*>(record)->elfw.elfLogFont;
        paints->fontHeights.push_back(font.lfHeight);
        paints->allBoldArial &= font.lfWeight == FW_BOLD && std::wstring(font.lfFaceName) == L"Arial";
    } else if (record->iType == EMR_EXTTEXTOUTW) {
        const auto* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
        const auto* chars = reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(record) + text->emrtext.offString);
        paints->texts.emplace_back(chars, text->emrtext.nChars);
    }
    paints->deleted += record->iType == EMR_DELETEOBJECT;
    paints->stockSelected += record->iType == EMR_SELECTOBJECT &&
                             (reinterpret_cast<const EMRSELECTOBJECT*>(record)->ihObject & 0x80000000u) != 0;
    return 1;
}
}  // namespace

TestHost::TestHost() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"KeldaControlTestHost";
    RegisterClassExW(&wc);  // fails harmlessly from the second host on
    window_ = CreateWindowExW(0, wc.lpszClassName, L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 1000,
                              700, nullptr, nullptr, wc.hInstance, nullptr);
    PumpMessagesFor(0);
}

bool Capture::IsInk(int x, int y) const {
    uint32_t pixel = pixels[static_cast<size_t>(y) * width + x];
    return ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF) < 3 * 160;
}

int Capture::InkInRows(int top, int bottom) const {
    int count = 0;
    for (int y = top; y < bottom && y < height; ++y)
        for (int x = 0; x < width; ++x) count += IsInk(x, y);
    return count;
}

bool Capture::ColumnHasInk(int x) const {
    for (int y = 0; y < height; ++y)
        if (IsInk(x, y)) return true;
    return false;
}

int Capture::RightmostInk() const {
    for (int x = width - 1; x >= 0; --x)
        if (ColumnHasInk(x)) return x;
    return -1;
}

Capture PaintIntoMemory(HWND control) {
    RECT client{};
    GetClientRect(control, &client);
    Capture capture;
    capture.width = client.right;
    capture.height = client.bottom;

    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, capture.width, -capture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, capture.width, capture.height, WHITENESS);

    InvalidateRect(control, nullptr, FALSE);  // the controls paint only with an update region
    SendMessageW(control, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    ValidateRect(control, nullptr);
    GdiFlush();

    const uint32_t* first = static_cast<const uint32_t*>(bits);
    capture.pixels.assign(first, first + static_cast<size_t>(capture.width) * capture.height);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return capture;
}

PaintRecord RecordPaints(HWND control, int paints) {
    HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < paints; ++i) {
        InvalidateRect(control, nullptr, FALSE);
        SendMessageW(control, WM_PAINT, reinterpret_cast<WPARAM>(recorder), 0);
    }
    ValidateRect(control, nullptr);
    HENHMETAFILE recording = CloseEnhMetaFile(recorder);
    PaintRecord record;
    EnumEnhMetaFile(nullptr, recording, Record, &record, nullptr);
    DeleteEnhMetaFile(recording);
    return record;
}

int TextWidth(HFONT font, const std::wstring& text, TEXTMETRICW* metrics) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (metrics) GetTextMetricsW(dc, metrics);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return size.cx;
}

void PumpMessagesFor(DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

MessageCounter::MessageCounter(HWND window) : window_(window) {
    SetPropW(window_, kCounterProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageCounter::CountingProc)));
}

MessageCounter::~MessageCounter() {
    if (!IsWindow(window_)) return;
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropW(window_, kCounterProperty);
}

int MessageCounter::Count(UINT message) const {
    int count = 0;
    for (UINT received : received_) count += received == message;
    return count;
}

LRESULT CALLBACK MessageCounter::CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<MessageCounter*>(GetPropW(window, kCounterProperty));
    self->received_.push_back(message);
    return CallWindowProcW(self->original_, window, message, wParam, lParam);
}
