#include "network/ReplyStream.h"

#include <algorithm>
#include <cstring>


bool ReplyStream::Fill() {
    int received = socket_.ReceiveWithin(block_, kBlockSize, deadline_.Left());
    next_ = 0;
    end_ = received > 0 ? received : 0;
    return received > 0;
}

bool ReplyStream::NextByte(char& byte) {
    if (next_ == end_ && !Fill()) return false;
    byte = block_[next_++];
    return true;
}

bool ReplyStream::ReadExact(char* buffer, int count) {
    for (int done = 0; done < count;) {
        int received = Read(buffer + done, count - done);
        if (received <= 0) return false;
        done += received;
    }
    return true;
}

int ReplyStream::ReadLine(char* buffer, int capacity, int& storedCount) {
    // A mismatch starts the match over without comparing that byte with CR
    // again: CR CR LF does not end a line.
    static const char kEnd[] = "\r\n";
    int matched = 0;
    storedCount = 0;
    if (capacity < 2) return 0;
    while (matched < 2 && storedCount < capacity) {
        if (!NextByte(buffer[storedCount])) return 0;
        matched = buffer[storedCount] == kEnd[matched] ? matched + 1 : 0;
        ++storedCount;
    }
    return matched == 2 ? storedCount : 0;
}

int ReplyStream::Read(char* buffer, int capacity) {
    if (next_ == end_) return socket_.ReceiveWithin(buffer, capacity, deadline_.Left());
    int taken = std::min(end_ - next_, capacity);
    std::memcpy(buffer, block_ + next_, static_cast<size_t>(taken));
    next_ += taken;
    return taken;
}
