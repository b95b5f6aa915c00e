#include "framework/MessageLoop.h"

#include <algorithm>

namespace {
template <typename T>
bool RemoveFrom(std::vector<T*>& items, T* item) {
    auto it = std::find(items.begin(), items.end(), item);
    if (it == items.end()) return false;
    items.erase(it);
    return true;
}
}  // namespace

bool CMessageLoop::AddMessageFilter(CMessageFilter* filter) {
    filters_.push_back(filter);
    return true;
}

bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) { return RemoveFrom(filters_, filter); }

bool CMessageLoop::AddIdleHandler(CIdleHandler* handler) {
    idleHandlers_.push_back(handler);
    return true;
}

bool CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) { return RemoveFrom(idleHandlers_, handler); }

bool CMessageLoop::RestartsIdle(const MSG& msg) {
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case 0x0118:  // the system's caret-blink timer
        return false;
    default:
        return true;
    }
}

int CMessageLoop::Run() {
    bool doIdle = true;
    int idleCount = 0;
    for (;;) {
        while (doIdle && !PeekMessageW(&msg_, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++)) doIdle = false;
        }
        BOOL got = GetMessageW(&msg_, nullptr, 0, 0);
        if (got == -1) continue;
        if (!got) return static_cast<int>(msg_.wParam);

        if (!PreTranslateMessage(&msg_)) {
            TranslateMessage(&msg_);
            DispatchMessageW(&msg_);
        }
        if (RestartsIdle(msg_)) {
            doIdle = true;
            idleCount = 0;
        }
    }
}

// By index, checked on every step: a filter or handler may remove itself or
// another while it runs.
bool CMessageLoop::PreTranslateMessage(MSG* msg) {
    for (size_t i = filters_.size(); i-- > 0;) {
        if (i < filters_.size() && filters_[i]->PreTranslateMessage(msg)) return true;
    }
    return false;
}

bool CMessageLoop::OnIdle(int /*idleCount*/) {
    for (size_t i = 0; i < idleHandlers_.size(); ++i) idleHandlers_[i]->OnIdle();
    return false;
}
