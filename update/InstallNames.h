#pragma once
#include <string>
#include <vector>

// The names an install works with for one entry of the archive, all relative
// to the program's folder and all in the folder of the entry's target.
struct Placement {
    std::string target;  // the entry's name: where its new contents end up
    std::string backup;  // where the old file is kept: "_" before the file's own name
    std::string staged;  // the install's file that holds the new contents until they move in
};

// "_" before the file's own name, in the file's own folder: "_kelda_tx.exe",
// "sub/_x.dll" (a "_sub" folder would not exist).
std::string BackupName(const std::string& name);

// Names for the install's own working files ("_kelda_update_<n>.tmp") beside a
// given file. No two are alike within one install, and none is the target or
// the backup of an entry (letter case aside, as Windows compares names), so an
// entry never meets another entry's working file. At the top level they match
// "_kelda_*", so files a crash left behind go at the next start.
class WorkingNames {
public:
    explicit WorkingNames(const std::vector<Placement>& placements) : placements_(placements) {}
    // A fresh name in the folder of `beside`; it may exist on disk, the caller checks.
    std::string Next(const std::string& beside);

private:
    bool UsedByEntry(const std::string& name) const;

    const std::vector<Placement>& placements_;
    unsigned counter_ = 0;
};
