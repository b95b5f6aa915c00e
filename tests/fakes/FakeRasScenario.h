#pragma once
#include <windows.h>

namespace fakeras {

// How the next dial goes. Chosen by KELDA_RAS_SCENARIO in the dialling process,
// else by the one stored in the shared state (rasctl scenario), else "success".
struct Scenario {
    const wchar_t* name;
    DWORD refusal;      // RasDialW's own answer; 0 when the dial starts
    DWORD stepMs;       // pause before each state after the first
    DWORD failAtState;  // the state reported together with `failure`
    DWORD failure;      // 0: the dial reaches RASCS_Connected
    DWORD dropAfterMs;  // 0: the line stays up once connected
    BOOL refusalHoldsPort;  // the refusal comes with a handle whose port stays open until hung up
};

// States a successful PPTP dial goes through, in order, ending with RASCS_Connected.
extern const DWORD kDialStates[];
extern const int kDialStateCount;

// The scenario of that name, or null when there is none.
const Scenario* FindScenario(const wchar_t* name);
const Scenario& DefaultScenario();

// The state at which the real service reports a dial failing with `error`:
// the authentication's for a refused account, else connecting the device.
DWORD FailingState(DWORD error);

// The service's English message for a RAS error code, or null.
const wchar_t* RasErrorText(DWORD code);

// Why a line drops in the "drop" scenario and with rasctl drop.
constexpr DWORD kDropError = 629;

}  // namespace fakeras
