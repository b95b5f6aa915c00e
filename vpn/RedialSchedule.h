#pragma once
#include <windows.h>

// True for the errors with which the server refuses the account itself (a bad
// password, a disabled or expired account, hours or dial-in not allowed): no
// retry can mend those.
bool IsAccountRefusal(DWORD error);

// When to dial again while the user wants the line up: 5, 10, 20, 40 and 60
// seconds after each failure, then every 60. Bookkeeping only, on the caller's
// clock (GetTickCount); the view drives it from its tick. `unitMs` is the
// length of one of those seconds, which tests shorten.
class RedialSchedule {
public:
    static constexpr DWORD kSecondMs = 1000;
    explicit RedialSchedule(DWORD unitMs = kSecondMs) : unitMs_(unitMs) {}

    // The automatic dial at start is being made.
    void BeginAtStart() { Begin(Phase::Dialling, false, false); }
    // The line dropped by itself: the first retry waits the first delay.
    void BeginAfterDrop(DWORD now);
    // Windows woke up without the line it had: a retry is being made at once.
    void BeginAfterResume() { Begin(Phase::Dialling, true, true); }
    // A retry is being made (when due, or the user's dial during a wait); nothing when not pursuing.
    void AttemptStarted();
    // The attempt under way failed for the network: wait for the next one.
    void AttemptFailed(DWORD now);
    // The line is up again; true when it was restored after a drop or sleep.
    bool Connected();
    void Stop() { Begin(Phase::Idle, false, false); }

    bool Pursuing() const { return phase_ != Phase::Idle; }
    bool Waiting() const { return phase_ == Phase::Waiting; }
    bool Dialling() const { return phase_ == Phase::Dialling; }
    // Whether the attempt last started was a retry, whose failure the countdown tells.
    bool AttemptWasRetry() const { return attemptIsRetry_; }
    bool Due(DWORD now) const { return Waiting() && now - waitStart_ >= waitMs_; }
    // Whole seconds (units) left before the next attempt, rounded up.
    DWORD SecondsLeft(DWORD now) const;

private:
    enum class Phase { Idle, Waiting, Dialling };
    void Begin(Phase phase, bool restoring, bool retry);
    void Wait(DWORD now);

    DWORD unitMs_;
    Phase phase_ = Phase::Idle;
    int failures_ = 0;
    bool restoring_ = false;  // the pursuit began with a drop or a wake-up
    bool attemptIsRetry_ = false;
    DWORD waitStart_ = 0;
    DWORD waitMs_ = 0;
};
