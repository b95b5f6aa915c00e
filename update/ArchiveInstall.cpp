#include "update/ArchiveInstall.h"

#include <windows.h>

#include <cstdio>

#include "framework/UniqueHandle.h"
#include "unzip.h"
#include "update/EntryName.h"
#include "update/UpdateMessages.h"

namespace {
struct ZipTraits {
    using Type = unzFile;
    static Type Invalid() { return nullptr; }
    static bool Close(Type zip) { return unzClose(zip) == UNZ_OK; }
};
using UniqueZip = UniqueHandle<ZipTraits>;

// Closes the archive's current entry when the work on it ends, however it ends.
class OpenEntry {
public:
    explicit OpenEntry(unzFile zip) : zip_(zip), open_(unzOpenCurrentFile(zip) == UNZ_OK) {}
    ~OpenEntry() { Close(); }
    OpenEntry(const OpenEntry&) = delete;
    OpenEntry& operator=(const OpenEntry&) = delete;

    bool IsOpen() const { return open_; }
    // UNZ_CRCERROR when the entry was read to its end and its checksum does not match.
    int Close() {
        int result = open_ ? unzCloseCurrentFile(zip_) : UNZ_OK;
        open_ = false;
        return result;
    }

private:
    unzFile zip_;
    bool open_;
};

constexpr int kReadBlock = 4096;
// The entry's name stands behind a leading underscore, so the buffer holds the
// moved-aside name and, from its second byte on, the name itself.
constexpr unsigned long kNameCapacity = 259;
struct EntryNameBuffer {
    char bytes[1 + kNameCapacity];
    const char* AsideName() const { return bytes; }
    const char* Name() const { return bytes + 1; }
};

// Reads one entry to its end without writing it anywhere: the name must be a
// plain relative path that fits the buffer with its terminator, and the data
// must unpack to the recorded size and checksum.
InstallResult CheckEntry(unzFile zip) {
    EntryNameBuffer name;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zip, &info, name.bytes + 1, kNameCapacity, nullptr, 0, nullptr, 0) != UNZ_OK ||
        info.size_filename >= kNameCapacity || !IsPlainRelativeName(name.Name(), info.size_filename)) {
        return InstallResult::BrokenArchive;
    }
    OpenEntry entry(zip);
    if (!entry.IsOpen()) return InstallResult::EntryNotOpened;
    char block[kReadBlock];
    ZPOS64_T total = 0;
    int count;
    while ((count = unzReadCurrentFile(zip, block, sizeof block)) > 0) total += static_cast<ZPOS64_T>(count);
    // A stream that ends early leaves the checksum unchecked; the size catches it.
    if (count < 0 || total != info.uncompressed_size || entry.Close() != UNZ_OK) return InstallResult::EntryUnreadable;
    return InstallResult::Installed;
}

InstallResult CheckArchive(unzFile zip) {
    if (unzGoToFirstFile(zip) != UNZ_OK) return InstallResult::NoFirstEntry;
    int step;
    do {
        InstallResult checked = CheckEntry(zip);
        if (checked != InstallResult::Installed) return checked;
        step = unzGoToNextFile(zip);
    } while (step == UNZ_OK);
    return step == UNZ_END_OF_LIST_OF_FILE ? InstallResult::Installed : InstallResult::BrokenArchive;
}

// Copies the open entry into a new file of its name. A close that fails to
// flush the last block is a write that came up short.
InstallResult WriteEntry(unzFile zip, const char* fileName) {
    UniqueFile file(std::fopen(fileName, "wb"));
    if (!file) return InstallResult::FileNotCreated;
    char block[kReadBlock];
    for (;;) {
        int count = unzReadCurrentFile(zip, block, sizeof block);
        if (count < 0) return InstallResult::EntryUnreadable;
        if (count == 0) break;
        if (std::fwrite(block, static_cast<size_t>(count), 1, file.get()) != 1) return InstallResult::WriteFailed;
    }
    return file.reset() ? InstallResult::Installed : InstallResult::WriteFailed;
}

InstallResult InstallEntry(unzFile zip) {
    EntryNameBuffer name;
    unz_file_info info;
    name.bytes[0] = '_';
    unzGetCurrentFileInfo(zip, &info, name.bytes + 1, kNameCapacity, nullptr, 0, nullptr, 0);
    OpenEntry entry(zip);
    if (!entry.IsOpen()) return InstallResult::EntryNotOpened;
    // Fails, harmlessly, when no file of that name exists yet.
    MoveFileExA(name.Name(), name.AsideName(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return WriteEntry(zip, name.Name());
}
}  // namespace

InstallResult InstallArchive(const char* archivePath) {
    UniqueZip zip(unzOpen(archivePath));
    if (!zip) return InstallResult::BrokenArchive;
    InstallResult checked = CheckArchive(zip.get());
    if (checked != InstallResult::Installed) return checked;

    if (unzGoToFirstFile(zip.get()) != UNZ_OK) return InstallResult::NoFirstEntry;
    do {
        InstallResult installed = InstallEntry(zip.get());
        if (installed != InstallResult::Installed) return installed;
    } while (unzGoToNextFile(zip.get()) == UNZ_OK);
    return InstallResult::Installed;
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
