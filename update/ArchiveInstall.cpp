#include "update/ArchiveInstall.h"

#include <windows.h>

#include <string>
#include <vector>

#include "framework/UniqueHandle.h"
#include "unzip.h"
#include "update/EntryName.h"
#include "update/EntryReader.h"
#include "update/FileSwap.h"
#include "update/InstallNames.h"
#include "update/UpdateMessages.h"

namespace {
bool CloseZip(unzFile zip) { return unzClose(zip) == UNZ_OK; }
using UniqueZip = UniqueHandle<unzFile, CloseZip>;

// The staged files that have not moved into place are removed with the install.
class StagedFiles {
public:
    StagedFiles() = default;
    ~StagedFiles() {
        for (const Placement& placement : placements) {
            if (!placement.staged.empty()) DeleteFileA(placement.staged.c_str());
        }
    }
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    std::vector<Placement> placements;  // one for each entry, in the archive's order
};

constexpr int kReadBlock = 4096;
// Room for an entry's name with its terminator; longer names are refused.
constexpr unsigned long kNameCapacity = 259;
// Working names tried for one staged file before giving up.
constexpr int kStagingAttempts = 100;
// What a whole archive may hold: a few KB that unpack to gigabytes, or entries
// by the million, would hold the start and fill the disk.
constexpr std::size_t kMaxEntries = 1000;
constexpr ZPOS64_T kMaxUnpackedBytes = 256ull << 20;

// How reading an entry's data ended, as an install's result.
InstallResult ReadFailure(int end) {
    return end == EntryReader::kPastDeclared ? InstallResult::BrokenArchive : InstallResult::EntryUnreadable;
}

// Reads one entry to its end without writing it anywhere: the name must be a
// plain relative path that fits the buffer with its terminator, and the data
// must unpack to the declared size and checksum, within what `unpacked` (the
// archive's total so far) may still grow by.
InstallResult CheckEntry(unzFile zip, std::string& name, ZPOS64_T& unpacked) {
    char buffer[kNameCapacity] = {};
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zip, &info, buffer, kNameCapacity, nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.size_filename >= kNameCapacity || !IsPlainRelativeName(buffer, info.size_filename)) {
        return InstallResult::BrokenArchive;
    }
    name = buffer;
    EntryReader entry;
    if (!entry.Open(zip)) return InstallResult::EntryNotOpened;
    char block[kReadBlock];
    int count;
    while ((count = entry.Read(block, sizeof block)) > 0) {
        unpacked += static_cast<ZPOS64_T>(count);
        if (unpacked > kMaxUnpackedBytes) return InstallResult::BrokenArchive;
    }
    return count == EntryReader::kEnd ? InstallResult::Installed : ReadFailure(count);
}

// Checks every entry and plans where each goes.
InstallResult CheckArchive(unzFile zip, std::vector<Placement>& placements) {
    if (unzGoToFirstFile(zip) != UNZ_OK) return InstallResult::NoFirstEntry;
    ZPOS64_T unpacked = 0;
    int step;
    do {
        if (placements.size() == kMaxEntries) return InstallResult::BrokenArchive;
        std::string name;
        InstallResult checked = CheckEntry(zip, name, unpacked);
        if (checked != InstallResult::Installed) return checked;
        placements.push_back({name, BackupName(name), ""});
        step = unzGoToNextFile(zip);
    } while (step == UNZ_OK);
    return step == UNZ_END_OF_LIST_OF_FILE ? InstallResult::Installed : InstallResult::BrokenArchive;
}

// Creates a new, empty file beside the target and names it the staged file. A
// folder that does not exist, or any failure but a taken name, ends the search.
UniqueFileHandle CreateStagedFile(Placement& placement, WorkingNames& names) {
    for (int attempt = 0; attempt < kStagingAttempts; ++attempt) {
        std::string name = names.Next(placement.target);
        UniqueFileHandle file(
            CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            placement.staged = name;
            return file;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return UniqueFileHandle();
}

// Unpacks the current entry into a staged file of its own. A close that fails
// to write the last data is a write that came up short.
InstallResult StageEntry(unzFile zip, Placement& placement, WorkingNames& names, InstallFileLayer& files) {
    EntryReader entry;
    if (!entry.Open(zip)) return InstallResult::EntryNotOpened;
    UniqueFileHandle file = CreateStagedFile(placement, names);
    if (!file) return InstallResult::FileNotCreated;
    char block[kReadBlock];
    for (;;) {
        int count = entry.Read(block, sizeof block);
        if (count < 0) return ReadFailure(count);
        if (count == 0) break;
        if (!files.Write(file.get(), block, static_cast<DWORD>(count))) return InstallResult::WriteFailed;
    }
    return file.reset() ? InstallResult::Installed : InstallResult::WriteFailed;
}

InstallResult StageArchive(unzFile zip, std::vector<Placement>& placements, WorkingNames& names,
                           InstallFileLayer& files) {
    if (unzGoToFirstFile(zip) != UNZ_OK) return InstallResult::NoFirstEntry;
    for (Placement& placement : placements) {
        InstallResult staged = StageEntry(zip, placement, names, files);
        if (staged != InstallResult::Installed) return staged;
        unzGoToNextFile(zip);
    }
    return InstallResult::Installed;
}
}  // namespace

InstallResult InstallArchive(const char* archivePath) {
    InstallFileLayer files;
    return InstallArchive(archivePath, files);
}

InstallResult InstallArchive(const char* archivePath, InstallFileLayer& files) {
    UniqueZip zip(unzOpen(archivePath));
    if (!zip) return InstallResult::BrokenArchive;
    StagedFiles staged;
    InstallResult checked = CheckArchive(zip.get(), staged.placements);
    if (checked != InstallResult::Installed) return checked;

    WorkingNames names(staged.placements);
    InstallResult unpacked = StageArchive(zip.get(), staged.placements, names, files);
    if (unpacked != InstallResult::Installed) return unpacked;
    // A file that can't move aside or into place: its name can't take the new file.
    return SwapIntoPlace(staged.placements, names, files) ? InstallResult::Installed : InstallResult::FileNotCreated;
}

const wchar_t* InstallFailureMessage(InstallResult result) {
    using namespace update_messages;
    switch (result) {
    case InstallResult::Installed: return nullptr;
    case InstallResult::BrokenArchive: return kBrokenArchive;
    case InstallResult::NoFirstEntry: return kNoFirstEntry;
    case InstallResult::EntryNotOpened: return kEntryNotOpened;
    case InstallResult::FileNotCreated: return kFileNotCreated;
    case InstallResult::WriteFailed: return kWriteFailed;
    case InstallResult::EntryUnreadable: return kEntryUnreadable;
    }
    return kBrokenArchive;
}
