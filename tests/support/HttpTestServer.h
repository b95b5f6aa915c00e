#pragma once
#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A small HTTP server on 127.0.0.1 for tests of whole windows and of the real
// program: answers every connection on a thread of its own, by the request
// path's prefix, and records the request lines it saw.
class HttpTestServer {
public:
    // port 0: a port of the system's choice.
    explicit HttpTestServer(int port = 0);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool Listening() const { return listener_ != INVALID_SOCKET; }
    int Port() const { return port_; }

    // Replies "HTTP/1.0 <status>" with the body to paths that start with prefix;
    // the longest matching prefix wins, anything else gets 404.
    void Route(const std::string& prefix, int status, const std::string& body);
    // The request lines ("GET /path HTTP/1.0") received so far.
    std::vector<std::string> Requests() const;
    int CountRequests(const std::string& prefix) const;
    // The paths asked for since the last call.
    std::vector<std::string> TakePaths();

private:
    struct Reply {
        int status;
        std::string body;
    };
    void Serve();
    void Answer(SOCKET client);

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Reply> routes_;
    std::vector<std::string> requests_;
    std::vector<std::string> newPaths_;
    std::thread thread_;
};
