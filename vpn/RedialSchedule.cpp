#include "vpn/RedialSchedule.h"

#include <raserror.h>

#include <algorithm>

namespace {
constexpr DWORD kDelays[] = {5, 10, 20, 40, 60};  // the last one repeats
constexpr int kDelayCount = sizeof kDelays / sizeof kDelays[0];
}  // namespace

bool IsAccountRefusal(DWORD error) {
    switch (error) {
    case ERROR_AUTHENTICATION_FAILURE:
    case ERROR_RESTRICTED_LOGON_HOURS:
    case ERROR_ACCT_DISABLED:
    case ERROR_PASSWD_EXPIRED:
    case ERROR_NO_DIALIN_PERMISSION:
        return true;
    default:
        return false;
    }
}

void RedialSchedule::Begin(Phase phase, bool restoring, bool retry) {
    phase_ = phase;
    failures_ = 0;
    restoring_ = restoring;
    attemptIsRetry_ = retry;
}

void RedialSchedule::BeginAfterDrop(DWORD now) {
    Begin(Phase::Waiting, true, false);
    Wait(now);
}

void RedialSchedule::AttemptStarted() {
    if (!Pursuing()) return;
    phase_ = Phase::Dialling;
    attemptIsRetry_ = true;
}

void RedialSchedule::AttemptFailed(DWORD now) {
    if (!Dialling()) return;  // already counted, or nothing pursued
    phase_ = Phase::Waiting;
    Wait(now);
}

bool RedialSchedule::Connected() {
    bool restored = Pursuing() && restoring_;
    Stop();
    return restored;
}

void RedialSchedule::Wait(DWORD now) {
    waitStart_ = now;
    waitMs_ = kDelays[std::min(failures_, kDelayCount - 1)] * unitMs_;
    if (failures_ < kDelayCount) ++failures_;
}

DWORD RedialSchedule::SecondsLeft(DWORD now) const {
    if (!Waiting()) return 0;
    DWORD passed = now - waitStart_;
    DWORD left = passed >= waitMs_ ? 0 : waitMs_ - passed;
    return (left + unitMs_ - 1) / unitMs_;
}
