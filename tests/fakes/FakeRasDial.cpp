#include <memory>
#include <vector>

#include <raserror.h>

#include "FakeRasService.h"

namespace fakeras {
namespace {
constexpr UINT kRasDialEvent = WM_RASDIALEVENT;

// The dials this process walks on threads of their own, so a hang-up can wake
// them and, when the service is told to, wait for them.
struct DialThread {
    DWORD handle;
    HANDLE thread;
    HANDLE hungUp;
};
struct DialThreads {
    DialThreads() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    std::vector<DialThread> list;
};
DialThreads& Threads() {
    static DialThreads threads;
    return threads;
}

// Records the state; false when the connection was hung up (or forgotten) meanwhile.
bool EnterState(DWORD handle, DWORD state, DWORD error, bool& hangUpBlocks) {
    bool alive = false;
    Service().Update([&](State& s) {
        Connection* c = FindConnection(s, handle);
        if (c && !c->closing) {
            c->state = state;
            c->error = error;
            alive = true;
        }
        hangUpBlocks = s.hangUpBlocks != FALSE;
    });
    return alive;
}

// Sleeps, but wakes at once when the dial is hung up.
void Pause(const DialJob& job, DWORD ms) {
    if (job.hungUp) {
        WaitForSingleObject(job.hungUp, ms);
    } else {
        Sleep(ms);
    }
}

// False when a type-2 notifier asks for no more notifications.
bool Notify(const DialJob& job, DWORD state, DWORD error) {
    auto rasState = static_cast<RASCONNSTATE>(state);
    HRASCONN handle = reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(job.handle));
    switch (job.notifierType) {
    case 0:
        reinterpret_cast<RASDIALFUNC>(job.notifier)(kRasDialEvent, rasState, error);
        return true;
    case 1:
        reinterpret_cast<RASDIALFUNC1>(job.notifier)(handle, kRasDialEvent, rasState, error, 0);
        return true;
    default:
        return reinterpret_cast<RASDIALFUNC2>(job.notifier)(job.callbackId, job.subEntry, handle, kRasDialEvent,
                                                            rasState, error, 0) != 0;
    }
}

void DropLater(const DialJob& job) {
    Pause(job, job.scenario.dropAfterMs);
    Service().Update([&](State& s) {
        Connection* c = FindConnection(s, job.handle);
        if (c && !c->closing && c->state == RASCS_Connected) {
            c->state = RASCS_Disconnected;
            c->error = kDropError;
        }
    });
}

DWORD WINAPI DialThreadMain(void* parameter) {
    std::unique_ptr<DialJob> job(static_cast<DialJob*>(parameter));
    RunDial(*job);
    return 0;
}

// Forgets the threads that have ended.
void ForgetEnded(std::vector<DialThread>& list) {
    for (size_t i = 0; i < list.size();) {
        if (WaitForSingleObject(list[i].thread, 0) != WAIT_OBJECT_0) {
            ++i;
            continue;
        }
        CloseHandle(list[i].thread);
        CloseHandle(list[i].hungUp);
        list.erase(list.begin() + i);
    }
}
}  // namespace

DWORD RunDial(const DialJob& job) {
    const Scenario& scenario = job.scenario;
    bool notify = job.notifier != nullptr;
    for (int i = 0; i < kDialStateCount; ++i) {
        DWORD state = kDialStates[i];
        if (i > 0 && notify) Pause(job, scenario.stepMs);
        bool fails = scenario.failure != 0 && state == scenario.failAtState;
        DWORD error = fails ? scenario.failure : 0;
        bool hangUpBlocks = false;
        // After a hang-up RAS reports nothing more for the handle.
        if (!EnterState(job.handle, state, error, hangUpBlocks)) return ERROR_PORT_DISCONNECTED;
        // A thread slow to report the failure: the report meets the hang-up that follows it.
        if (fails && notify && hangUpBlocks) WaitForSingleObject(job.hungUp, kBlockedHangUpLimitMs);
        if (notify && !Notify(job, state, error)) notify = false;
        if (fails) return error;
    }
    if (scenario.dropAfterMs && job.notifier) DropLater(job);
    return 0;
}

bool StartDialThread(const DialJob& job) {
    HANDLE hungUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!hungUp) return false;
    auto* copy = new DialJob(job);
    copy->hungUp = hungUp;
    DialThreads& threads = Threads();
    EnterCriticalSection(&threads.lock);
    HANDLE thread = CreateThread(nullptr, 0, DialThreadMain, copy, 0, nullptr);
    if (thread) {
        ForgetEnded(threads.list);
        threads.list.push_back(DialThread{job.handle, thread, hungUp});
    }
    LeaveCriticalSection(&threads.lock);
    if (!thread) {
        delete copy;
        CloseHandle(hungUp);
        return false;
    }
    return true;
}

bool WakeDial(DWORD handle, bool wait) {
    HANDLE thread = nullptr;
    DialThreads& threads = Threads();
    EnterCriticalSection(&threads.lock);
    for (const DialThread& d : threads.list) {
        if (d.handle != handle) continue;
        SetEvent(d.hungUp);
        if (wait) {
            DuplicateHandle(GetCurrentProcess(), d.thread, GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0);
        }
    }
    LeaveCriticalSection(&threads.lock);
    if (!thread) return true;
    bool ended = WaitForSingleObject(thread, kBlockedHangUpLimitMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

}  // namespace fakeras
