#pragma once

// Every bound the network code sets: how long a server can hold a download,
// whatever it does. The update check runs before any window exists; each
// statistics query runs beside the window, on a thread of its own, and is
// cancelled at once when the program leaves.

// A server that is down, or drops the connection request, costs at most this.
constexpr unsigned long kConnectTimeoutMs = 10000;
// Any one receive or send gives up after this, beneath the bounds below.
constexpr unsigned long kReceiveTimeoutMs = 10000;

constexpr unsigned long kNoTimeLimit = ~0ul;
constexpr unsigned long long kNoSizeLimit = ~0ull;

// What one download may cost. Past any bound the download fails as "no
// connection" and the target file is not touched.
struct DownloadLimits {
    unsigned long headMs;          // the status line and headers, counted from the connect
    unsigned long headBytes;       // the status line and headers together
    unsigned long long bodyBytes;  // the body
    unsigned long exchangeMs;      // the whole download, counted from the call
    // The body must bring at least stretchBytes in every stretch of stretchMs
    // (counted afresh each time it has): a server that trickles it fails it.
    unsigned long stretchMs;
    unsigned long stretchBytes;
};

// The update manifest and the statistics reply: small texts, the whole
// exchange within 20 s.
constexpr DownloadLimits kSmallFileLimits{10000, 65536, 65536, 20000, kNoTimeLimit, 0};
// The update archive: any size and as long as it takes, but a server that
// brings less than 1 KB in 10 s fails it at the end of those 10 s.
constexpr DownloadLimits kArchiveLimits{10000, 65536, kNoSizeLimit, kNoTimeLimit, 10000, 1024};
