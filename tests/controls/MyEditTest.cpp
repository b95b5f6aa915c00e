#include <gtest/gtest.h>

#include <string>

#include "controls/ControlFonts.h"
#include "controls/MyEdit.h"
#include "ControlTestSupport.h"

namespace {
class MyEditTest : public testing::Test {
protected:
    void SetUp() override {
        edit.maxLength = 32;  // as the main view makes its password field
        ASSERT_TRUE(edit.Create(host.Handle(), RECT{55, 165, 180, 185}, nullptr, 0x508100A0));
    }
    void Type(const std::wstring& characters) {
        for (wchar_t c : characters) SendMessageW(edit.Handle(), WM_CHAR, c, 1);
    }
    void PressKey(WPARAM key, bool control = false) {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        SendMessageW(edit.Handle(), WM_KEYDOWN, key, 1);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
    // The shown text and whether the caret stands right behind it, measured in the input font.
    std::wstring ShownWithCaretBehind() {
        std::vector<std::wstring> texts = RecordPaints(edit.Handle()).texts;
        std::wstring shown = texts.empty() ? L"" : texts[0];
        HDC dc = CreateCompatibleDC(nullptr);
        UniqueFont font = CreateInputFont();
        SelectObject(dc, font.get());
        SIZE size{};
        GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
        DeleteDC(dc);
        POINT caret{};
        GetCaretPos(&caret);
        return caret.x == size.cx + 1 && texts.size() == 1 ? shown : L"caret misplaced: " + shown;
    }
    TestWindow host;
    MyEdit edit;
};
}  // namespace

TEST_F(MyEditTest, TypingTakesLettersAndDigitsUpToTheLimitAndBackspaceTakesTheLast) {
    Type(L"a7\u0416\u0451 !_\t\r\x16\x08-Z");
    EXPECT_EQ(edit.text, L"a7\u0416\u0451Z");
    Type(std::wstring(40, L'x'));
    EXPECT_EQ(edit.text, L"a7\u0416\u0451Z" + std::wstring(27, L'x'));
    PressKey(VK_BACK);
    EXPECT_EQ(edit.text, L"a7\u0416\u0451Z" + std::wstring(26, L'x'));
}

TEST_F(MyEditTest, CtrlVReplacesEverythingWithTheClipboardBytesUpToTheLimit) {
    auto paste = [&](const std::string& bytes) {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        if (!bytes.empty()) {
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
            memcpy(GlobalLock(memory), bytes.c_str(), bytes.size() + 1);
            GlobalUnlock(memory);
            SetClipboardData(CF_TEXT, memory);
        }
        CloseClipboard();
        SetWindowTextW(edit.Handle(), L"old");
        PressKey('V');
        EXPECT_EQ(edit.text, L"old") << "V without Ctrl";
        PressKey('V', true);
    };
    // What typing refuses, and bytes that a code page would turn into other characters.
    std::string bytes = "pass word!_\x80\xC0";
    paste(bytes + std::string(40 - bytes.size(), 'k'));
    std::wstring expected = L"pass word!_\u0080\u00C0";
    EXPECT_EQ(edit.text, expected + std::wstring(32 - expected.size(), L'k'));

    MessageCounter counter(edit.Handle());
    paste("");
    EXPECT_EQ(edit.text, L"old");
    EXPECT_EQ(counter.Count(WM_PAINT), 2);  // the text set, and redrawn after the empty paste all the same
}

TEST_F(MyEditTest, ShowsAnAsteriskPerCharacterOrTheEndOfALongTextWithTheCaretBehind) {
    SendMessageW(edit.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetFocus(), edit.Handle());
    edit.isPassword = true;  // as the main view makes its password field
    Type(L"abc");
    EXPECT_EQ(ShownWithCaretBehind(), L"***");

    // More than painting holds (owners are not held to maxLength): the end, where editing happens.
    edit.isPassword = false;
    std::wstring end(255, L'M');
    SetWindowTextW(edit.Handle(), (std::wstring(45, L'.') + end).c_str());
    edit.PlaceCaret();
    EXPECT_EQ(ShownWithCaretBehind(), end);
}
