#pragma once
#include <windows.h>

#include "framework/UniqueHandle.h"

// One copy of the program per user session. The first copy holds a named
// mutex for its whole run; a later copy brings the running copy's frame to the
// front and ends without touching the registry, the phonebook or the tray.
class SingleInstance {
public:
    SingleInstance();

    // True when this copy is the one to run; false when another copy runs and
    // has been asked to show its frame (or showed none in time).
    bool Claim();

private:
    UniqueKernelHandle mutex_;
    // The same mutex while this copy holds it: let go of before it is closed.
    UniqueHandle<HANDLE, ReleaseMutex> owned_;
};
