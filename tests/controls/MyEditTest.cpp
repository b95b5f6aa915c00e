#include <gtest/gtest.h>

#include <string>

#include "controls/ControlFonts.h"
#include "controls/Edit.h"
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
    static void PutOnClipboard(const std::string& bytes) {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        if (!bytes.empty()) {
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
            memcpy(GlobalLock(memory), bytes.c_str(), bytes.size() + 1);
            GlobalUnlock(memory);
            SetClipboardData(CF_TEXT, memory);
        }
        CloseClipboard();
    }
    int InputFontWidth(const std::wstring& text) { return TextWidth(inputFont.get(), text); }

    TestWindow host;
    MyEdit edit;
    UniqueFont inputFont = CreateInputFont();
};
}  // namespace

TEST_F(MyEditTest, TypingTakesLettersAndDigitsUpToTheLimitAndBackspaceTakesTheLast) {
    Type(L"a7\u0416\u0451 !_\t\r\x16\x08-Z");
    EXPECT_EQ(edit.text, L"a7\u0416\u0451Z");

    Type(std::wstring(40, L'x'));
    EXPECT_EQ(edit.text, L"a7\u0416\u0451Z" + std::wstring(27, L'x'));

    PressKey(VK_BACK);
    EXPECT_EQ(edit.text.size(), 31u);
    edit.text.clear();
    PressKey(VK_BACK);
    PressKey(VK_DELETE);
    EXPECT_EQ(edit.text, L"");
}

TEST_F(MyEditTest, TabStaysInsideTheControlAndAddsNothing) {
    Edit neighbour;
    ASSERT_TRUE(neighbour.Create(host.Handle(), RECT{55, 140, 180, 160}, nullptr, 0x50810080));
    SetFocus(edit.Handle());
    edit.text = L"ab";
    MSG keyDown{edit.Handle(), WM_KEYDOWN, VK_TAB, 1, 0, {}};
    MSG character{edit.Handle(), WM_CHAR, L'\t', 1, 0, {}};
    IsDialogMessageW(host.Handle(), &keyDown);
    IsDialogMessageW(host.Handle(), &character);
    EXPECT_EQ(GetFocus(), edit.Handle());
    EXPECT_EQ(edit.text, L"ab");
}

TEST_F(MyEditTest, CtrlVReplacesEverythingWithTheClipboardBytesUpToTheLimit) {
    // What typing refuses, and bytes that a code page would turn into other characters.
    std::string bytes = "pass word!_\x80\xC0";
    bytes += std::string(40 - bytes.size(), 'k');
    PutOnClipboard(bytes);
    edit.text = L"old";
    PressKey('V');
    EXPECT_EQ(edit.text, L"old");

    PressKey('V', true);
    std::wstring expected = L"pass word!_\u0080\u00C0";
    EXPECT_EQ(edit.text, expected + std::wstring(32 - expected.size(), L'k'));

    PutOnClipboard("");
    edit.text = L"keep";
    MessageCounter counter(edit.Handle());
    PressKey('V', true);
    EXPECT_EQ(edit.text, L"keep");
    EXPECT_EQ(counter.Count(WM_PAINT), 1);  // redrawn all the same
}

TEST_F(MyEditTest, PasswordShowsOneCourierAsteriskPerCharacterWithTheCaretBehindTheLast) {
    edit.isPassword = true;
    SendMessageW(edit.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetFocus(), edit.Handle());
    Type(L"abc");

    Capture shown = PaintIntoMemory(edit.Handle());
    int asterisks = 0;
    for (int x = 0; x < shown.width; ++x) asterisks += shown.ColumnHasInk(x) && !(x > 0 && shown.ColumnHasInk(x - 1));
    EXPECT_EQ(asterisks, 3);
    POINT caret{};
    ASSERT_TRUE(GetCaretPos(&caret));
    EXPECT_EQ(caret.x, InputFontWidth(L"***") + 1);
    EXPECT_EQ(caret.y, 3);
    EXPECT_LT(shown.RightmostInk(), caret.x);
    EXPECT_GE(shown.RightmostInk(), caret.x - 3);

    // Drawn in Courier New like the login field, not in the device context's default font.
    edit.isPassword = false;
    edit.text = L"MMMMMMMMMM";
    int right = PaintIntoMemory(edit.Handle()).RightmostInk();
    EXPECT_LE(right, InputFontWidth(edit.text));
    EXPECT_GT(right, InputFontWidth(L"MMMMMMMMM"));
}

TEST_F(MyEditTest, TextLongerThanThePaintBufferShowsItsEnd) {
    std::wstring end(255, L'M');
    SetFocus(edit.Handle());
    SetWindowTextW(edit.Handle(), (std::wstring(45, L'.') + end).c_str());
    EXPECT_EQ(edit.text.size(), 300u);  // owners are not held to maxLength
    edit.PlaceCaret();
    Capture longText = PaintIntoMemory(edit.Handle());
    POINT longCaret{}, endCaret{};
    GetCaretPos(&longCaret);

    edit.text = end;
    edit.PlaceCaret();
    Capture endOnly = PaintIntoMemory(edit.Handle());
    GetCaretPos(&endCaret);
    EXPECT_GT(endOnly.InkInRows(0, endOnly.height), 0);
    EXPECT_TRUE(longText == endOnly);
    EXPECT_EQ(longCaret.x, endCaret.x);
}
