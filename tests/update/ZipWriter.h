#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One entry of a test archive, stored (not compressed) unless told otherwise.
struct ZipEntry {
    std::string name;
    std::string data;
    std::uint16_t method = 0;  // 0 stored; anything else is only recorded, the data stays as given
    bool wrongCrc = false;     // record a checksum that does not match the data
};

// A zip archive as the bytes of a file, with local headers, the central
// directory and its end record; checksums from zlib's crc32.
std::string BuildZip(const std::vector<ZipEntry>& entries);
