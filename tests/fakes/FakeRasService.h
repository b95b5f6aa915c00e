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
};
bool StartDialThread(const DialJob& job);
DWORD RunDial(const DialJob& job);

}  // namespace fakeras
