#pragma once
#include <winsock2.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Windows Sockets started for as long as the object lives (name lookups need it).
struct WindowsSockets {
    WindowsSockets() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WindowsSockets() { WSACleanup(); }
    WindowsSockets(const WindowsSockets&) = delete;
    WindowsSockets& operator=(const WindowsSockets&) = delete;
};

// The server's end of one accepted connection, driven by a test's script.
class Peer {
public:
    Peer(SOCKET socket, HANDLE release, std::string& request) : socket_(socket), release_(release), request_(request) {}
    // Reads the request up to the blank lines that end it (or a close, or 5 s).
    void ReadRequest();
    void Send(const std::string& bytes);
    // Sends the pieces gapMs apart, each in a segment of its own; stops early
    // when the server is finished with or the client has gone.
    void SendPieces(const std::vector<std::string>& pieces, DWORD gapMs);
    // Says nothing more until the server is finished with (at most 30 s).
    void Stall() { WaitForSingleObject(release_, 30000); }
    // True when the client closes its end within 5 s.
    bool ClientCloses();

private:
    SOCKET socket_;
    HANDLE release_;
    std::string& request_;
};

// A TCP server on 127.0.0.1 at a port of the system's choice that serves at most
// one connection with a script, on a thread of its own, then closes it.
class ScriptedServer {
public:
    using Script = std::function<void(Peer&)>;
    explicit ScriptedServer(Script script);
    ~ScriptedServer() { Finish(); }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return port_; }
    // Releases a stalled script, waits for the thread and returns what the
    // client sent (as far as the script read it).
    const std::string& Finish();
    bool Accepted() const { return accepted_; }

    // A script that reads the request and sends a reply.
    static Script Reply(const std::string& bytes);

private:
    void Serve(Script script);

    WindowsSockets windowsSockets_;
    SOCKET listener_ = INVALID_SOCKET;
    HANDLE release_ = nullptr;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    bool accepted_ = false;
    std::string request_;
    std::thread thread_;
};

// A loopback port that was just free: connecting to it is refused.
int RefusedPort();
