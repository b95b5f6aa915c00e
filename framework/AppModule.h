#pragma once
#include <windows.h>

#include <map>

#include "framework/UniqueHandle.h"

class CMessageLoop;

// The application module: instance handle and the thread-to-loop map.
class CAppModule {
public:
    HRESULT Init(HINSTANCE instance);
    void Term();

    HINSTANCE GetModuleInstance() const { return instance_; }

    bool AddMessageLoop(CMessageLoop* loop);
    bool RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = GetCurrentThreadId());

private:
    using SectionLock = UniqueHandle<CRITICAL_SECTION*, LeaveCriticalSection>;
    // Holds the module's critical section until the result goes.
    SectionLock Lock() {
        EnterCriticalSection(&section_);
        return SectionLock(&section_);
    }

    HINSTANCE instance_ = nullptr;
    bool initialized_ = false;
    CRITICAL_SECTION section_{};
    std::map<DWORD, CMessageLoop*> loops_;
};

// The one application module of the process.
extern CAppModule appModule;
