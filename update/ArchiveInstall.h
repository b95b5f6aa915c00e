#pragma once
#include "update/InstallFileLayer.h"

// How unpacking an update archive ended; every failure has a message of its own.
enum class InstallResult {
    Installed,
    BrokenArchive,    // no zip archive, a damaged directory, an entry name that is no plain relative path,
                      // an entry that unpacks past its declared size, or more than 1,000 entries or
                      // 256 MiB unpacked in all
    NoFirstEntry,     // an archive without entries
    EntryNotOpened,   // an entry that can't be opened (an unknown compression method, for one)
    FileNotCreated,   // a file that can't be created or moved into place (a folder that doesn't exist, a held
                      // file, a folder under an entry's name or its backup's)
    WriteFailed,      // a new file that can't be written in full (a full disk)
    EntryUnreadable,  // an entry whose data does not unpack, or does not match its size or checksum
};

// Installs the zip archive at `archivePath` over the files of the current
// directory, each entry's name taken as a path relative to it, all or nothing:
//  1. the whole archive is read and checked;
//  2. every entry is unpacked into a new file beside its target (same folder,
//     same volume), touching no existing file;
//  3. each target's old file moves aside to its backup name ("_" before the
//     file's own name) and the new file moves in (see SwapIntoPlace).
// Any failure removes what the install made and puts every file back, so the
// folder is as it was; only a finished install changes it.
InstallResult InstallArchive(const char* archivePath);
// The same, with the file operations of `files`.
InstallResult InstallArchive(const char* archivePath, InstallFileLayer& files);

// The text that reports a failed install to the user; null for Installed.
const wchar_t* InstallFailureMessage(InstallResult result);
