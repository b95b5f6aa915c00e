#pragma once
#include <winsock2.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/UniqueHandle.h"

// Windows Sockets started for as long as the object lives (name lookups need it).
struct WindowsSockets {
    WSADATA data;
    WindowsSockets() { WSAStartup(MAKEWORD(2, 2), &data); }
    ~WindowsSockets() { WSACleanup(); }
};

// A listening socket on 127.0.0.1 (port 0: of the system's choice, which `boundPort` receives), or INVALID_SOCKET.
inline SOCKET ListenOnLoopback(int port, int backlog, int& boundPort) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL reuse = port != 0;  // a fixed port: take it back from a run that just ended
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    sockaddr_in address{AF_INET, htons(static_cast<u_short>(port)), {}, {}};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener, backlog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    boundPort = ntohs(address.sin_port);
    return listener;
}

// The server's end of one connection once the request is read: what a route's script drives.
class Peer {
public:
    Peer(SOCKET socket, HANDLE finished) : socket_(socket), finished_(finished) {}
    // Lets the client read to the end: closing over bytes it has not read would reset the connection.
    ~Peer() {
        shutdown(socket_, SD_SEND);
        while (recv(socket_, buffer_, sizeof buffer_, 0) > 0) continue;  // at most 5 s a receive
        closesocket(socket_);
    }
    bool Send(const std::string& bytes) {
        return send(socket_, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
    }
    // "HTTP/1.0 <status>" with the body and its length.
    void Reply(int status, const std::string& body) {
        Send("HTTP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Error") +
             "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    }
    // Sends the pieces gapMs apart, each in a segment of its own, until the server is finished.
    void SendPieces(const std::vector<std::string>& pieces, DWORD gapMs) {
        BOOL noDelay = TRUE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        for (size_t i = 0; i < pieces.size(); ++i)
            if ((i > 0 && WaitForSingleObject(finished_, gapMs) == WAIT_OBJECT_0) || !Send(pieces[i])) return;
    }
    // Says nothing more until the client closes or the server is finished.
    void Stall() {
        u_long nonBlocking = 1;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
        while (WaitForSingleObject(finished_, 50) == WAIT_TIMEOUT && recv(socket_, buffer_, 1, MSG_PEEK) < 0) continue;
    }

private:
    SOCKET socket_;
    HANDLE finished_;
    char buffer_[4096];
};

// A 200 reply of `kilobytes` KB under its length, 1 KB at a time, 200 ms apart: a download that takes its time.
inline std::function<void(Peer&)> Trickle(size_t kilobytes) {
    std::vector<std::string> pieces(kilobytes, std::string(1024, 'k'));
    pieces[0] = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kilobytes * 1024) + "\r\n\r\n" + pieces[0];
    return [pieces](Peer& peer) { peer.SendPieces(pieces, 200); };
}

// An HTTP server on 127.0.0.1 for tests and benchmarks, a thread for each connection: it records the request
// (up to the blank lines that end it, a close, or 5 s) and runs the longest route that begins its path (or 404).
class TestServer {
public:
    using Script = std::function<void(Peer&)>;
    explicit TestServer(int port = 0) {  // 0: a port of the system's choice
        Route("", 404, "not found");
        if ((listener_ = ListenOnLoopback(port, 16, port_)) == INVALID_SOCKET) return;
        acceptor_ = std::thread([this, listener = listener_] {
            for (SOCKET s; (s = accept(listener, nullptr, nullptr)) != INVALID_SOCKET;) connections_.emplace_back(&TestServer::Serve, this, s);
        });
    }
    explicit TestServer(Script everyRequest) : TestServer() { Route("", std::move(everyRequest)); }
    ~TestServer() { Finish(); }

    bool Listening() const { return listener_ != INVALID_SOCKET; }
    int Port() const { return port_; }
    void Route(const std::string& prefix, Script script) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[prefix] = std::move(script);
    }
    void Route(const std::string& prefix, int status, const std::string& body) {
        Route(prefix, [status, body](Peer& peer) { peer.Reply(status, body); });
    }
    std::vector<std::string> TakePaths() {  // asked for since the last call
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(newPaths_);
    }
    // Releases held scripts and waits for every connection to end; gives every request, in order.
    std::string Finish() {
        SetEvent(finished_.get());
        closesocket(listener_);  // ends the accept
        listener_ = INVALID_SOCKET;
        if (acceptor_.joinable()) acceptor_.join();
        for (std::thread& connection : connections_) connection.join();
        connections_.clear();
        return requests_;
    }

private:
    void Serve(SOCKET connection) {
        DWORD boundMs = 5000;
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&boundMs), sizeof boundMs);
        std::string request;
        char buffer[4096];
        for (int got = 0; request.find("\r\n\r\n\r\n") == std::string::npos; request.append(buffer, got))
            if ((got = recv(connection, buffer, sizeof buffer, 0)) <= 0) break;
        std::string path = request.size() > 4 ? request.substr(4, request.find(" HTTP/1.0\r\n") - 4) : "";
        std::unique_lock<std::mutex> lock(mutex_);
        requests_ += request;
        newPaths_.push_back(path);
        Script script;
        for (const auto& route : routes_)  // a prefix sorts before its extensions: the last match is the longest
            if (path.compare(0, route.first.size(), route.first) == 0) script = route.second;
        lock.unlock();
        Peer peer(connection, finished_.get());
        script(peer);
    }

    WindowsSockets windowsSockets_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    UniqueKernelHandle finished_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::mutex mutex_;
    std::map<std::string, Script> routes_;
    std::string requests_;
    std::vector<std::string> newPaths_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// A loopback port that was just free: connecting to it is refused.
inline int RefusedPort() {
    TestServer closed;
    return closed.Port();
}
