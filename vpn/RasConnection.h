#pragma once
#include <windows.h>
#include <ras.h>

// The view's progress label; written before every dial, read by DialNotifier.
extern HWND dialStatusWindow;

// RAS calls it on a thread of its own for every state of a dial.
void WINAPI DialNotifier(HRASCONN hrasconn, UINT message, RASCONNSTATE state, DWORD error, DWORD extendedError);

// Size of the wide phonebook entry structure the given Windows NT version expects.
DWORD RasEntrySizeForVersion(DWORD major, DWORD minor);

// The program's one VPN connection: its phonebook entry, dial, hang-up and state.
class RasConnection {
public:
    // True only while RAS reports the held connection as RASCS_Connected.
    bool IsConnected();
    // The first listed connection of the program's entry (exact name), or null.
    HRASCONN FindConnection();
    // Takes over a connection of the entry started elsewhere; drops a handle RAS no longer lists.
    HRASCONN AdoptConnection();
    // Hangs up every connection of the entry, only when the held one is connected.
    bool HangUp();
    // Rewrites the phonebook entry and its dial parameters.
    void PrepareEntry();
    DWORD StoreDialParams();
    // Hangs up a connected connection, rewrites the entry, starts an asynchronous dial.
    bool Dial();
    // Hangs up a held connection whose dial failed or whose line dropped, so the
    // next dial starts clean; true when it let one go. Called on the view's tick.
    bool ReleaseFailedDial();

    HRASCONN hrasconn = nullptr;
};
