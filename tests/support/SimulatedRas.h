#pragma once
#include <windows.h>

#include <memory>

#include "FakeRasState.h"

// The simulated RAS service's state, which tests read and steer directly (the same file rasctl.exe uses).
inline fakeras::SharedState& SimulatedRas() {
    static fakeras::SharedState state(fakeras::ModuleFolder(GetModuleHandleW(L"rasapi32.dll")));
    return state;
}

// Connections of the program's entry in the service: live ones, or those hung up and not yet released too.
inline int KeldaConnections(bool hungUpToo = false) {
    std::unique_ptr<fakeras::State> state = SimulatedRas().Read();
    int count = 0;
    for (const fakeras::Connection& c : state->connections)
        count += c.handle && (hungUpToo || !c.closing) && lstrcmpW(c.entryName, L"Kelda") == 0;
    return count;
}
