#include "ControlTestSupport.h"

namespace {
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
