#pragma once
#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A web server on 127.0.0.1, at a port of the system's choice, on a thread of
// its own: it answers one connection after another with the body set for the
// requested path (status 200) or with 404, and records the paths asked for.
class ScriptedSite {
public:
    ScriptedSite();
    ~ScriptedSite();
    ScriptedSite(const ScriptedSite&) = delete;
    ScriptedSite& operator=(const ScriptedSite&) = delete;

    int Port() const { return port_; }
    void Serve(const std::string& path, const std::string& body);
    // The paths asked for since the last call.
    std::vector<std::string> TakeRequests();

private:
    void Run();
    void Answer(SOCKET connection);

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::map<std::string, std::string> bodies_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
