#include "framework/AppModule.h"

CAppModule appModule;

HRESULT CAppModule::Init(HINSTANCE instance) {
    if (initialized_) return S_OK;
    instance_ = instance ? instance : GetModuleHandleW(nullptr);
    InitializeCriticalSection(&section_);
    initialized_ = true;
    return S_OK;
}

void CAppModule::Term() {
    if (!initialized_) return;
    {
        SectionLock lock = Lock();
        loops_.clear();
    }
    DeleteCriticalSection(&section_);
    initialized_ = false;
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
    SectionLock lock = Lock();
    return loops_.emplace(GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
    SectionLock lock = Lock();
    return loops_.erase(GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) {
    SectionLock lock = Lock();
    auto it = loops_.find(threadId);
    return it == loops_.end() ? nullptr : it->second;
}
