#include "FakeRasState.h"

#include <raserror.h>

#include <cwchar>

#include "FakeRasScenario.h"

namespace fakeras {
namespace {
constexpr DWORD kMagic = 0x4B524154;  // file layout marker; a changed layout starts afresh
constexpr DWORD kFirstHandle = 0x4B000;

std::wstring MutexNameFor(const std::wstring& path) {
    // One mutex per state file, so build folders never wait on each other.
    DWORD hash = 2166136261u;
    for (wchar_t c : path) {
        hash ^= static_cast<DWORD>(towupper(c));
        hash *= 16777619u;
    }
    wchar_t name[64];
    wsprintfW(name, L"Local\\kelda_fake_ras_%08lx", static_cast<unsigned long>(hash));
    return name;
}
bool ProcessIsRunning(DWORD processId) {
    if (processId == GetCurrentProcessId()) return true;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process) return false;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}
}  // namespace

ULONGLONG NowMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return value.QuadPart / 10000;
}

std::wstring ModuleFolder(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

StoredEntry* FindEntry(State& state, const wchar_t* name) {
    for (StoredEntry& entry : state.entries) {
        if (entry.name[0] && lstrcmpiW(entry.name, name) == 0) return &entry;
    }
    return nullptr;
}

Connection* FindConnection(State& state, DWORD handle) {
    if (!handle) return nullptr;
    for (Connection& c : state.connections) {
        if (c.handle == handle) return &c;
    }
    return nullptr;
}

Connection* AddConnection(State& state, const wchar_t* entryName, DWORD connState) {
    for (Connection& c : state.connections) {
        if (c.handle) continue;
        ZeroMemory(&c, sizeof c);
        c.handle = state.nextHandle;
        state.nextHandle += 4;
        lstrcpynW(c.entryName, entryName, RAS_MaxEntryName + 1);
        c.state = connState;
        if (StoredEntry* entry = FindEntry(state, entryName)) {
            auto* fields = reinterpret_cast<const RASENTRYW*>(entry->bytes);
            lstrcpynW(c.phoneNumber, fields->szLocalPhoneNumber, RAS_MaxPhoneNumber + 1);
        }
        return &c;
    }
    return nullptr;
}

bool DialInProgress(const State& state, const wchar_t* entryName) {
    for (const Connection& c : state.connections) {
        bool dialling = c.handle && !c.closing && !c.error && c.state < RASCS_Connected;
        if (dialling && lstrcmpiW(c.entryName, entryName) == 0) return true;
    }
    return false;
}

int DropLines(State& state, const wchar_t* entryName) {
    int dropped = 0;
    for (Connection& c : state.connections) {
        if (!c.handle || c.closing || lstrcmpW(c.entryName, entryName) != 0) continue;
        c.state = RASCS_Disconnected;
        c.error = kDropError;
        ++dropped;
    }
    return dropped;
}

void ExpireClosed(State& state) {
    ULONGLONG now = NowMs();
    for (Connection& c : state.connections) {
        if (c.handle && c.closing && now >= c.closeAt) ZeroMemory(&c, sizeof c);
        bool dialling = c.handle && !c.closing && !c.error && c.state < RASCS_Connected;
        if (dialling && c.dialerProcessId && !ProcessIsRunning(c.dialerProcessId)) {
            c.error = ERROR_PORT_DISCONNECTED;
        }
    }
}

void ResetState(State& state) {
    ZeroMemory(&state, sizeof state);
    state.magic = kMagic;
    state.nextHandle = kFirstHandle;
    state.hangUpDelayMs = kDefaultHangUpDelayMs;
}

void ForgetEverything(State& state) {
    DWORD next = state.nextHandle;
    ResetState(state);
    if (next > state.nextHandle) state.nextHandle = next;
}

SharedState::SharedState(const std::wstring& folder, DWORD lockWaitMs) : lockWaitMs_(lockWaitMs), state_(new State) {
    // One spelling of the path for every process, so all of them find the same mutex.
    wchar_t full[MAX_PATH] = {};
    std::wstring file = folder + L"fake_ras_state.bin";
    DWORD length = GetFullPathNameW(file.c_str(), MAX_PATH, full, nullptr);
    path_ = length && length < MAX_PATH ? std::wstring(full, length) : file;
    mutex_ = CreateMutexW(nullptr, FALSE, MutexNameFor(path_).c_str());
}

SharedState::~SharedState() {
    if (mutex_) CloseHandle(mutex_);
}

std::unique_ptr<State> SharedState::Read() {
    std::unique_ptr<State> copy(new State);
    Lock lock(mutex_, lockWaitMs_);
    if (!lock.held) return nullptr;
    Load(*copy);
    return copy;
}

void SharedState::Load(State& state) {
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    bool ok = file != INVALID_HANDLE_VALUE && ReadFile(file, &state, sizeof state, &read, nullptr) &&
              read == sizeof state && state.magic == kMagic;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) ResetState(state);
    ExpireClosed(state);
}

bool SharedState::Save(const State& state) {
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, &state, sizeof state, &written, nullptr) && written == sizeof state;
    CloseHandle(file);
    return ok;
}

}  // namespace fakeras
