#pragma once
#include <windows.h>

#include <string>

#include "framework/UniqueHandle.h"
#include "framework/Window.h"

// A single-line input that draws its own text: letters and digits from the
// keyboard, Backspace, Ctrl+V replacing the whole content, optional masking.
// Editing always happens at the end of the text; there is no selection.
class MyEdit : public CWindowImplBase {
public:
    // What painting and caret placement can hold: 255 characters and the terminator.
    static constexpr size_t kShownCapacity = 256;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    ~MyEdit() override = default;

    // Moves the caret behind the last shown character.
    void PlaceCaret();
    // Replaces the whole text with the clipboard's 8-bit text, up to maxLength characters.
    void PasteFromClipboard();
    // Draws the shown text into `client`, the control's client rectangle on `dc`.
    void Paint(HDC dc, const RECT& client);
    // What painting draws: at most the last 255 characters, masked when isPassword is set.
    std::wstring ShownText() const;

    UniqueFont font;            // 15-pixel Courier New, from WM_CREATE to WM_DESTROY
    bool isPassword = false;
    int maxLength = 250;        // the most that typing and paste accept
    std::wstring text;          // the content; owners read and assign it directly
    HCURSOR cursor = nullptr;   // the I-beam, a shared system cursor

protected:
    WindowClassInfo& GetWndClassInfo() override;

private:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(HDC given);
    void OnSetFocus();
    void OnChar(wchar_t character);
    void OnKeyDown(WPARAM key);
    size_t Limit() const { return maxLength > 0 ? static_cast<size_t>(maxLength) : 0; }
};

// The typing rule: letters (Cyrillic included) and digits by the system's
// Unicode classification.
bool IsTypableCharacter(wchar_t character);
