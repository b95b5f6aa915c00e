#include "vpn/RasConnection.h"

#include <cwchar>

#include "settings/AppConfig.h"
#include "vpn/DialParams.h"
#include "vpn/RasStructures.h"

namespace {
// After a hang-up RAS needs a moment to close the port; the handle stays valid
// until it has. Wait for that, but never longer than this.
constexpr DWORD kReleaseWaitMs = 3000;
constexpr DWORD kReleasePollMs = 50;

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

// Lets a dial notifier that is sending to this thread's windows finish while we wait.
void PauseProcessingSentMessages(DWORD milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_SENDMESSAGE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// Waits until RAS reports every hung-up handle gone (ERROR_INVALID_HANDLE).
void WaitUntilReleased(const HRASCONN* handles, DWORD count) {
    DWORD start = GetTickCount();
    for (DWORD i = 0; i < count;) {
        RASCONNSTATUSW status;
        if (QueryStatus(handles[i], status) == ERROR_INVALID_HANDLE) {
            ++i;
            continue;
        }
        if (GetTickCount() - start >= kReleaseWaitMs) return;
        PauseProcessingSentMessages(kReleasePollMs);
    }
}
}  // namespace

bool RasConnection::IsConnected() { return hrasconn && ReportsConnected(hrasconn); }

HRASCONN RasConnection::FindConnection() {
    ConnectionList list;
    if (!EnumerateConnections(list)) return nullptr;
    for (DWORD i = 0; i < list.count; ++i) {
        if (IsProgramEntry(list.items[i])) return list.items[i].hrasconn;
    }
    return nullptr;
}

HRASCONN RasConnection::AdoptConnection() {
    HRASCONN found = FindConnection();
    if (found != hrasconn && hrasconn && ReportsConnected(hrasconn)) HangUp();
    hrasconn = found;
    return found;
}

bool RasConnection::HangUp() {
    if (!hrasconn) return false;
    // A dial still in progress is left alone.
    if (!ReportsConnected(hrasconn)) return false;
    ConnectionList list;
    if (!EnumerateConnections(list)) return false;
    HRASCONN hungUp[kEnumeratedConnections];
    DWORD hungUpCount = 0;
    for (DWORD i = 0; i < list.count; ++i) {
        if (!IsProgramEntry(list.items[i])) continue;
        RasHangUpW(list.items[i].hrasconn);
        hungUp[hungUpCount++] = list.items[i].hrasconn;
    }
    WaitUntilReleased(hungUp, hungUpCount);
    hrasconn = nullptr;
    return true;
}

bool RasConnection::ReleaseFailedDial() {
    if (!hrasconn) return false;
    RASCONNSTATUSW status;
    DWORD result = QueryStatus(hrasconn, status);
    bool failed = result != 0 || status.dwError != 0 || status.rasconnstate == RASCS_Disconnected;
    if (!failed) return false;
    if (result != ERROR_INVALID_HANDLE) {
        RasHangUpW(hrasconn);
        WaitUntilReleased(&hrasconn, 1);
    }
    hrasconn = nullptr;
    return true;
}

bool RasConnection::Dial() {
    HangUp();
    // A failed dial not yet released by the view's tick would otherwise keep its port.
    ReleaseFailedDial();
    PrepareEntry();
    RASDIALPARAMSW params = ProgramDialParams();
    hrasconn = nullptr;
    DWORD result = RasDialW(nullptr, nullptr, &params, 1, reinterpret_cast<LPVOID>(&DialNotifier), &hrasconn);
    ForgetPassword(params);
    return result == 0;
}
