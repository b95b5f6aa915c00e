#pragma once
#include <windows.h>
#include <ras.h>

#include "FakeRasScenario.h"
#include "FakeRasState.h"

namespace fakeras {

// The state of the service this DLL belongs to (the file beside the DLL).
SharedState& Service();

// The scenario the calling process dials with.
const Scenario& CurrentScenario();

// Walks the dial of `handle` through its states: on a thread of its own when a
// notifier is given (RasDialW has returned by then), else right here.
// Returns the dial's error for a synchronous dial.
struct DialJob {
    DWORD handle;
    DWORD notifierType;
    void* notifier;
    ULONG_PTR callbackId;
    DWORD subEntry;
    Scenario scenario;
    HANDLE hungUp;  // set by a hang-up of the handle; null for a dial without a thread
};
bool StartDialThread(const DialJob& job);
DWORD RunDial(const DialJob& job);

// Wakes the thread walking the dial of `handle` after its hang-up. With `wait`,
// returns once that thread has returned from its last notifier call; false
// when it did not within kBlockedHangUpLimitMs (the two waited on each other).
bool WakeDial(DWORD handle, bool wait);
constexpr DWORD kBlockedHangUpLimitMs = 5000;

}  // namespace fakeras
