#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ControlTestSupport.h"
#include "controls/StaticSimple.h"

namespace {
struct Labels {
    HWND Make(int width, const std::wstring& text) {
        made.emplace_back(new CStaticSimple);
        HWND window = made.back()->Create(host.Handle(), RECT{5, 5, 5 + width, 65}, text.c_str(), WS_CHILD | WS_VISIBLE);
        PumpFor(0);  // the first paint, before anything is counted
        return window;
    }
    TestWindow host;
    std::vector<std::unique_ptr<CStaticSimple>> made;
};
}  // namespace

TEST(StaticSimple, BurstOfTextChangesEndsInOneDelayedRedraw) {
    Labels labels;
    HWND window = labels.Make(150, L"");
    MessageCounter counter(window);
    for (const wchar_t* text : {L"Один", L"Два", L"Соединено"}) SetWindowTextW(window, text);
    EXPECT_EQ(counter.Count(WM_PAINT), 3);  // at once, each still with the text before it
    PumpUntil([&] { return counter.Count(WM_TIMER) > 0; }, 2000);
    EXPECT_EQ(counter.Count(WM_TIMER), 1);
    EXPECT_EQ(counter.Count(WM_PAINT), 4);
    EXPECT_FALSE(KillTimer(window, CStaticSimple::kRedrawTimerId));  // none left running
}

// GetGuiResources reports no GDI counts under Wine, so a metafile watches the paints: every
// font a paint makes, that paint deletes.
TEST(StaticSimple, WrapsAtWordsShowsTheAmpersandAtMost255CharactersAndDeletesItsFonts) {
    using Texts = std::vector<std::wstring>;
    Labels labels;
    EXPECT_EQ(RecordPaints(labels.Make(100, L"Код состояния: 691")).texts, (Texts{L"Код состояния: ", L"691"}));
    EXPECT_EQ(RecordPaints(labels.Make(600, L"Код состояния: 691")).texts, (Texts{L"Код состояния: 691"}));
    EXPECT_EQ(RecordPaints(labels.Make(200, L"A&B")).texts, (Texts{L"A&B"}));
    EXPECT_EQ(RecordPaints(labels.Make(900, std::wstring(300, L'a'))).texts, (Texts{std::wstring(255, L'a')}));
    PaintRecord paints = RecordPaints(labels.Make(150, L"Текущий баланс"), 100);
    EXPECT_EQ((std::vector<int>{paints.fontsMade, paints.deleted, paints.stockSelected}), (std::vector<int>{100, 100, 100}));
}
