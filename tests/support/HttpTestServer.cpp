#include "support/HttpTestServer.h"

#include "support/LoopbackListener.h"

HttpTestServer::HttpTestServer(int port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ListenOnLoopback(port, 16, port_);
    if (listener_ == INVALID_SOCKET) return;
    thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
    stop_ = true;
    if (listener_ != INVALID_SOCKET) closesocket(listener_);  // ends the accept
    if (thread_.joinable()) thread_.join();
    WSACleanup();
}

void HttpTestServer::Route(const std::string& prefix, int status, const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[prefix] = Reply{status, body};
}

std::vector<std::string> HttpTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::string> HttpTestServer::TakePaths() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> paths;
    paths.swap(newPaths_);
    return paths;
}

int HttpTestServer::CountRequests(const std::string& prefix) const {
    int count = 0;
    for (const std::string& line : Requests()) {
        if (line.compare(0, 4 + prefix.size(), "GET " + prefix) == 0) ++count;
    }
    return count;
}

void HttpTestServer::Serve() {
    while (!stop_) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) break;
        Answer(client);
        closesocket(client);
    }
}

void HttpTestServer::Answer(SOCKET client) {
    DWORD timeoutMs = 5000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
        int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        request.append(buffer, got);
    }
    std::string line = request.substr(0, request.find("\r\n"));
    std::string path = line.size() > 4 ? line.substr(4, line.rfind(' ') - 4) : "";

    Reply reply{404, "not found"};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(line);
        newPaths_.push_back(path);
        size_t best = 0;
        for (const auto& route : routes_) {
            if (path.compare(0, route.first.size(), route.first) == 0 && route.first.size() >= best) {
                best = route.first.size();
                reply = route.second;
            }
        }
    }
    std::string response = "HTTP/1.0 " + std::to_string(reply.status) + (reply.status == 200 ? " OK" : " Error") +
                           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(reply.body.size()) +
                           "\r\n\r\n" + reply.body;
    send(client, response.data(), static_cast<int>(response.size()), 0);
    shutdown(client, SD_SEND);
    // Let the client read to the end before the socket goes.
    while (recv(client, buffer, sizeof buffer, 0) > 0) {
    }
}
