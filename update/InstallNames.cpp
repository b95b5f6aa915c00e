#include "update/InstallNames.h"

namespace {
// Where the file's own name starts: behind its last separator.
std::size_t OwnNameStart(const std::string& name) {
    std::size_t separator = name.find_last_of("/\\");
    return separator == std::string::npos ? 0 : separator + 1;
}

// The form Windows compares names in, for the ASCII letters and the two separators.
std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == '\\') c = '/';
    }
    return folded;
}
}  // namespace

std::string BackupName(const std::string& name) {
    std::size_t start = OwnNameStart(name);
    return name.substr(0, start) + "_" + name.substr(start);
}

std::string WorkingNames::Next(const std::string& beside) {
    std::string folder = beside.substr(0, OwnNameStart(beside));
    std::string name;
    do name = folder + "_kelda_update_" + std::to_string(counter_++) + ".tmp";
    while (UsedByEntry(name));
    return name;
}

bool WorkingNames::UsedByEntry(const std::string& name) const {
    std::string folded = Folded(name);
    for (const Placement& placement : placements_) {
        if (Folded(placement.target) == folded || Folded(placement.backup) == folded) return true;
    }
    return false;
}
