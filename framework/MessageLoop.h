#pragma once
#include <windows.h>
#include <vector>

class CMessageFilter {
public:
    virtual ~CMessageFilter() = default;
    // True when the message was consumed and must not be dispatched.
    virtual bool PreTranslateMessage(MSG* msg) = 0;
};

class CIdleHandler {
public:
    virtual ~CIdleHandler() = default;
    virtual bool OnIdle() = 0;
};

// The user-interface thread's message pump, with filters and idle handlers.
class CMessageLoop {
public:
    virtual ~CMessageLoop() = default;

    bool AddMessageFilter(CMessageFilter* filter);
    bool RemoveMessageFilter(CMessageFilter* filter);
    bool AddIdleHandler(CIdleHandler* handler);
    bool RemoveIdleHandler(CIdleHandler* handler);

    // Pumps until WM_QUIT and returns its wParam.
    int Run();

    // Filters are asked from the last added to the first; the first that consumes wins.
    virtual bool PreTranslateMessage(MSG* msg);
    // Calls every idle handler once; false ends idling until the next message burst.
    virtual bool OnIdle(int idleCount);

    // False for the messages that arrive continuously (mouse moves, paints, the
    // caret's blink), which must not restart idle processing; true for the rest.
    static bool RestartsIdle(const MSG& msg);

private:
    std::vector<CMessageFilter*> filters_;
    std::vector<CIdleHandler*> idleHandlers_;
    MSG msg_{};
};
