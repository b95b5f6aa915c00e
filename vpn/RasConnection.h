#pragma once
#include <windows.h>
#include <ras.h>

#include <vector>

// The program's one VPN connection: dial, hang-up and state. The entry it
// dials is vpn/PhonebookEntry.h's; each dial's states come through
// vpn/DialNotifier.h.
//
// No hang-up waits on the window's thread: each returns at once and keeps the
// hung-up handles in `releasing`; the view's 100 ms tick forgets those RAS has
// let go (FinishReleases), and only the program's end waits for the rest
// (WaitForReleases), with the window already hidden.
class RasConnection {
public:
    // True only while RAS reports the held connection as RASCS_Connected.
    bool IsConnected();
    // The first listed connection of the program's entry (exact name) that we
    // have not hung up ourselves, or null.
    HRASCONN FindConnection();
    // Takes over a connection of the entry started elsewhere; drops a handle RAS
    // no longer lists. A dial of ours still in progress is kept, never dropped.
    HRASCONN AdoptConnection();
    // Hangs up every connection of the entry, only when the held one is connected.
    bool HangUp();
    // Hangs up a connected connection or lets go of a dial still in progress,
    // rewrites the entry, starts an asynchronous dial. A dial refused with a
    // handle is let go at once; RasDialW's own error stays in `refusal`.
    bool Dial();
    // Lets go of a held connection whose dial failed or whose line dropped, so
    // the next dial starts clean; true when it let one go. Called on the view's tick.
    bool ReleaseFailedDial();
    // For the program's end: hangs up whatever is held, a connection of the
    // entry or a dial in progress.
    void HangUpEverything();
    // Forgets the hung-up handles RAS has let go; true while some are not yet.
    bool FinishReleases();
    // Blocks until RAS has let go of every hung-up handle, at most timeoutMs.
    // Only for the program's end: it would freeze a shown window.
    void WaitForReleases(DWORD timeoutMs);

    HRASCONN hrasconn = nullptr;
    std::vector<HRASCONN> releasing;  // hung up, not yet let go by RAS
    DWORD refusal = 0;                // why RasDialW refused the last dial; 0 when it started

private:
    void LetGo(HRASCONN handle);
};
