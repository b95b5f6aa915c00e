#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/ControlFonts.h"
#include "controls/StaticSimple.h"
#include "ControlTestSupport.h"

namespace {
class StaticSimpleTest : public testing::Test {
protected:
    HWND MakeLabel(CStaticSimple& label, int width, int height, const std::wstring& text) {
        HWND window = label.Create(host.Handle(), RECT{5, 5, 5 + width, 5 + height}, text.c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        PumpFor(0);  // the first paint, before anything is counted
        return window;
    }
    TestWindow host;
};
}  // namespace

TEST_F(StaticSimpleTest, BurstOfTextChangesEndsInOneDelayedRedraw) {
    CStaticSimple label;
    HWND window = MakeLabel(label, 150, 20, L"");
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    EXPECT_STREQ(className, L"staticclass");

    MessageCounter counter(window);
    SetWindowTextW(window, L"Один");
    SetWindowTextW(window, L"Два");
    SetWindowTextW(window, L"Соединено");
    EXPECT_EQ(counter.Count(WM_PAINT), 3);  // at once, each still with the text before it
    PumpUntil([&] { return counter.Count(WM_TIMER) > 0; }, 2000);
    EXPECT_EQ(counter.Count(WM_TIMER), 1);
    EXPECT_EQ(counter.Count(WM_PAINT), 4);
    EXPECT_FALSE(KillTimer(window, CStaticSimple::kRedrawTimerId));  // none left running
}

TEST_F(StaticSimpleTest, WrapsAtWordsAndShowsTheAmpersandItself) {
    const std::wstring words = L"Код состояния: 691 доступ запрещён";
    CStaticSimple narrow, wide, ampersand;
    Capture wrapped = PaintIntoMemory(MakeLabel(narrow, 100, 60, words));
    Capture oneLine = PaintIntoMemory(MakeLabel(wide, 600, 60, words));
    EXPECT_GT(wrapped.InkInRows(0, 12), 0);
    EXPECT_GT(wrapped.InkInRows(14, 28), 0);
    EXPECT_EQ(oneLine.InkInRows(14, 60), 0);
    EXPECT_GT(oneLine.RightmostInk(), 100);

    UniqueFont captionFont = CreateCaptionFont();
    TEXTMETRICW metrics{};
    int withoutAmpersand = TextWidth(captionFont.get(), L"AB", &metrics);
    Capture shown = PaintIntoMemory(MakeLabel(ampersand, 200, 20, L"A&B"));
    EXPECT_GT(shown.RightmostInk(), withoutAmpersand + 3);
    EXPECT_EQ(shown.InkInRows(metrics.tmAscent + 1, 20), 0);  // nothing underlined
}

TEST_F(StaticSimpleTest, ShowsAtMost255Characters) {
    std::wstring text;
    while (text.size() < 300) text += L"abcd" + std::to_wstring(text.size() % 10) + L" ";
    CStaticSimple full, cut, oneLess;
    Capture fullShown = PaintIntoMemory(MakeLabel(full, 900, 200, text));
    Capture cutShown = PaintIntoMemory(MakeLabel(cut, 900, 200, text.substr(0, 255)));
    Capture oneLessShown = PaintIntoMemory(MakeLabel(oneLess, 900, 200, text.substr(0, 254)));
    EXPECT_TRUE(fullShown == cutShown);
    EXPECT_FALSE(oneLessShown == cutShown);  // the 255th character is still drawn
}

// GetGuiResources reports no GDI counts under Wine, so a metafile device context
// watches the paints instead: every font a paint makes, that paint deletes.
TEST_F(StaticSimpleTest, EveryPaintDeletesTheFontItMade) {
    CStaticSimple label;
    PaintRecord paints = RecordPaints(MakeLabel(label, 150, 40, L"Текущий баланс"), 100);
    EXPECT_EQ(paints.fontHeights, std::vector<LONG>(100, 12));
    EXPECT_TRUE(paints.allBoldArial);
    EXPECT_EQ(paints.deleted, 100);
    EXPECT_EQ(paints.stockSelected, 100);
}
