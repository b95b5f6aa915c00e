#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "ControlTestSupport.h"
#include "controls/MyEdit.h"
#include "controls/StaticSimple.h"

// Letters and digits typed up to the limit, Backspace taking the last; Ctrl+V (not V) replacing
// everything with the clipboard's bytes, each one character; painted masked, the caret behind the last character.
TEST(MyEdit, TakesWhatItShouldAndPaintsItMasked) {
    TestWindow host;
    MyEdit edit;
    edit.maxLength = 32;  // as the main view makes its password field
    edit.isPassword = true;
    ASSERT_TRUE(edit.Create(host.Handle(), RECT{55, 165, 180, 185}, nullptr, 0x508100A0));
    SetFocus(edit.Handle());  // the caret follows what is typed
    for (wchar_t c : L"a7\u0416\u0451 !_\t\r\x16\x08-Zq") SendMessageW(edit.Handle(), WM_CHAR, c, 1);
    SendMessageW(edit.Handle(), WM_KEYDOWN, VK_BACK, 1);
    for (int i = 0; i < 40; ++i) SendMessageW(edit.Handle(), WM_CHAR, L'x', 1);
    std::wstring typed = L"a7\u0416\u0451Z" + std::wstring(27, L'x');
    EXPECT_EQ(edit.text, typed);
    PaintRecord paint = RecordPaints(edit.Handle());
    EXPECT_EQ(paint.texts, std::vector<std::wstring>{std::wstring(32, L'*')});
    POINT caret{};
    EXPECT_TRUE(GetCaretPos(&caret) && caret.x == paint.textEnd && caret.y == 3) << "the caret is not behind the last character";

    std::string bytes = "pass word!_\x80\xC0" + std::string(29, 'k');  // what typing refuses; no code page
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
    memcpy(GlobalLock(memory), bytes.c_str(), bytes.size() + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
    SendMessageW(edit.Handle(), WM_KEYDOWN, 'V', 1);
    EXPECT_EQ(edit.text, typed);
    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(edit.Handle(), WM_KEYDOWN, 'V', 1);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(edit.text, L"pass word!_\u0080\u00C0" + std::wstring(19, L'k'));
}

// A burst of text changes paints at once each time and ends in one delayed redraw. Paints wrap at
// words, show the ampersand itself and delete every font they make (a metafile watches them:
// GetGuiResources counts nothing under Wine).
TEST(StaticSimple, PaintsATextBurstOnceMoreLaterAndDrawsWhatTheRulesSay) {
    TestWindow host;
    std::list<CStaticSimple> labels;
    auto label = [&](const wchar_t* text) {
        HWND window = labels.emplace(labels.end())->Create(host.Handle(), RECT{5, 5, 105, 65}, text, WS_CHILD | WS_VISIBLE);
        PumpFor(0);  // the first paint, before anything is counted
        return window;
    };
    HWND window = label(L"");
    MessageCounter counter(window);
    for (const wchar_t* text : {L"Один", L"Два", L"Соединено"}) SetWindowTextW(window, text);
    EXPECT_EQ(counter.Count(WM_PAINT), 3);  // each still with the text before it
    PumpUntil([&] { return counter.Count(WM_TIMER) > 0; }, 2000);
    EXPECT_EQ(counter.Count(WM_TIMER), 1);
    EXPECT_EQ(counter.Count(WM_PAINT), 4);
    EXPECT_FALSE(KillTimer(window, CStaticSimple::kRedrawTimerId));  // none left running

    PaintRecord paints = RecordPaints(label(L"Код состояния: A&B"));
    EXPECT_EQ(paints.texts, (std::vector<std::wstring>{L"Код состояния: ", L"A&B"}));
    EXPECT_EQ((std::vector<int>{paints.fontsMade, paints.deleted, paints.stockSelected}), (std::vector<int>{1, 1, 1}));
}
