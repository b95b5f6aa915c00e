#include "update/FileSwap.h"

#include <windows.h>

#include <string>
#include <utility>

namespace {
bool Exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Nothing there, or a plain file: no folder, link or device, which the install
// must never move (a folder moved aside would take whatever is in it along).
bool IsFreeOrPlainFile(const std::string& name) {
    DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// Older backups that are read-only (a file that was read-only before an update
// keeps the attribute aside): cleared so that they can be replaced, as their
// owner may, and read-only again unless the swap succeeds.
class ReadOnlyBackups {
public:
    explicit ReadOnlyBackups(const std::vector<Placement>& placements) {
        for (const Placement& placement : placements) {
            DWORD attributes = GetFileAttributesA(placement.backup.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) continue;
            if (SetFileAttributesA(placement.backup.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
                cleared_.emplace_back(placement.backup, attributes);
            }
        }
    }
    ~ReadOnlyBackups() {
        for (const auto& backup : cleared_) SetFileAttributesA(backup.first.c_str(), backup.second);
    }
    ReadOnlyBackups(const ReadOnlyBackups&) = delete;
    ReadOnlyBackups& operator=(const ReadOnlyBackups&) = delete;

    void Replaced() { cleared_.clear(); }

private:
    std::vector<std::pair<std::string, DWORD>> cleared_;
};

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
        if (!IsFreeOrPlainFile(placement.target) || !IsFreeOrPlainFile(placement.backup)) return false;
    }
    // Declared before the journal, so that a failed swap puts the files back first.
    ReadOnlyBackups readOnly(placements);
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
    readOnly.Replaced();
    for (Placement& placement : placements) placement.staged.clear();
    for (const std::string& held : replacedBackups) DeleteFileA(held.c_str());
    return true;
}
