#include "update/FileSwap.h"

#include <windows.h>

#include <string>
#include <utility>

namespace {
bool Exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsReadOnly(const std::string& name) {
    DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The renames made so far; unless kept, they are undone in reverse order. Each
// went to a free name, so by the time it is undone its old name is free again.
class RenameJournal {
public:
    explicit RenameJournal(InstallFileLayer& files) : files_(files) {}
    ~RenameJournal() {
        if (kept_) return;
        for (auto done = renames_.rbegin(); done != renames_.rend(); ++done) {
            files_.Move(done->second.c_str(), done->first.c_str());
        }
    }
    RenameJournal(const RenameJournal&) = delete;
    RenameJournal& operator=(const RenameJournal&) = delete;

    bool Move(const std::string& from, const std::string& to) {
        if (!files_.Move(from.c_str(), to.c_str())) return false;
        renames_.emplace_back(from, to);
        return true;
    }
    void Keep() { kept_ = true; }

private:
    InstallFileLayer& files_;
    std::vector<std::pair<std::string, std::string>> renames_;
    bool kept_ = false;
};

std::string FreeNameBeside(const std::string& name, WorkingNames& names) {
    std::string free;
    do free = names.Next(name);
    while (Exists(free));
    return free;
}
}  // namespace

bool SwapIntoPlace(std::vector<Placement>& placements, WorkingNames& names, InstallFileLayer& files) {
    for (const Placement& placement : placements) {
        if (IsReadOnly(placement.backup)) return false;
    }
    RenameJournal journal(files);
    // Older backups wait under working names until every entry is in place.
    std::vector<std::string> replacedBackups;
    for (const Placement& placement : placements) {
        if (Exists(placement.backup)) {
            std::string held = FreeNameBeside(placement.backup, names);
            if (!journal.Move(placement.backup, held)) return false;
            replacedBackups.push_back(held);
        }
        if (Exists(placement.target) && !journal.Move(placement.target, placement.backup)) return false;
        if (!journal.Move(placement.staged, placement.target)) return false;
    }
    journal.Keep();
    for (Placement& placement : placements) placement.staged.clear();
    for (const std::string& held : replacedBackups) DeleteFileA(held.c_str());
    return true;
}
