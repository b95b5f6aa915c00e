#include <gtest/gtest.h>

#include <vector>

#include "framework/MessageLoop.h"

namespace {
// Logs its id for every WM_APP it is asked about.
struct LoggingFilter : CMessageFilter {
    LoggingFilter(std::vector<int>& log, int id, bool consume = false) : log(log), id(id), consume(consume) {}
    bool PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_APP) log.push_back(id);
        return consume;
    }
    std::vector<int>& log;
    int id;
    bool consume;
};

// First idle round posts a burst of three messages, the second ends the loop.
struct BurstingIdle : CIdleHandler {
    bool OnIdle() override {
        if (++calls == 1) {
            for (int i = 0; i < 3; ++i) PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
        } else {
            PostQuitMessage(7);
        }
        return true;  // asks for more; the loop must still idle only once per burst
    }
    int calls = 0;
};
}  // namespace

TEST(MessageLoop, FiltersAreAskedFromLastAddedToFirstAndStopAtTheConsumer) {
    std::vector<int> log;
    LoggingFilter first(log, 1), second(log, 2, true), third(log, 3);
    CMessageLoop loop;
    for (LoggingFilter* filter : {&first, &second, &third}) loop.AddMessageFilter(filter);
    MSG msg{nullptr, WM_APP, 0, 0, 0, {}};
    EXPECT_TRUE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ(log, (std::vector<int>{3, 2}));

    log.clear();
    loop.RemoveMessageFilter(&second);
    EXPECT_FALSE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ(log, (std::vector<int>{3, 1}));
}

TEST(MessageLoop, RunIdlesOncePerBurstAndReturnsTheQuitCode) {
    CMessageLoop loop;
    BurstingIdle idle;
    std::vector<int> log;
    LoggingFilter counter(log, 0);
    loop.AddIdleHandler(&idle);
    loop.AddMessageFilter(&counter);
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(idle.calls, 2);
}

TEST(MessageLoop, MouseMovesPaintsAndCaretBlinksDoNotRestartIdling) {
    for (UINT message : {UINT(WM_MOUSEMOVE), UINT(WM_NCMOUSEMOVE), UINT(WM_PAINT), UINT(0x0118)}) {
        EXPECT_FALSE(CMessageLoop::RestartsIdle(MSG{nullptr, message, 0, 0, 0, {}})) << message;
    }
    EXPECT_TRUE(CMessageLoop::RestartsIdle(MSG{nullptr, WM_KEYDOWN, 0, 0, 0, {}}));
}
