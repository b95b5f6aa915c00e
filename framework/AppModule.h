#pragma once
#include <windows.h>
#include <map>

class CMessageLoop;

// The application module: instance handle and the thread-to-loop map.
class CAppModule {
public:
    HRESULT Init(HINSTANCE instance);
    void Term();

    HINSTANCE GetModuleInstance() const { return instance_; }
    DWORD GetMainThreadId() const { return mainThreadId_; }

    bool AddMessageLoop(CMessageLoop* loop);
    bool RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = GetCurrentThreadId());

private:
    // Holds the module's critical section for one scope.
    class Lock {
    public:
        explicit Lock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
        ~Lock() { LeaveCriticalSection(&section_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& section_;
    };

    HINSTANCE instance_ = nullptr;
    DWORD mainThreadId_ = 0;
    bool initialized_ = false;
    CRITICAL_SECTION section_{};
    std::map<DWORD, CMessageLoop*> loops_;
};

// The one application module of the process.
extern CAppModule appModule;
