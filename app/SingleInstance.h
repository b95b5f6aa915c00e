#pragma once
#include <windows.h>

// One copy of the program per user session. The first copy holds a named
// mutex for its whole run; a later copy brings the running copy's frame to the
// front and ends without touching the registry, the phonebook or the tray.
class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this copy is the one to run; false when another copy runs and
    // has been asked to show its frame (or showed none in time).
    bool Claim();

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};
