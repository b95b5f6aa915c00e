#pragma once

// Every bound the network code sets: how long a server can hold a download,
// whatever it does, and how much of the disk an archive can take. The update
// check and each statistics query run on threads of their own, beside a window
// that answers, and are cancelled at once when asked to.

// A server that is down, or drops the connection request, costs at most this.
constexpr unsigned long kConnectTimeoutMs = 10000;
// Any one receive or send gives up after this, beneath the bounds below.
constexpr unsigned long kReceiveTimeoutMs = 10000;

constexpr unsigned long kNoTimeLimit = ~0ul;

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
// The update archive: at most 64 MiB and 10 minutes for the whole exchange
// (the update window shows its progress and can cancel it long before), and a
// server that brings less than 1 KB in 10 s fails it at the end of those 10 s.
constexpr unsigned long long kArchiveMaxBytes = 64ull << 20;
constexpr unsigned long kArchiveExchangeMs = 10 * 60 * 1000;
constexpr DownloadLimits kArchiveLimits{10000, 65536, kArchiveMaxBytes, kArchiveExchangeMs, 10000, 1024};
