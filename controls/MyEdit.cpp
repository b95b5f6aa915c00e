#include "controls/MyEdit.h"

#include <cstring>

#include "controls/ControlFonts.h"

namespace {
BOOL CloseOpenClipboard(bool /*open*/) { return CloseClipboard(); }
}  // namespace

bool IsTypableCharacter(wchar_t character) {
    WORD type = 0;
    if (!GetStringTypeW(CT_CTYPE1, &character, 1, &type)) return false;
    return (type & (C1_ALPHA | C1_UPPER | C1_LOWER | C1_DIGIT)) != 0;
}

WindowClassInfo& MyEdit::GetWndClassInfo() {
    static WindowClassInfo info{nullptr, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS};
    return info;
}

bool MyEdit::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_CREATE:
        result = OnCreate(wParam, lParam);
        return true;
    case WM_PAINT:
        result = OnPaint(reinterpret_cast<HDC>(wParam));
        return true;
    case WM_LBUTTONDOWN:
        SetCursor(cursor);
        RedrawNow(window);
        SetFocus(window);
        result = 0;
        return true;
    case WM_MOUSEMOVE:
        SetCursor(cursor);
        result = 0;
        return true;
    case WM_SETTEXT: {
        // Owners may set any text; only typing and paste keep to maxLength.
        const wchar_t* newText = reinterpret_cast<const wchar_t*>(lParam);
        text = newText ? newText : L"";
        RedrawNow(window);
        result = 1;
        return true;
    }
    case WM_SETFOCUS:
        OnSetFocus();
        result = 0;
        return true;
    case WM_KILLFOCUS:
        DestroyCaret();
        RedrawNow(window);
        result = 0;
        return true;
    case WM_CHAR:
        OnChar(static_cast<wchar_t>(wParam));
        result = 0;
        return true;
    case WM_KEYDOWN:
        OnKeyDown(wParam);
        result = 0;
        return true;
    case WM_DESTROY:
        font.reset();
        result = 1;
        return true;
    case WM_GETDLGCODE:
        // Tab and Enter come here too, so the dialog never moves the focus away on them.
        result = DLGC_WANTALLKEYS;
        return true;
    default:
        return false;
    }
}

LRESULT MyEdit::OnCreate(WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefaultProcedure(WM_CREATE, wParam, lParam);
    font = CreateInputFont();
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    cursor = LoadCursorW(nullptr, IDC_IBEAM);
    return result;
}

std::wstring MyEdit::ShownText() const {
    // Beyond what the buffer takes, the end of the text is shown: that is where editing happens.
    size_t capacity = kShownCapacity - 1;
    std::wstring shown = text.size() > capacity ? text.substr(text.size() - capacity) : text;
    if (isPassword) shown.assign(shown.size(), L'*');
    return shown;
}

void MyEdit::PlaceCaret() {
    std::wstring shown = ShownText();
    SIZE extent{};
    {
        WindowDC windowDc(hwnd_);
        if (!windowDc.dc()) return;
        // Measured in the font the text is drawn in, so the caret meets the last character.
        SelectObjectGuard selected(windowDc.dc(), font ? font.get() : GetCurrentObject(windowDc.dc(), OBJ_FONT));
        GetTextExtentPoint32W(windowDc.dc(), shown.c_str(), static_cast<int>(shown.size()), &extent);
    }
    SetCaretPos(extent.cx + 1, 3);
}

void MyEdit::Paint(HDC dc, const RECT& client) {
    std::wstring shown = ShownText();
    RECT area = client;
    area.left += 1;
    area.top += 1;
    area.right -= 2;
    area.bottom -= 2;
    SetTextColor(dc, RGB(0, 0, 0));
    SelectObjectGuard selected(dc, font ? font.get() : GetCurrentObject(dc, OBJ_FONT));
    DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &area, DT_SINGLELINE | DT_VCENTER);
}

LRESULT MyEdit::OnPaint(HDC given) {
    LRESULT painted = PaintClient(*this, hwnd_, given);
    if (painted) ShowCaret(hwnd_);
    return painted;
}

void MyEdit::OnSetFocus() {
    RECT client{};
    GetClientRect(hwnd_, &client);
    CreateCaret(hwnd_, nullptr, 1, client.bottom - client.top - 6);
    PlaceCaret();
    ShowCaret(hwnd_);
}

void MyEdit::OnChar(wchar_t character) {
    if (!IsTypableCharacter(character)) return;
    if (text.size() >= Limit()) return;
    text.push_back(character);
    PlaceCaret();
    RedrawNow(hwnd_);
}

void MyEdit::OnKeyDown(WPARAM key) {
    if (key == VK_BACK) {
        if (text.empty()) return;
        text.pop_back();
        PlaceCaret();
        RedrawNow(hwnd_);
    } else if (key == 'V' && (GetKeyState(VK_CONTROL) & 0x8000)) {
        PasteFromClipboard();
    }
}

void MyEdit::PasteFromClipboard() {
    {
        // Closed, and the text unlocked first, on every path.
        UniqueHandle<bool, CloseOpenClipboard> clipboard(OpenClipboard(hwnd_) != FALSE);
        HGLOBAL memory = clipboard ? GetClipboardData(CF_TEXT) : nullptr;
        const char* data = memory ? static_cast<const char*>(GlobalLock(memory)) : nullptr;
        UniqueHandle<HGLOBAL, GlobalUnlock> locked(data ? memory : nullptr);
        if (data) {
            // Never read past the block, even when its text lacks the terminator.
            size_t length = strnlen(data, GlobalSize(memory));
            if (length > Limit()) length = Limit();
            const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
            // Byte for byte: each byte becomes the character of the same code.
            text.assign(bytes, bytes + length);
        }
    }
    PlaceCaret();
    RedrawNow(hwnd_);
}
