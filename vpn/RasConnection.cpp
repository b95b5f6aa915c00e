#include "vpn/RasConnection.h"

#include <algorithm>
#include <cwchar>

#include "framework/StructureSizes.h"
#include "settings/AppConfig.h"
#include "vpn/DialNotifier.h"
#include "vpn/PhonebookEntry.h"

// The Windows XP generation of each structure; RAS rejects any other dwSize
// with ERROR_INVALID_SIZE.
static_assert(sizeof(RASCONNSTATUSW) == kRasConnStatusSize, "RASCONNSTATUSW must have the XP layout");
static_assert(sizeof(RASCONNW) == kRasConnSize, "RASCONNW must have the XP layout");

namespace {
constexpr DWORD kReleasePollMs = 50;
// RasEnumConnectionsW is asked for at most this many connections.
constexpr int kEnumeratedConnections = 10;

// RasGetConnectStatusW for a handle; its result code.
DWORD QueryStatus(HRASCONN handle, RASCONNSTATUSW& status) {
    ZeroMemory(&status, sizeof status);
    status.dwSize = kRasConnStatusSize;
    return RasGetConnectStatusW(handle, &status);
}

bool ReportsConnected(HRASCONN handle) {
    RASCONNSTATUSW status;
    return QueryStatus(handle, status) == 0 && status.rasconnstate == RASCS_Connected;
}

// Where a handle stands as RAS sees it.
enum class Condition {
    Gone,       // RAS no longer knows it
    Dialling,   // a dial in progress
    Connected,
    Ended,      // the dial failed or the line dropped; RAS still holds its port
};

Condition ConditionOf(HRASCONN handle) {
    RASCONNSTATUSW status;
    DWORD result = QueryStatus(handle, status);
    if (result == ERROR_INVALID_HANDLE) return Condition::Gone;
    if (result == 0 && status.rasconnstate == RASCS_Connected) return Condition::Connected;
    if (result != 0 || status.dwError != 0 || status.rasconnstate == RASCS_Disconnected) return Condition::Ended;
    return Condition::Dialling;
}

struct ConnectionList {
    RASCONNW items[kEnumeratedConnections];
    DWORD count = 0;
};
static_assert(sizeof(ConnectionList::items) == 10 * kRasConnSize, "ten RASCONNW elements, nothing between them");

// False when RAS refuses, which includes holding more connections than the list.
bool EnumerateConnections(ConnectionList& list) {
    ZeroMemory(list.items, sizeof list.items);
    list.items[0].dwSize = kRasConnSize;
    DWORD bytes = sizeof list.items;
    list.count = 0;
    if (RasEnumConnectionsW(list.items, &bytes, &list.count) != 0) return false;
    if (list.count > kEnumeratedConnections) list.count = kEnumeratedConnections;
    return true;
}

bool IsProgramEntry(RASCONNW& connection) {
    connection.szEntryName[RAS_MaxEntryName] = L'\0';
    return wcscmp(connection.szEntryName, AppConfig.connectionName) == 0;
}
}  // namespace

bool RasConnection::IsConnected() { return hrasconn && ReportsConnected(hrasconn); }

HRASCONN RasConnection::FindConnection() {
    ConnectionList list;
    if (!EnumerateConnections(list)) return nullptr;
    for (DWORD i = 0; i < list.count; ++i) {
        // RAS may still list a connection we hung up until it has closed the port:
        // that one is on its way out, not one to take over.
        bool hungUp = std::find(releasing.begin(), releasing.end(), list.items[i].hrasconn) != releasing.end();
        if (IsProgramEntry(list.items[i]) && !hungUp) return list.items[i].hrasconn;
    }
    return nullptr;
}

HRASCONN RasConnection::AdoptConnection() {
    HRASCONN found = FindConnection();
    if (found != hrasconn && hrasconn) {
        switch (ConditionOf(hrasconn)) {
        case Condition::Connected:
            if (!HangUp()) return hrasconn;  // still live: never dropped unseen
            break;
        case Condition::Dialling:
            return hrasconn;  // ours, still dialling (the list may just have been too long to show it)
        case Condition::Ended:
            LetGo(hrasconn);
            break;
        case Condition::Gone:
            break;
        }
    }
    hrasconn = found;
    return found;
}

bool RasConnection::HangUp() {
    if (!hrasconn) return false;
    // A dial still in progress is left alone.
    if (!ReportsConnected(hrasconn)) return false;
    ConnectionList list;
    if (!EnumerateConnections(list)) return false;
    for (DWORD i = 0; i < list.count; ++i) {
        if (IsProgramEntry(list.items[i])) LetGo(list.items[i].hrasconn);
    }
    hrasconn = nullptr;
    return true;
}

bool RasConnection::ReleaseFailedDial() {
    if (!hrasconn) return false;
    Condition condition = ConditionOf(hrasconn);
    if (condition == Condition::Dialling || condition == Condition::Connected) return false;
    if (condition == Condition::Ended) LetGo(hrasconn);
    hrasconn = nullptr;
    return true;
}

bool RasConnection::Dial() {
    HangUp();
    // Whatever is still held (our dial in progress, a failed one not yet let go
    // by the view's tick) is hung up before its handle is replaced.
    if (hrasconn) LetGo(hrasconn);
    PrepareEntry();
    RASDIALPARAMSW params = ProgramDialParams();
    hrasconn = nullptr;
    DWORD result = RasDialW(nullptr, nullptr, &params, 1, reinterpret_cast<LPVOID>(&DialNotifier), &hrasconn);
    ForgetPassword(params);
    refusal = result;
    if (result != 0 && hrasconn) {
        // Refused after RAS had opened a port for it: the port stays taken until hung up.
        LetGo(hrasconn);
        hrasconn = nullptr;
    }
    return result == 0;
}

void RasConnection::HangUpEverything() {
    HangUp();
    if (hrasconn) LetGo(hrasconn);
    hrasconn = nullptr;
}

bool RasConnection::FinishReleases() {
    releasing.erase(std::remove_if(releasing.begin(), releasing.end(),
                                   [](HRASCONN handle) { return ConditionOf(handle) == Condition::Gone; }),
                    releasing.end());
    return !releasing.empty();
}

void RasConnection::WaitForReleases(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    // Nothing here needs the window's thread: the notifier only posts to it.
    while (FinishReleases() && GetTickCount() - start < timeoutMs) Sleep(kReleasePollMs);
}

// RAS closes the port after RasHangUpW returns; the handle stays valid until it has.
void RasConnection::LetGo(HRASCONN handle) {
    RasHangUpW(handle);
    if (std::find(releasing.begin(), releasing.end(), handle) == releasing.end()) releasing.push_back(handle);
}
