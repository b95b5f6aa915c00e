#include <memory>

#include <raserror.h>

#include "FakeRasService.h"

namespace fakeras {
namespace {
constexpr UINT kRasDialEvent = WM_RASDIALEVENT;

// Records the state; false when the connection was hung up (or forgotten) meanwhile.
bool EnterState(DWORD handle, DWORD state, DWORD error) {
    bool alive = false;
    Service().Update([&](State& s) {
        Connection* c = FindConnection(s, handle);
        if (c && !c->closing) {
            c->state = state;
            c->error = error;
            alive = true;
        }
    });
    return alive;
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
    Sleep(job.scenario.dropAfterMs);
    Service().Update([&](State& s) {
        Connection* c = FindConnection(s, job.handle);
        if (c && !c->closing && c->state == RASCS_Connected) {
            c->state = RASCS_Disconnected;
            c->error = kDropError;
        }
    });
}

DWORD WINAPI DialThread(void* parameter) {
    std::unique_ptr<DialJob> job(static_cast<DialJob*>(parameter));
    RunDial(*job);
    return 0;
}
}  // namespace

DWORD RunDial(const DialJob& job) {
    const Scenario& scenario = job.scenario;
    bool notify = job.notifier != nullptr;
    for (int i = 0; i < kDialStateCount; ++i) {
        DWORD state = kDialStates[i];
        if (i > 0 && notify) Sleep(scenario.stepMs);
        bool fails = scenario.failure != 0 && state == scenario.failAtState;
        DWORD error = fails ? scenario.failure : 0;
        // After a hang-up RAS reports nothing more for the handle.
        if (!EnterState(job.handle, state, error)) return ERROR_PORT_DISCONNECTED;
        if (notify && !Notify(job, state, error)) notify = false;
        if (fails) return error;
    }
    if (scenario.dropAfterMs && job.notifier) DropLater(job);
    return 0;
}

bool StartDialThread(const DialJob& job) {
    auto* copy = new DialJob(job);
    HANDLE thread = CreateThread(nullptr, 0, DialThread, copy, 0, nullptr);
    if (!thread) {
        delete copy;
        return false;
    }
    CloseHandle(thread);
    return true;
}

}  // namespace fakeras
