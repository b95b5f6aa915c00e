#pragma once
#include "unzip.h"
#include "zlib.h"

// Reads the current entry of an archive, inflating its data here rather than in
// the zip reader, so that what is counted is what the data really unpacks to:
// the zip reader stops at the size an entry declares and would hide a stream
// that goes on past it.
class EntryReader {
public:
    // What a read can end in besides bytes (> 0).
    static constexpr int kEnd = 0;             // all the data, of the declared size and checksum
    static constexpr int kDamaged = -1;        // data that does not unpack, ends short or fails its checksum
    static constexpr int kPastDeclared = -2;   // more data than the entry declares

    EntryReader() = default;
    ~EntryReader();
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // Opens the archive's current entry; false for one that can't be opened
    // (a damaged header, a method other than stored or deflated).
    bool Open(unzFile zip);
    // Up to `capacity` bytes of the entry's data, or one of the ends above.
    int Read(char* buffer, int capacity);

private:
    int Account(const char* data, int count);

    unzFile zip_ = nullptr;
    z_stream stream_{};
    bool inflating_ = false;
    bool streamEnded_ = false;
    ZPOS64_T declared_ = 0;
    ZPOS64_T yielded_ = 0;
    uLong expectedCrc_ = 0;
    uLong crc_ = 0;
    unsigned char input_[4096];
};
