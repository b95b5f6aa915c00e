#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "ControlTestSupport.h"
#include "controls/ControlFonts.h"
#include "controls/MyEdit.h"
#include "controls/StaticSimple.h"

namespace {
void PressKey(HWND edit, WPARAM key, bool control = false) {
    BYTE keys[256] = {};
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    SendMessageW(edit, WM_KEYDOWN, key, 1);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

// The one text painted, if the caret stands right behind it, measured in the input font.
std::wstring ShownWithCaretBehind(HWND edit) {
    std::vector<std::wstring> texts = RecordPaints(edit).texts;
    std::wstring shown = texts.size() == 1 ? texts[0] : L"not one text";
    HDC dc = CreateCompatibleDC(nullptr);
    UniqueFont font = CreateInputFont();
    SelectObject(dc, font.get());
    SIZE size{};
    GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
    DeleteDC(dc);
    POINT caret{};
    GetCaretPos(&caret);
    return caret.x == size.cx + 1 ? shown : L"caret misplaced";
}
}  // namespace

// Letters and digits typed up to the limit, Backspace taking the last; Ctrl+V (not V) replacing
// everything with the clipboard's bytes, each one character; painted masked, or the end of a text
// longer than painting holds, with the caret behind.
TEST(MyEdit, TakesWhatItShouldAndShowsTheEndMaskedOrNot) {
    TestWindow host;
    MyEdit edit;
    edit.maxLength = 32;  // as the main view makes its password field
    edit.isPassword = true;
    ASSERT_TRUE(edit.Create(host.Handle(), RECT{55, 165, 180, 185}, nullptr, 0x508100A0));
    SendMessageW(edit.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(GetFocus(), edit.Handle());
    for (wchar_t c : L"a7\u0416\u0451 !_\t\r\x16\x08-Z" + std::wstring(40, L'x')) SendMessageW(edit.Handle(), WM_CHAR, c, 1);
    PressKey(edit.Handle(), VK_BACK);
    std::wstring typed = L"a7\u0416\u0451Z" + std::wstring(26, L'x');
    EXPECT_EQ(edit.text, typed);
    EXPECT_EQ(ShownWithCaretBehind(edit.Handle()), std::wstring(31, L'*'));

    std::string bytes = "pass word!_\x80\xC0" + std::string(29, 'k');  // what typing refuses; no code page
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
    memcpy(GlobalLock(memory), bytes.c_str(), bytes.size() + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
    PressKey(edit.Handle(), 'V');
    EXPECT_EQ(edit.text, typed);
    PressKey(edit.Handle(), 'V', true);
    EXPECT_EQ(edit.text, L"pass word!_\u0080\u00C0" + std::wstring(19, L'k'));

    edit.isPassword = false;
    std::wstring end(255, L'M');
    SetWindowTextW(edit.Handle(), (std::wstring(45, L'.') + end).c_str());  // owners are not held to the limit
    edit.PlaceCaret();
    EXPECT_EQ(ShownWithCaretBehind(edit.Handle()), end);
}

// A burst of text changes paints at once each time and ends in one delayed redraw. Paints wrap at
// words, show the ampersand itself and at most 255 characters, and delete every font they make
// (GetGuiResources counts nothing under Wine: a metafile watches the paints).
TEST(StaticSimple, PaintsATextBurstOnceMoreLaterAndDrawsWhatTheRulesSay) {
    TestWindow host;
    std::list<CStaticSimple> labels;
    auto label = [&](int width, const std::wstring& text) {
        HWND window = labels.emplace(labels.end())->Create(host.Handle(), RECT{5, 5, 5 + width, 65}, text.c_str(), WS_CHILD | WS_VISIBLE);
        PumpFor(0);  // the first paint, before anything is counted
        return window;
    };
    HWND window = label(150, L"");
    MessageCounter counter(window);
    for (const wchar_t* text : {L"Один", L"Два", L"Соединено"}) SetWindowTextW(window, text);
    EXPECT_EQ(counter.Count(WM_PAINT), 3);  // each still with the text before it
    PumpUntil([&] { return counter.Count(WM_TIMER) > 0; }, 2000);
    EXPECT_EQ(counter.Count(WM_TIMER), 1);
    EXPECT_EQ(counter.Count(WM_PAINT), 4);
    EXPECT_FALSE(KillTimer(window, CStaticSimple::kRedrawTimerId));  // none left running

    using Texts = std::vector<std::wstring>;
    EXPECT_EQ(RecordPaints(label(100, L"Код состояния: 691")).texts, (Texts{L"Код состояния: ", L"691"}));
    EXPECT_EQ(RecordPaints(label(600, L"Код состояния: 691")).texts, (Texts{L"Код состояния: 691"}));
    EXPECT_EQ(RecordPaints(label(200, L"A&B")).texts, (Texts{L"A&B"}));
    EXPECT_EQ(RecordPaints(label(900, std::wstring(300, L'a'))).texts, (Texts{std::wstring(255, L'a')}));
    PaintRecord paints = RecordPaints(label(150, L"Текущий баланс"), 100);
    EXPECT_EQ((std::vector<int>{paints.fontsMade, paints.deleted, paints.stockSelected}), (std::vector<int>{100, 100, 100}));
}
