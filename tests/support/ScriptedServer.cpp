#include "support/ScriptedServer.h"

#include "support/LoopbackListener.h"

namespace {
// Waits (bounded) until the socket has something to read; false on time-out.
bool Readable(SOCKET s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) > 0;
}
}  // namespace

void Peer::ReadRequest() {
    char c;
    while (request_.size() < 1u << 16 && request_.find("\r\n\r\n\r\n") == std::string::npos) {
        if (!Readable(socket_, 5000) || recv(socket_, &c, 1, 0) != 1) return;
        request_ += c;
    }
}

void Peer::Send(const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        int n = send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

void Peer::SendPieces(const std::vector<std::string>& pieces, DWORD gapMs) {
    BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && WaitForSingleObject(release_, gapMs) == WAIT_OBJECT_0) return;
        int size = static_cast<int>(pieces[i].size());
        if (send(socket_, pieces[i].data(), size, 0) != size) return;
    }
}

bool Peer::ClientCloses() {
    char c;
    return Readable(socket_, 5000) && recv(socket_, &c, 1, 0) <= 0;
}

ScriptedServer::ScriptedServer(Script script) {
    release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    listener_ = ListenOnLoopback(0, 1, port_);
    thread_ = std::thread(&ScriptedServer::Serve, this, std::move(script));
}

void ScriptedServer::Serve(Script script) {
    // Short slices so that Finish() ends a server nobody connected to at once.
    for (int waited = 0; !stop_ && waited < 10000; waited += 50) {
        if (!Readable(listener_, 50)) continue;
        SOCKET connection = accept(listener_, nullptr, nullptr);
        if (connection == INVALID_SOCKET) return;
        accepted_ = true;
        Peer peer(connection, release_, request_);
        script(peer);
        closesocket(connection);
        return;
    }
}

const std::string& ScriptedServer::Finish() {
    if (thread_.joinable()) {
        stop_ = true;
        SetEvent(release_);
        thread_.join();
        closesocket(listener_);
        CloseHandle(release_);
    }
    return request_;
}

ScriptedServer::Script ScriptedServer::Reply(const std::string& bytes) {
    return [bytes](Peer& peer) {
        peer.ReadRequest();
        peer.Send(bytes);
    };
}

int RefusedPort() {
    ScriptedServer closed([](Peer&) {});
    return closed.Port();
}
