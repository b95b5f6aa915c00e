// The RAS calls kelda_tx makes, answered by the simulated service: the same
// structure-size checks, result codes and asynchronous dial as the real one.
#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <cstddef>

#include "FakeRasService.h"

namespace fakeras {

static_assert(sizeof(RASENTRYW) == kEntrySize, "XP-generation RASENTRYW");  // of this architecture
static_assert(sizeof(RASDIALPARAMSW) == kDialParamsSize, "XP-generation RASDIALPARAMSW");
static_assert(sizeof(RASCONNSTATUSW) == kConnStatusSize, "XP-generation RASCONNSTATUSW");
static_assert(sizeof(RASCONNW) == kConnSize, "XP-generation RASCONNW");

namespace {
const wchar_t kDeviceType[] = L"vpn";
const wchar_t kDeviceName[] = L"WAN Miniport (PPTP)";

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

bool IsEntrySize(DWORD size) {
    if (size == kEntrySize) return true;
    for (DWORD older : kOlderEntrySizes) {
        if (size == older) return true;
    }
    return false;
}

// What the real service refuses in an entry before storing it.
DWORD CheckEntryFields(const RASENTRYW& entry) {
    if (entry.dwSize >= offsetof(RASENTRYW, dwType) + sizeof(DWORD) &&
        (entry.dwType < RASET_Phone || entry.dwType > RASET_Broadband)) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD framing = entry.dwFramingProtocol;
    if (framing != RASFP_Ppp && framing != RASFP_Slip && framing != RASFP_Ras) return ERROR_INVALID_PARAMETER;
    return 0;
}

// The service's handles are small numbers; anything wider is no handle of ours (0).
DWORD ToHandleValue(HRASCONN handle) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    return value == static_cast<DWORD>(value) ? static_cast<DWORD>(value) : 0;
}
HRASCONN FromHandleValue(DWORD value) { return reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(value)); }
}  // namespace

SharedState& Service() {
    static SharedState state(ModuleFolder(ThisModule()));
    return state;
}

const Scenario& CurrentScenario() {
    wchar_t name[32] = {};
    DWORD length = GetEnvironmentVariableW(L"KELDA_RAS_SCENARIO", name, 32);
    if (length == 0 || length >= 32) {
        // Unreadable state: the default, and the dial's own update then fails.
        if (std::unique_ptr<State> state = Service().Read()) lstrcpynW(name, state->scenario, 32);
    }
    const Scenario* chosen = name[0] ? FindScenario(name) : nullptr;
    return chosen ? *chosen : DefaultScenario();
}

}  // namespace fakeras

using namespace fakeras;

extern "C" {

DWORD WINAPI RasSetEntryPropertiesW(LPCWSTR /*phonebook*/, LPCWSTR entryName, LPRASENTRYW entry,
                                    DWORD entryInfoSize, LPBYTE /*deviceInfo*/, DWORD /*deviceInfoSize*/) {
    if (!entryName || !entryName[0] || lstrlenW(entryName) > RAS_MaxEntryName) return ERROR_INVALID_NAME;
    if (!entry) return ERROR_INVALID_PARAMETER;
    if (!IsEntrySize(entry->dwSize)) return ERROR_INVALID_SIZE;
    if (entryInfoSize < entry->dwSize) return ERROR_BUFFER_INVALID;
    if (DWORD refused = CheckEntryFields(*entry)) return refused;

    DWORD result = 0;
    bool saved = Service().Update([&](State& s) {
        StoredEntry* stored = FindEntry(s, entryName);
        if (!stored) {
            for (StoredEntry& free : s.entries) {
                if (!free.name[0]) {
                    ZeroMemory(&free, sizeof free);
                    stored = &free;
                    break;
                }
            }
        }
        if (!stored) {
            result = ERROR_CANNOT_WRITE_PHONEBOOK;
            return;
        }
        // Rewriting an entry keeps its stored credentials, as the real phonebook does.
        lstrcpynW(stored->name, entryName, RAS_MaxEntryName + 1);
        stored->size = entry->dwSize;
        ZeroMemory(stored->bytes, sizeof stored->bytes);
        CopyMemory(stored->bytes, entry, entry->dwSize);
    });
    return saved ? result : kServiceBusy;
}

DWORD WINAPI RasSetEntryDialParamsW(LPCWSTR /*phonebook*/, LPRASDIALPARAMSW params, BOOL removePassword) {
    if (!params) return ERROR_INVALID_PARAMETER;
    if (params->dwSize != kDialParamsSize) return ERROR_INVALID_SIZE;
    DWORD result = 0;
    bool saved = Service().Update([&](State& s) {
        StoredEntry* stored = FindEntry(s, params->szEntryName);
        if (!stored) {
            result = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
            return;
        }
        CopyMemory(stored->dialParams, params, kDialParamsSize);
        stored->hasDialParams = TRUE;
        stored->passwordRemoved = removePassword;
        if (removePassword) {
            auto* kept = reinterpret_cast<RASDIALPARAMSW*>(stored->dialParams);
            ZeroMemory(kept->szPassword, sizeof kept->szPassword);
        }
    });
    return saved ? result : kServiceBusy;
}

DWORD WINAPI RasDialW(LPRASDIALEXTENSIONS /*extensions*/, LPCWSTR /*phonebook*/, LPRASDIALPARAMSW params,
                      DWORD notifierType, LPVOID notifier, LPHRASCONN handleOut) {
    if (!params || !handleOut) return ERROR_INVALID_PARAMETER;
    if (params->dwSize != kDialParamsSize) return ERROR_INVALID_SIZE;
    if (notifier && notifierType > 2) return ERROR_INVALID_PARAMETER;
    // A handle passed in asks to resume a paused dial, which this service never has.
    if (*handleOut) return ERROR_INVALID_HANDLE;

    const Scenario& scenario = CurrentScenario();
    if (scenario.refusal && !scenario.refusalHoldsPort) return scenario.refusal;

    DWORD result = 0;
    DWORD handle = 0;
    Scenario dial = scenario;
    bool saved = Service().Update([&](State& s) {
        if (!FindEntry(s, params->szEntryName)) {
            result = ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
            return;
        }
        if (DialInProgress(s, params->szEntryName)) {
            result = ERROR_DIAL_ALREADY_IN_PROGRESS;
            return;
        }
        Connection* c = AddConnection(s, params->szEntryName, RASCS_OpenPort);
        if (!c) {
            result = ERROR_PORT_NOT_AVAILABLE;
            return;
        }
        c->dialerProcessId = GetCurrentProcessId();
        lstrcpynW(c->userName, params->szUserName, UNLEN + 1);
        lstrcpynW(c->password, params->szPassword, PWLEN + 1);
        c->error = scenario.refusal;
        handle = c->handle;
        ++s.dials;
        if (s.failNextDials && !scenario.refusal) {
            --s.failNextDials;
            dial.failure = s.failNextError;
            dial.failAtState = FailingState(s.failNextError);
        }
    });
    if (!saved) return kServiceBusy;
    if (result) return result;

    *handleOut = FromHandleValue(handle);
    // Refused, yet with a handle: its port stays taken until the caller hangs it up.
    if (scenario.refusal) return scenario.refusal;
    DialJob job{handle, notifierType, notifier, params->dwCallbackId, params->dwSubEntry, dial, nullptr};
    if (!notifier) return RunDial(job);
    if (!StartDialThread(job)) {
        Service().Update([&](State& s) {
            if (Connection* c = FindConnection(s, handle)) ZeroMemory(c, sizeof *c);
        });
        *handleOut = nullptr;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return 0;
}

// The line goes down at once, but the handle stays valid for the service's
// hang-up delay, so callers must wait for ERROR_INVALID_HANDLE as on Windows.
DWORD WINAPI RasHangUpW(HRASCONN handle) {
    DWORD result = 0;
    bool blocks = false;
    bool saved = Service().Update([&](State& s) {
        blocks = s.hangUpBlocks != FALSE;
        Connection* c = FindConnection(s, ToHandleValue(handle));
        if (!c) {
            result = ERROR_INVALID_HANDLE;
            return;
        }
        if (c->closing) return;
        c->closing = TRUE;
        c->closeAt = NowMs() + s.hangUpDelayMs;
        c->state = RASCS_Disconnected;
    });
    if (!saved) return kServiceBusy;
    if (result) return result;
    if (!WakeDial(ToHandleValue(handle), blocks)) {
        Service().Update([](State& s) { ++s.hangUpWaitsTimedOut; });
    }
    return 0;
}

DWORD WINAPI RasGetConnectStatusW(HRASCONN handle, LPRASCONNSTATUSW status) {
    if (!status) return ERROR_INVALID_PARAMETER;
    if (status->dwSize != kConnStatusSize) return ERROR_INVALID_SIZE;
    std::unique_ptr<State> state = Service().Read();
    if (!state) return kServiceBusy;
    Connection* c = FindConnection(*state, ToHandleValue(handle));
    if (!c) return ERROR_INVALID_HANDLE;
    status->rasconnstate = static_cast<RASCONNSTATE>(c->state);
    status->dwError = c->error;
    lstrcpynW(status->szDeviceType, kDeviceType, RAS_MaxDeviceType + 1);
    lstrcpynW(status->szDeviceName, kDeviceName, RAS_MaxDeviceName + 1);
    lstrcpynW(status->szPhoneNumber, c->phoneNumber, RAS_MaxPhoneNumber + 1);
    return 0;
}

DWORD WINAPI RasEnumConnectionsW(LPRASCONNW connections, LPDWORD bufferSize, LPDWORD count) {
    if (!bufferSize || !count) return ERROR_INVALID_PARAMETER;
    if (connections && connections->dwSize != kConnSize) return ERROR_INVALID_SIZE;
    std::unique_ptr<State> state = Service().Read();
    if (!state) return kServiceBusy;
    DWORD live = 0;
    for (const Connection& c : state->connections) {
        if (c.handle && (!c.closing || state->listsClosing)) ++live;
    }
    DWORD needed = live * kConnSize;
    if (!connections || *bufferSize < needed) {
        *bufferSize = needed;
        *count = live;
        return needed ? ERROR_BUFFER_TOO_SMALL : 0;
    }
    DWORD written = 0;
    for (const Connection& c : state->connections) {
        if (!c.handle || (c.closing && !state->listsClosing)) continue;
        RASCONNW& out = connections[written++];
        ZeroMemory(&out, sizeof out);
        out.dwSize = kConnSize;
        out.hrasconn = FromHandleValue(c.handle);
        lstrcpynW(out.szEntryName, c.entryName, RAS_MaxEntryName + 1);
        lstrcpynW(out.szDeviceType, kDeviceType, RAS_MaxDeviceType + 1);
        lstrcpynW(out.szDeviceName, kDeviceName, RAS_MaxDeviceName + 1);
    }
    *bufferSize = needed;
    *count = written;
    return 0;
}

DWORD WINAPI RasGetErrorStringW(UINT code, LPWSTR buffer, DWORD bufferChars) {
    if (!buffer) return ERROR_INVALID_PARAMETER;
    const wchar_t* text = RasErrorText(code);
    if (!text) return ERROR_INVALID_PARAMETER;
    if (static_cast<DWORD>(lstrlenW(text)) + 1 > bufferChars) return ERROR_INSUFFICIENT_BUFFER;
    lstrcpynW(buffer, text, bufferChars);
    return 0;
}

}  // extern "C"
