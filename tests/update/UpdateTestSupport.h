#pragma once
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "update/ArchiveInstall.h"

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file below the current directory with its contents: equal snapshots, nothing changed.
using Files = std::map<std::string, std::string>;
inline Files Snapshot() {
    namespace fs = std::filesystem;
    Files files;
    for (const auto& item : fs::recursive_directory_iterator(".")) {
        if (item.is_regular_file()) files[fs::relative(item.path()).generic_string()] = ReadBytes(item.path().string());
    }
    return files;
}

// What each install result shows the user, word for word.
inline const wchar_t* InstallMessage(InstallResult result) {
    const wchar_t* const texts[] = {
        nullptr,
        L"Ошибка обновления программы.\nБитый архив.\nОбновите программу вручную.",
        L"Ошибка обновления программы.\nНе могу перейти к первому файлу в архиве.\nОбновите программу вручную.",
        L"Ошибка обновления программы.\nОткрытие файла в архиве провалено.\nОбновите программу вручную.",
        L"Ошибка обновления программы.\nСоздание файла провалено.\nОбновите программу вручную.",
        L"Ошибка обновления программы.\nОшибка при записи файла.\nОбновите программу вручную.",
        L"Ошибка обновления программы.\nОшибка при распаковке файла.\nОбновите программу вручную."};
    return texts[static_cast<int>(result)];
}

// An entry of a test archive, stored as given: `method` is only recorded, `wrongCrc` spoils the checksum.
struct ZipEntry {
    std::string name, data;
    std::uint16_t method = 0;
    bool wrongCrc = false;
};

// A zip archive's bytes: local headers, the central directory and its end record.
inline std::string BuildZip(const std::vector<ZipEntry>& entries) {
    auto put = [](std::string& to, std::initializer_list<std::pair<std::uint32_t, int>> fields) {
        for (auto [value, bytes] : fields) {
            for (int i = 0; i < bytes; ++i) to += static_cast<char>(value >> (8 * i));
        }
    };
    std::string out, directory;
    for (const ZipEntry& e : entries) {
        auto size = static_cast<std::uint32_t>(e.data.size()), offset = static_cast<std::uint32_t>(out.size());
        std::uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), size) ^ (e.wrongCrc ? 0x5A5A : 0);
        std::string common;  // version needed, flags, method, time, date, CRC, sizes, name and extra lengths
        put(common, {{10, 2}, {0, 2}, {e.method, 2}, {0, 2}, {0x21, 2}, {crc, 4}, {size, 4}, {size, 4},
                     {static_cast<std::uint32_t>(e.name.size()), 2}, {0, 2}});
        put(out, {{0x04034B50, 4}});
        out += common + e.name + e.data;
        put(directory, {{0x02014B50, 4}, {20, 2}});
        directory += common;
        put(directory, {{0, 6}, {0, 4}, {offset, 4}});  // comment length, disk, attributes, local header
        directory += e.name;
    }
    auto count = static_cast<std::uint32_t>(entries.size());
    put(directory, {{0x06054B50, 4}, {0, 4}, {count, 2}, {count, 2}, {static_cast<std::uint32_t>(directory.size()), 4},
                    {static_cast<std::uint32_t>(out.size()), 4}, {0, 2}});
    return out + directory;
}

// Archives whose check must fail before anything moves, each beside a good entry for `goodName`
// (a file that exists), so a half-done install would show.
struct HostileArchive {
    std::string what, bytes;
    InstallResult result;
};
inline std::vector<HostileArchive> HostileArchives(const std::string& goodName) {
    const ZipEntry good{goodName, "new contents"};
    const auto broken = InstallResult::BrokenArchive;
    std::vector<HostileArchive> archives;
    for (const std::string& name : std::vector<std::string>{"..\\x", "/x", "C:\\x", "a/../../x", "NUL.txt", "sub/", std::string(259, 'n')}) {
        archives.push_back({name, BuildZip({good, {name, "evil"}}), broken});
    }
    std::string whole = BuildZip({good, {"second.txt", std::string(5000, 's')}});
    archives.push_back({"a truncated archive", whole.substr(0, whole.size() - 100), broken});
    archives.push_back({"not a zip", "version=1.08\r\nfile=/x.zip\r\n", broken});
    // minizip takes an end record at the very start for no archive; behind a stub it opens, empty.
    archives.push_back({"nothing but an end record", BuildZip({}), broken});
    archives.push_back({"no entries", "stub" + BuildZip({}), InstallResult::NoFirstEntry});
    archives.push_back({"a CRC mismatch", BuildZip({good, {"second.txt", "data", 0, true}}),
                        InstallResult::EntryUnreadable});
    archives.push_back({"an unknown method", BuildZip({good, {"second.txt", "data", 14}}), InstallResult::EntryNotOpened});
    return archives;
}
