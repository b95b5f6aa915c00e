#pragma once

// Stores bytes, one at a time as `next` gives them, until the terminator has
// come or the capacity is full. A mismatch starts the match over without
// comparing that byte with the terminator's first character again: with
// "\r\n", CR CR LF does not end a line. Returns the bytes stored, terminator
// included, when it came; else 0 (the capacity ran out, or `next` had no byte
// more). `stored` receives the bytes stored either way, which tells those apart.
// `next(char& byte)` gives one byte, or false when none comes.
template <typename NextByte>
int ScanUntil(char* buffer, int capacity, const char* terminator, int terminatorLength, int& stored, NextByte next) {
    stored = 0;
    int matched = 0;
    if (terminatorLength <= 0 || terminatorLength > capacity) return 0;
    while (matched < terminatorLength && stored < capacity) {
        if (!next(buffer[stored])) return 0;
        matched = buffer[stored] == terminator[matched] ? matched + 1 : 0;
        ++stored;
    }
    return matched == terminatorLength ? stored : 0;
}
