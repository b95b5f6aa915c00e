#pragma once
#include <map>
#include <string>
#include <vector>

#include "update/ZipWriter.h"

// Whole files, read and written as bytes.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// Every file below `folder`, by relative path, with its contents.
using Files = std::map<std::string, std::string>;
Files Snapshot(const std::string& folder);
// The paths whose contents differ between two snapshots, or that only one has:
// empty when the two are the same byte for byte.
std::string ChangedPaths(const Files& before, const Files& after);
// Removes a folder and everything in it, read-only files too.
void RemoveTree(const std::string& folder);

// Archives whose check must fail before anything is moved, each with the
// message it must end with. Each holds a good entry for a file that exists
// before the bad part, so a half-done install would show.
struct HostileArchive {
    const char* what;
    std::string bytes;
    int result;  // an InstallResult
};
std::vector<HostileArchive> HostileArchives(const std::string& goodName);
