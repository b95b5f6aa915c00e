#include "update/UpdateTestSupport.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "update/ArchiveInstall.h"

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

Files Snapshot(const std::string& folder) {
    Files files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file()) {
            files[fs::relative(item.path(), folder).generic_string()] = ReadBytes(item.path().string());
        }
    }
    return files;
}

std::string ChangedPaths(const Files& before, const Files& after) {
    std::string changed;
    Files all = before;
    all.insert(after.begin(), after.end());
    for (const auto& [path, contents] : all) {
        auto was = before.find(path), is = after.find(path);
        if (was == before.end() || is == after.end() || was->second != is->second) changed += path + " ";
    }
    return changed;
}

void RemoveTree(const std::string& folder) {
    std::error_code error;
    // Read-only files would stay.
    for (const auto& item : fs::recursive_directory_iterator(folder, error)) {
        fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add, error);
    }
    fs::remove_all(folder, error);
}

std::vector<HostileArchive> HostileArchives(const std::string& goodName) {
    const ZipEntry good{goodName, "new contents"};
    const int broken = static_cast<int>(InstallResult::BrokenArchive);
    std::vector<HostileArchive> archives;
    for (const char* name : {"..\\x", "/x", "C:\\x", "a/../../x", "NUL.txt", "sub/"}) {
        archives.push_back({name, BuildZip({good, {name, "evil"}}), broken});
    }
    archives.push_back({"an overlong name", BuildZip({good, {std::string(259, 'n'), "long"}}), broken});
    std::string whole = BuildZip({good, {"second.txt", std::string(5000, 's')}});
    archives.push_back({"a truncated archive", whole.substr(0, whole.size() - 100), broken});
    archives.push_back({"not a zip", "version=1.08\r\nfile=/x.zip\r\n", broken});
    // minizip takes an end record at the very start of the file for no archive at all;
    // behind a stub (as in a self-extracting archive) it opens, without a first entry.
    archives.push_back({"nothing but an end record", BuildZip({}), broken});
    archives.push_back({"no entries", "stub" + BuildZip({}), static_cast<int>(InstallResult::NoFirstEntry)});
    archives.push_back({"a CRC mismatch", BuildZip({good, {"second.txt", "data", 0, true}}),
                        static_cast<int>(InstallResult::EntryUnreadable)});
    archives.push_back({"an unknown compression method", BuildZip({good, {"second.txt", "data", 14}}),
                        static_cast<int>(InstallResult::EntryNotOpened)});
    return archives;
}
