#pragma once

// How unpacking an update archive ended; every failure has a message of its own.
enum class InstallResult {
    Installed,
    BrokenArchive,    // no zip archive, a damaged directory, or an entry name that is no plain relative path
    NoFirstEntry,     // an archive without entries
    EntryNotOpened,   // an entry that can't be opened (an unknown compression method, for one)
    FileNotCreated,   // an output file that can't be created (a folder that doesn't exist, for one)
    WriteFailed,      // an output file that can't be written in full
    EntryUnreadable,  // an entry whose data does not unpack, or does not match its size or checksum
};

// Unpacks every entry of the zip archive at `archivePath` into the current
// directory, in the archive's order, each entry's name taken as a path
// relative to it: the file that stood under the name is first moved aside to
// "_" + name (replacing an older one), then the entry is written under the
// name. The whole archive is read and checked before the first file is moved,
// so an archive that fails a check changes no file; a failure while writing
// leaves the entries before it installed and the failing one's old file aside.
InstallResult InstallArchive(const char* archivePath);

// The text that reports a failed install to the user; null for Installed.
const wchar_t* InstallFailureMessage(InstallResult result);
