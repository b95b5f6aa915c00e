#pragma once
#include <vector>

#include "update/InstallFileLayer.h"
#include "update/InstallNames.h"

// Moves every staged file into place, each target's old file aside to its
// backup name (an older backup there is replaced), for all placements or for
// none. Every rename goes to a free name, so when one fails (a file another
// program holds, say) the renames before it are undone in reverse order and
// every file stands where it stood. An older backup that is read-only is
// replaced all the same. A target or backup name that holds anything but a
// plain file (a folder, say) fails the swap before anything moves. On success
// the staged names are cleared; on failure the staged files stand under them
// again.
bool SwapIntoPlace(std::vector<Placement>& placements, WorkingNames& names, InstallFileLayer& files);
