#include <gtest/gtest.h>

#include <vector>

#include "framework/MessageLoop.h"

namespace {
struct RecordingFilter : CMessageFilter {
    RecordingFilter(std::vector<int>& log, int id, bool consume) : log(log), id(id), consume(consume) {}
    bool PreTranslateMessage(MSG*) override {
        log.push_back(id);
        return consume;
    }
    std::vector<int>& log;
    int id;
    bool consume;
};

// First idle round posts a burst of three messages, the second ends the loop.
struct BurstingIdle : CIdleHandler {
    bool OnIdle() override {
        ++calls;
        if (calls == 1) {
            for (int i = 0; i < 3; ++i) PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
        } else {
            PostQuitMessage(7);
        }
        return true;  // asks for more; the loop must still idle only once per burst
    }
    int calls = 0;
};

struct CountingFilter : CMessageFilter {
    bool PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_APP) ++seen;
        return false;
    }
    int seen = 0;
};
}  // namespace

TEST(MessageLoop, FiltersAreAskedFromLastAddedToFirstAndStopAtTheConsumer) {
    std::vector<int> log;
    RecordingFilter first(log, 1, false), second(log, 2, true), third(log, 3, false);
    CMessageLoop loop;
    loop.AddMessageFilter(&first);
    loop.AddMessageFilter(&second);
    loop.AddMessageFilter(&third);
    MSG msg{};
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
    CountingFilter counter;
    loop.AddIdleHandler(&idle);
    loop.AddMessageFilter(&counter);
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(counter.seen, 3);
    EXPECT_EQ(idle.calls, 2);
}

TEST(MessageLoop, MouseMovesPaintsAndCaretBlinksDoNotRestartIdling) {
    MSG msg{};
    for (UINT message : {UINT(WM_MOUSEMOVE), UINT(WM_NCMOUSEMOVE), UINT(WM_PAINT), UINT(0x0118)}) {
        msg.message = message;
        EXPECT_FALSE(CMessageLoop::IsIdleMessage(msg)) << message;
    }
    msg.message = WM_KEYDOWN;
    EXPECT_TRUE(CMessageLoop::IsIdleMessage(msg));
}
