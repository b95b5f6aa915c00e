#pragma once
#include <windows.h>
#include <lmcons.h>
#include <ras.h>

#include <memory>
#include <string>

// The simulated RAS service keeps everything in one file beside rasapi32.dll,
// guarded by a named mutex, so the program, the tests and rasctl.exe (separate
// processes) see the same phonebook and the same connections.
namespace fakeras {

// Structure sizes of the Windows XP generation of the RAS interface, as this
// architecture lays them out; the service answers ERROR_INVALID_SIZE to anything else.
constexpr DWORD kEntrySize = 5616;
constexpr DWORD kConnStatusSize = 564;
#if defined(_WIN64)
constexpr DWORD kDialParamsSize = 2108;
constexpr DWORD kConnSize = 1372;
#else
constexpr DWORD kDialParamsSize = 2104;
constexpr DWORD kConnSize = 1368;
#endif
// Older wide entry layouts the real service still accepts (NT 5.0, 4.0, 3.51).
constexpr DWORD kOlderEntrySizes[] = {4048, 3496, 3468};

constexpr int kMaxEntries = 4;
constexpr int kMaxConnections = 64;
constexpr DWORD kDefaultHangUpDelayMs = 200;
constexpr DWORD kDefaultLockWaitMs = 10000;
// What every call answers when the service's state could not be read or
// written (its lock timed out): an error, never a guess.
constexpr DWORD kServiceBusy = ERROR_CAN_NOT_COMPLETE;

struct StoredEntry {
    wchar_t name[RAS_MaxEntryName + 1];
    DWORD size;  // dwSize the caller gave
    BYTE bytes[kEntrySize];
    BOOL hasDialParams;
    BOOL passwordRemoved;
    BYTE dialParams[kDialParamsSize];
};

struct Connection {
    DWORD handle;  // 0 marks a free slot
    wchar_t entryName[RAS_MaxEntryName + 1];
    wchar_t phoneNumber[RAS_MaxPhoneNumber + 1];
    DWORD state;   // RASCONNSTATE
    DWORD error;   // the dial's error, or why the line dropped
    BOOL closing;  // hung up; the handle stays valid until closeAt
    ULONGLONG closeAt;
    DWORD dialerProcessId;  // whose thread walks the dial; 0 when it did not start here
    wchar_t userName[UNLEN + 1];  // what RasDialW was given
    wchar_t password[PWLEN + 1];
};

struct State {
    DWORD magic;
    DWORD nextHandle;
    wchar_t scenario[32];
    DWORD hangUpDelayMs;
    // RasHangUpW waits until the dial's thread has returned from its last
    // notifier call, and a failing dial reports its failure only once a
    // hang-up has begun, so the two always meet.
    BOOL hangUpBlocks;
    DWORD hangUpWaitsTimedOut;  // blocked hang-ups that gave up waiting: a deadlock
    DWORD dials;                // dials started (RasDialW gave a handle), ever
    // The next failNextDials dials fail with failNextError, whatever the scenario.
    DWORD failNextDials;
    DWORD failNextError;
    // RasEnumConnectionsW lists hung-up connections too until their ports are closed, as RAS may.
    BOOL listsClosing;
    StoredEntry entries[kMaxEntries];
    Connection connections[kMaxConnections];
};

// Milliseconds on a clock every process shares (system time).
ULONGLONG NowMs();

// Folder of a loaded module (the DLL or an exe), with a trailing backslash.
std::wstring ModuleFolder(HMODULE module);

// Entries are looked up without regard to case, as the phonebook does.
StoredEntry* FindEntry(State& state, const wchar_t* name);
Connection* FindConnection(State& state, DWORD handle);
// A live (not hung-up) connection slot, or null when all are taken.
Connection* AddConnection(State& state, const wchar_t* entryName, DWORD connState);
// True while a dial of the entry is under way (not hung up, not failed).
bool DialInProgress(const State& state, const wchar_t* entryName);
// The live (not hung-up) connections of the entry drop (RASCS_Disconnected,
// kDropError), as when the server or the network ends them; how many did.
int DropLines(State& state, const wchar_t* entryName);
// Forgets hung-up connections whose grace time has passed, and fails dials
// whose dialling process has gone (nothing would ever finish them).
void ExpireClosed(State& state);
void ResetState(State& state);
// Forgets connections, entries and settings, but never hands out an old handle
// again: a dial thread still running for a forgotten handle must not find it.
void ForgetEverything(State& state);

// The shared state of the service whose DLL lives in `folder`.
class SharedState {
public:
    explicit SharedState(const std::wstring& folder, DWORD lockWaitMs = kDefaultLockWaitMs);
    ~SharedState();
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

    // Runs `change` on the current state under the lock and writes the result
    // back; false when the lock timed out or the state could not be saved.
    template <typename Change>
    bool Update(Change change) {
        Lock lock(mutex_, lockWaitMs_);
        if (!lock.held) return false;
        Load(*state_);
        change(*state_);
        return Save(*state_);
    }
    // A copy of the current state (hung-up connections past their grace time
    // removed), or null when the lock timed out.
    std::unique_ptr<State> Read();

    const std::wstring& FilePath() const { return path_; }

private:
    struct Lock {
        Lock(HANDLE m, DWORD waitMs) : mutex(m) {
            DWORD r = WaitForSingleObject(mutex, waitMs);
            held = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
        }
        ~Lock() {
            if (held) ReleaseMutex(mutex);
        }
        HANDLE mutex;
        bool held;
    };
    void Load(State& state);
    bool Save(const State& state);

    std::wstring path_;
    DWORD lockWaitMs_;
    HANDLE mutex_ = nullptr;
    std::unique_ptr<State> state_;
};

}  // namespace fakeras
