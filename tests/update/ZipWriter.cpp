#include "update/ZipWriter.h"

#include <zlib.h>

namespace {
void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
// The fields local headers and directory entries share, from "version needed" to the extra field's length.
void PutCommon(std::string& out, const ZipEntry& entry, std::uint32_t crc) {
    Put16(out, 10);            // version needed to extract
    Put16(out, 0);             // flags
    Put16(out, entry.method);  // compression method
    Put16(out, 0);             // time
    Put16(out, 0x21);          // date: 1980-01-01
    Put32(out, crc);
    Put32(out, static_cast<std::uint32_t>(entry.data.size()));  // compressed size
    Put32(out, static_cast<std::uint32_t>(entry.data.size()));  // uncompressed size
    Put16(out, static_cast<std::uint32_t>(entry.name.size()));
    Put16(out, 0);  // extra field length
}
}  // namespace

std::string BuildZip(const std::vector<ZipEntry>& entries) {
    std::string out, directory;
    for (const ZipEntry& entry : entries) {
        std::uint32_t crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size())));
        if (entry.wrongCrc) crc ^= 0x5A5A5A5A;
        std::uint32_t offset = static_cast<std::uint32_t>(out.size());
        Put32(out, 0x04034B50);
        PutCommon(out, entry, crc);
        out += entry.name + entry.data;

        Put32(directory, 0x02014B50);
        Put16(directory, 20);  // version made by
        PutCommon(directory, entry, crc);
        Put16(directory, 0);  // comment length
        Put16(directory, 0);  // disk number
        Put16(directory, 0);  // internal attributes
        Put32(directory, 0);  // external attributes
        Put32(directory, offset);
        directory += entry.name;
    }
    std::uint32_t directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    Put32(out, 0x06054B50);
    Put16(out, 0);  // this disk
    Put16(out, 0);  // disk of the directory
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put32(out, static_cast<std::uint32_t>(directory.size()));
    Put32(out, directoryOffset);
    Put16(out, 0);  // comment length
    return out;
}
