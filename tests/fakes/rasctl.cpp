// rasctl: looks into and steers the simulated RAS service from outside the
// program, as another dialer or the line itself would.
#include <windows.h>
#include <ras.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "FakeRasScenario.h"
#include "FakeRasState.h"

using namespace fakeras;

namespace {
const char kUsage[] =
    "usage: rasctl [--dir FOLDER] COMMAND\n"
    "  FOLDER is where rasapi32.dll (and its state) lives; default: rasctl's own folder\n"
    "  connect ENTRY     a connected connection of ENTRY, as if dialled elsewhere; prints its handle\n"
    "  drop ENTRY        live connections of ENTRY drop (RASCS_Disconnected, error 629)\n"
    "  hangup ENTRY      connections of ENTRY end at once, as if hung up elsewhere\n"
    "  fill N            N connected connections of other entries (\"Other 1\", ...)\n"
    "  list              one line per connection: handle state error name and the credentials it was dialled with\n"
    "  entry             the stored phonebook entries and their dial parameters\n"
    "  scenario [NAME]   show or choose how dials go: success refused halfopen badauth noanswer slow drop\n"
    "  hangupdelay MS    how long a hung-up handle stays valid\n"
    "  failnext N ERROR  the next N dials fail with RAS error ERROR where the real service reports it, then\n"
    "                    dials go as the scenario says\n"
    "  reset             forget connections, entries and settings\n";

void Print(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr,
                        nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::wstring Format(const wchar_t* format, ...) {
    wchar_t buffer[1024];
    va_list args;
    va_start(args, format);
    vswprintf(buffer, 1024, format, args);
    va_end(args);
    return buffer;
}

// Counts bytes of an entry that are set outside the fields the program writes.
int OtherNonZeroBytes(const StoredEntry& stored) {
    RASENTRYW entry;
    CopyMemory(&entry, stored.bytes, sizeof entry);
    entry.dwSize = 0;
    entry.dwfOptions = 0;
    ZeroMemory(entry.szLocalPhoneNumber, sizeof entry.szLocalPhoneNumber);
    entry.dwfNetProtocols = 0;
    entry.dwFramingProtocol = 0;
    ZeroMemory(entry.szDeviceType, sizeof entry.szDeviceType);
    ZeroMemory(entry.szDeviceName, sizeof entry.szDeviceName);
    entry.dwType = 0;
    entry.dwEncryptionType = 0;
    entry.dwVpnStrategy = 0;
    entry.dwfOptions2 = 0;
    entry.dwRedialCount = 0;
    entry.dwRedialPause = 0;
    int count = 0;
    for (size_t i = 0; i < sizeof entry; ++i) count += reinterpret_cast<const BYTE*>(&entry)[i] != 0;
    return count;
}

void PrintEntries(const State& state) {
    for (const StoredEntry& stored : state.entries) {
        if (!stored.name[0]) continue;
        const auto* e = reinterpret_cast<const RASENTRYW*>(stored.bytes);
        Print(Format(L"entry \"%ls\" dwSize=%lu\n  dwfOptions=0x%08lx\n  szLocalPhoneNumber=%ls\n"
                     L"  dwfNetProtocols=%lu\n  dwFramingProtocol=%lu\n  szDeviceType=%ls\n  szDeviceName=%ls\n",
                     stored.name, stored.size, e->dwfOptions, e->szLocalPhoneNumber, e->dwfNetProtocols,
                     e->dwFramingProtocol, e->szDeviceType, e->szDeviceName));
        Print(Format(L"  dwType=%lu\n  dwEncryptionType=%lu\n  dwVpnStrategy=%lu\n  dwfOptions2=%lu\n"
                     L"  dwRedialCount=%lu\n  dwRedialPause=%lu\n  otherNonZeroBytes=%d\n",
                     e->dwType, e->dwEncryptionType, e->dwVpnStrategy, e->dwfOptions2, e->dwRedialCount,
                     e->dwRedialPause, OtherNonZeroBytes(stored)));
        if (!stored.hasDialParams) {
            Print(L"  no dial parameters\n");
            continue;
        }
        const auto* p = reinterpret_cast<const RASDIALPARAMSW*>(stored.dialParams);
        Print(Format(L"  dialparams entry=\"%ls\" user=\"%ls\" password=\"%ls\" passwordStored=%d "
                     L"phone=\"%ls\" callback=\"%ls\" domain=\"%ls\" subEntry=%lu\n",
                     p->szEntryName, p->szUserName, p->szPassword, stored.passwordRemoved ? 0 : 1,
                     p->szPhoneNumber, p->szCallbackNumber, p->szDomain, p->dwSubEntry));
    }
}

void PrintConnections(const State& state) {
    for (const Connection& c : state.connections) {
        if (!c.handle) continue;
        Print(Format(L"0x%lx state=%lu error=%lu%ls \"%ls\" user=\"%ls\" password=\"%ls\"\n", c.handle, c.state,
                     c.error, c.closing ? L" closing" : L"", c.entryName, c.userName, c.password));
    }
}

// Marks the live connections of `entry`; returns how many there were.
template <typename Change>
int ForEntry(SharedState& shared, const wchar_t* entry, Change change) {
    int count = 0;
    shared.Update([&](State& s) {
        for (Connection& c : s.connections) {
            if (c.handle && !c.closing && lstrcmpW(c.entryName, entry) == 0) {
                change(c);
                ++count;
            }
        }
    });
    return count;
}

int Run(SharedState& shared, const std::wstring& command, const wchar_t* argument, const wchar_t* second) {
    if (command == L"list" || command == L"entry" || (command == L"scenario" && !argument)) {
        std::unique_ptr<State> state = shared.Read();
        if (!state) {
            fputs("rasctl: the service's state is locked\n", stderr);
            return 1;
        }
        if (command == L"list") PrintConnections(*state);
        if (command == L"entry") PrintEntries(*state);
        if (command == L"scenario") {
            Print(Format(L"%ls\n", state->scenario[0] ? state->scenario : DefaultScenario().name));
        }
        return 0;
    }
    if (command == L"reset") return shared.Update([](State& s) { ForgetEverything(s); }) ? 0 : 1;
    if (!argument) return 2;
    if (command == L"connect") {
        DWORD handle = 0;
        shared.Update([&](State& s) {
            if (Connection* c = AddConnection(s, argument, RASCS_Connected)) handle = c->handle;
        });
        if (!handle) return 1;
        Print(Format(L"0x%lx\n", handle));
        return 0;
    }
    if (command == L"drop") {
        int dropped = 0;
        shared.Update([&](State& s) { dropped = DropLines(s, argument); });
        return dropped ? 0 : 1;
    }
    if (command == L"failnext") {
        if (!second) return 2;
        DWORD count = wcstoul(argument, nullptr, 10), error = wcstoul(second, nullptr, 10);
        return shared.Update([&](State& s) {
                   s.failNextDials = count;
                   s.failNextError = error;
               }) ? 0 : 1;
    }
    if (command == L"hangup") {
        return ForEntry(shared, argument, [](Connection& c) { ZeroMemory(&c, sizeof c); }) ? 0 : 1;
    }
    if (command == L"fill") {
        int wanted = _wtoi(argument), added = 0;
        shared.Update([&](State& s) {
            for (int i = 1; i <= wanted; ++i) {
                if (AddConnection(s, Format(L"Other %d", i).c_str(), RASCS_Connected)) ++added;
            }
        });
        return added == wanted ? 0 : 1;
    }
    if (command == L"scenario") {
        const Scenario* scenario = FindScenario(argument);
        if (!scenario) return 2;
        return shared.Update([&](State& s) { lstrcpynW(s.scenario, scenario->name, 32); }) ? 0 : 1;
    }
    if (command == L"hangupdelay") {
        DWORD delay = wcstoul(argument, nullptr, 10);
        return shared.Update([&](State& s) { s.hangUpDelayMs = delay; }) ? 0 : 1;
    }
    return 2;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring folder = ModuleFolder(nullptr);
    int next = 1;
    if (argc > 2 && std::wstring(argv[1]) == L"--dir") {
        folder = argv[2];
        if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
        next = 3;
    }
    if (next >= argc) {
        fputs(kUsage, stderr);
        return 2;
    }
    SharedState shared(folder);
    int result = Run(shared, argv[next], next + 1 < argc ? argv[next + 1] : nullptr,
                     next + 2 < argc ? argv[next + 2] : nullptr);
    if (result == 2) fputs(kUsage, stderr);
    fflush(stdout);
    return result;
}
