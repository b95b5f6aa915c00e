#include "update/EntryReader.h"

EntryReader::~EntryReader() {
    if (inflating_) inflateEnd(&stream_);
    if (zip_) unzCloseCurrentFile(zip_);
}

bool EntryReader::Open(unzFile zip) {
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    int method = 0;
    // Raw: the entry's data as it stands in the archive, checked here.
    if (unzOpenCurrentFile2(zip, &method, nullptr, 1) != UNZ_OK) return false;
    zip_ = zip;
    declared_ = info.uncompressed_size;
    expectedCrc_ = info.crc;
    crc_ = crc32(0, nullptr, 0);
    if (method == 0) return true;
    if (method != Z_DEFLATED || inflateInit2(&stream_, -MAX_WBITS) != Z_OK) return false;
    inflating_ = true;
    return true;
}

int EntryReader::Read(char* buffer, int capacity) {
    if (!inflating_) {
        int count = unzReadCurrentFile(zip_, buffer, static_cast<unsigned>(capacity));
        return count < 0 ? kDamaged : Account(buffer, count);
    }
    stream_.next_out = reinterpret_cast<Bytef*>(buffer);
    stream_.avail_out = static_cast<uInt>(capacity);
    while (stream_.avail_out == static_cast<uInt>(capacity) && !streamEnded_) {
        if (stream_.avail_in == 0) {
            int count = unzReadCurrentFile(zip_, input_, sizeof input_);
            if (count <= 0) return kDamaged;  // the data ended before its stream did
            stream_.next_in = input_;
            stream_.avail_in = static_cast<uInt>(count);
        }
        int inflated = inflate(&stream_, Z_NO_FLUSH);
        if (inflated == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (inflated != Z_OK) {
            return kDamaged;
        }
    }
    return Account(buffer, capacity - static_cast<int>(stream_.avail_out));
}

int EntryReader::Account(const char* data, int count) {
    yielded_ += static_cast<ZPOS64_T>(count);
    if (yielded_ > declared_) return kPastDeclared;
    if (count > 0) {
        crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(count));
        return count;
    }
    return yielded_ == declared_ && crc_ == expectedCrc_ ? kEnd : kDamaged;
}
