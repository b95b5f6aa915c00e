#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/StaticSimple.h"
#include "ControlTestSupport.h"

namespace {
class StaticSimpleTest : public testing::Test {
protected:
    HWND MakeLabel(int width, const std::wstring& text) {
        labels.emplace_back(new CStaticSimple);
        HWND window = labels.back()->Create(host.Handle(), RECT{5, 5, 5 + width, 65}, text.c_str(),
                                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        PumpFor(0);  // the first paint, before anything is counted
        return window;
    }
    TestWindow host;
    std::vector<std::unique_ptr<CStaticSimple>> labels;
};
}  // namespace

TEST_F(StaticSimpleTest, BurstOfTextChangesEndsInOneDelayedRedraw) {
    HWND window = MakeLabel(150, L"");
    MessageCounter counter(window);
    for (const wchar_t* text : {L"Один", L"Два", L"Соединено"}) SetWindowTextW(window, text);
    EXPECT_EQ(counter.Count(WM_PAINT), 3);  // at once, each still with the text before it
    PumpUntil([&] { return counter.Count(WM_TIMER) > 0; }, 2000);
    EXPECT_EQ(counter.Count(WM_TIMER), 1);
    EXPECT_EQ(counter.Count(WM_PAINT), 4);
    EXPECT_FALSE(KillTimer(window, CStaticSimple::kRedrawTimerId));  // none left running
}

TEST_F(StaticSimpleTest, WrapsAtWordsShowsTheAmpersandItselfAndAtMost255Characters) {
    using Texts = std::vector<std::wstring>;
    EXPECT_EQ(RecordPaints(MakeLabel(100, L"Код состояния: 691")).texts, (Texts{L"Код состояния: ", L"691"}));
    EXPECT_EQ(RecordPaints(MakeLabel(600, L"Код состояния: 691")).texts, (Texts{L"Код состояния: 691"}));
    EXPECT_EQ(RecordPaints(MakeLabel(200, L"A&B")).texts, (Texts{L"A&B"}));
    EXPECT_EQ(RecordPaints(MakeLabel(900, std::wstring(300, L'a'))).texts, (Texts{std::wstring(255, L'a')}));
}

// GetGuiResources reports no GDI counts under Wine, so a metafile device context
// watches the paints instead: every font a paint makes, that paint deletes.
TEST_F(StaticSimpleTest, EveryPaintDeletesTheFontItMade) {
    PaintRecord paints = RecordPaints(MakeLabel(150, L"Текущий баланс"), 100);
    EXPECT_EQ(paints.fontsMade, 100);
    EXPECT_EQ(paints.deleted, 100);
    EXPECT_EQ(paints.stockSelected, 100);
}
