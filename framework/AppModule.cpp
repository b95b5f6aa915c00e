#include "framework/AppModule.h"

CAppModule appModule;

HRESULT CAppModule::Init(HINSTANCE instance) {
    if (initialized_) return S_OK;
    instance_ = instance ? instance : GetModuleHandleW(nullptr);
    mainThreadId_ = GetCurrentThreadId();
    InitializeCriticalSection(&section_);
    initialized_ = true;
    return S_OK;
}

void CAppModule::Term() {
    if (!initialized_) return;
    {
        Lock lock(section_);
        loops_.clear();
    }
    DeleteCriticalSection(&section_);
    initialized_ = false;
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
    Lock lock(section_);
    return loops_.emplace(GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
    Lock lock(section_);
    return loops_.erase(GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) {
    Lock lock(section_);
    auto it = loops_.find(threadId);
    return it == loops_.end() ? nullptr : it->second;
}
