#pragma once
#include <atomic>

// How far a download has come, for a window on another thread: the thread that
// downloads writes, any thread reads. 32 bits hold every body the limits allow.
struct DownloadProgress {
    std::atomic<unsigned long> received{0};  // body bytes so far
    std::atomic<unsigned long> expected{0};  // the body's Content-Length; 0 while unknown or when it has none
};
