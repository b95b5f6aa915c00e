#pragma once
#include "network/Deadline.h"
#include "network/Socket.h"

// The bytes of one reply as they come off the socket. The status line and
// the headers are read a block at a time rather than a receive per byte;
// what a block brings past them stays here and is handed out first as the
// beginning of the body, so no byte is lost. No receive waits past the deadline.
class ReplyStream {
public:
    explicit ReplyStream(Socket& socket) : socket_(socket) {}
    ReplyStream(const ReplyStream&) = delete;
    ReplyStream& operator=(const ReplyStream&) = delete;

    void SetDeadline(const Deadline& deadline) { deadline_ = deadline; }

    // Exactly `count` bytes; false when the connection ends, fails or runs out of time first.
    bool ReadExact(char* buffer, int count);
    // Stores bytes up to and including CR LF. Returns the bytes stored when the
    // line ended; else 0 (capacity full, or the connection ended or ran out of
    // time). `storedCount` receives the bytes stored either way.
    int ReadLine(char* buffer, int capacity, int& storedCount);
    // Up to `capacity` bytes: those held, else one receive straight into the
    // buffer. 0 when the peer has closed, -1 on error or when the time ran out.
    int Read(char* buffer, int capacity);

private:
    static constexpr int kBlockSize = 1024;

    // One receive into the emptied block; false when nothing came.
    bool Fill();
    bool NextByte(char& byte);

    Socket& socket_;
    Deadline deadline_;
    char block_[kBlockSize];
    int next_ = 0;  // the held bytes are block_[next_, end_)
    int end_ = 0;
};
