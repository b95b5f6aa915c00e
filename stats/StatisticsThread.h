#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "stats/StatisticsQuery.h"

class HttpClient;

// The balance display's one worker: runs a statistics query (network and
// file work) on a thread of its own, so the window never waits for a server,
// and posts the figures back to the window, which alone shows them.
class StatisticsThread {
public:
    // Leaving waits no longer than this for a query's thread.
    static constexpr DWORD kStopWaitMs = 1000;

    StatisticsThread() = default;
    ~StatisticsThread() { Stop(); }
    StatisticsThread(const StatisticsThread&) = delete;
    StatisticsThread& operator=(const StatisticsThread&) = delete;

    // Starts a query on `server`'s server with the given credentials (copied:
    // the thread never reads AppConfig), saving the reply as `replyFile`. When it
    // ends, `message` is posted to `replyTo` with the figures (FiguresOf reads
    // them). The previous query must have reported already.
    void Start(HWND replyTo, UINT message, const HttpClient& server, const wchar_t* login, const wchar_t* password,
               const std::wstring& replyFile);
    // Cancels the query under way (its socket shut, so a waiting receive
    // returns) and waits at most kStopWaitMs for its thread. No result is posted
    // afterwards; a thread that outstays the wait is let go and touches only
    // what it owns.
    void Stop();

    static AccountFigures FiguresOf(WPARAM wParam, LPARAM lParam);

private:
    struct Job;
    static void Run(const std::shared_ptr<Job>& job);

    std::shared_ptr<Job> job_;
    std::thread thread_;
};
