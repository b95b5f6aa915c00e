#include <gtest/gtest.h>

#include <vector>

#include "framework/MessageLoop.h"

namespace {
// Logs its id for every WM_APP it is asked about. As idle handler: the first round posts three,
// the second quits; it always asks for more, yet the loop must idle only once per burst.
struct Logger : CMessageFilter, CIdleHandler {
    Logger(std::vector<int>& log, int id, bool consume = false) : log(log), id(id), consume(consume) {}
    bool PreTranslateMessage(MSG* msg) override { return msg->message == WM_APP && (log.push_back(id), consume); }
    bool OnIdle() override {
        if (++idles == 1) for (int i = 0; i < 3; ++i) PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
        else PostQuitMessage(7);
        return true;
    }
    std::vector<int>& log;
    int id, idles = 0;
    bool consume;
};
}  // namespace

TEST(MessageLoop, AsksFiltersLastAddedFirstUntilOneConsumesAndIdlesOncePerBurst) {
    std::vector<int> log;
    Logger first(log, 1), second(log, 2, true), third(log, 3);
    CMessageLoop loop;
    for (Logger* filter : {&first, &second, &third}) loop.AddMessageFilter(filter);
    loop.AddIdleHandler(&first);
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(log, (std::vector<int>{3, 2, 3, 2, 3, 2}));
    EXPECT_EQ(first.idles, 2);
}
