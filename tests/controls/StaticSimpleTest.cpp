#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "ControlTestSupport.h"
#include "controls/StaticSimple.h"

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
