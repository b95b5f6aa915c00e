#include "network/Deadline.h"

#include <windows.h>

Deadline Deadline::In(unsigned long ms) {
    Deadline deadline;
    deadline.start_ = GetTickCount();
    deadline.ms_ = ms;
    return deadline;
}

unsigned long Deadline::Left() const {
    if (ms_ == kNoTimeLimit) return kNoTimeLimit;
    unsigned long elapsed = GetTickCount() - start_;  // unsigned: right across the clock's wrap
    return elapsed >= ms_ ? 0 : ms_ - elapsed;
}
