#include "update/ScriptedSite.h"

namespace {
// Waits (bounded) until the socket has something to read; false on time-out.
bool Readable(SOCKET s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) > 0;
}

void SendAll(SOCKET s, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}
}  // namespace

ScriptedSite::ScriptedSite() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 4);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&ScriptedSite::Run, this);
}

ScriptedSite::~ScriptedSite() {
    stop_ = true;
    thread_.join();
    closesocket(listener_);
    WSACleanup();
}

void ScriptedSite::Serve(const std::string& path, const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    bodies_[path] = body;
}

std::vector<std::string> ScriptedSite::TakeRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> taken;
    taken.swap(requests_);
    return taken;
}

// Short slices, so that the destructor ends the server at once.
void ScriptedSite::Run() {
    while (!stop_) {
        if (!Readable(listener_, 50)) continue;
        SOCKET connection = accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET) return;
        Answer(connection);
        closesocket(connection);
    }
}

void ScriptedSite::Answer(SOCKET connection) {
    std::string request;
    char c;
    while (request.size() < 4096 && request.find("\r\n\r\n") == std::string::npos) {
        if (!Readable(connection, 5000) || recv(connection, &c, 1, 0) != 1) return;
        request += c;
    }
    // "GET <path> HTTP/1.0": the path may be empty, and holds no blank of its own here.
    size_t end = request.find(" HTTP/");
    std::string path = request.compare(0, 4, "GET ") == 0 && end != std::string::npos ? request.substr(4, end - 4) : "?";
    std::string reply = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(path);
        auto found = bodies_.find(path);
        if (found != bodies_.end()) {
            reply = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(found->second.size()) + "\r\n\r\n" +
                    found->second;
        }
    }
    SendAll(connection, reply);
    // Read what the client still sends until it closes, so that closing here
    // never resets a connection whose reply is still on its way.
    shutdown(connection, SD_SEND);
    while (Readable(connection, 2000) && recv(connection, &c, 1, 0) == 1) {
    }
}
