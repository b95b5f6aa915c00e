#pragma once
#include "network/DownloadLimits.h"

// A moment some milliseconds after it was set, on the system's millisecond
// clock, or never (the default).
class Deadline {
public:
    Deadline() = default;
    // `ms` from now; kNoTimeLimit: never.
    static Deadline In(unsigned long ms);
    // Whichever of the two comes first.
    static Deadline First(const Deadline& a, const Deadline& b) { return a.Left() <= b.Left() ? a : b; }

    // Milliseconds left: 0 once it has passed, kNoTimeLimit when it never comes.
    unsigned long Left() const;

private:
    unsigned long start_ = 0;
    unsigned long ms_ = kNoTimeLimit;
};
