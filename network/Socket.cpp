// Windows Sockets before <windows.h>, which Socket.h brings in.
#include <winsock2.h>

#include "network/Socket.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>


static_assert(std::is_same<SocketHandle, SOCKET>::value, "SocketHandle must be SOCKET");
static_assert(kNoSocket == INVALID_SOCKET, "kNoSocket must be INVALID_SOCKET");

namespace {
// A connect is waited for in slices this long, so that Abort ends it soon.
constexpr unsigned long kConnectSliceMs = 50;

// "192.168" and the suffix must fit a 32-byte buffer with its terminator.
constexpr std::size_t kMaxSuffixLength = 24;

bool HasShortFirstLabel(const char* host, std::size_t length) {
    return (length >= 4 && host[3] == '.') || (length >= 3 && host[2] == '.') ||
           (length >= 2 && host[1] == '.');
}
}  // namespace

bool CloseSocket(SocketHandle handle) { return closesocket(handle) == 0; }

void Socket::Replace(SocketHandle handle) {
    std::lock_guard<std::mutex> lock(handleMutex_);
    handle_.reset(handle);
}

SocketHandle Socket::Create() {
    Replace(socket(AF_INET, SOCK_STREAM, 0));
    if (handle_) return handle_.get();
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        MessageBoxW(nullptr, L"WSAStartup  Error", L"Client", MB_OK);
    }
    Replace(socket(AF_INET, SOCK_STREAM, 0));
    return handle_.get();
}

// Shutting the socket down wakes a receive blocked on it; the handle itself is
// closed only by the thread that uses it, so it is never reused under that thread.
void Socket::Abort() {
    aborted_ = true;
    std::lock_guard<std::mutex> lock(handleMutex_);
    if (handle_) shutdown(handle_.get(), SD_BOTH);
}

bool Socket::Connect(const char* host, int port) {
    if (aborted_ || (!handle_ && Create() == kNoSocket)) return false;
    sockaddr_in address{};
    if (!ResolveAddress(address, host, port) || !ConnectWithinTimeout(address)) {
        Close();
        return false;
    }
    return true;
}

// connect() itself would wait as long as the system retries; wait for it in
// select() instead, then go back to blocking calls bounded by SO_RCVTIMEO.
bool Socket::ConnectWithinTimeout(const sockaddr_in& address) {
    SOCKET s = handle_.get();
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        fd_set writable, failed;
        int ready = 0;
        for (unsigned long waited = 0; ready == 0 && waited < connectTimeoutMs_ && !aborted_;
             waited += kConnectSliceMs) {
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval slice{0, static_cast<long>(std::min(kConnectSliceMs, connectTimeoutMs_ - waited)) * 1000};
            ready = select(0, nullptr, &writable, &failed, &slice);
        }
        if (ready <= 0 || FD_ISSET(s, &failed)) return false;
        int error = 0;
        int size = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0) {
            return false;
        }
    }
    u_long blocking = 0;
    DWORD bound = receiveTimeoutMs_;
    const char* boundBytes = reinterpret_cast<const char*>(&bound);
    return ioctlsocket(s, FIONBIO, &blocking) == 0 &&
           setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, boundBytes, sizeof bound) == 0 &&
           setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, boundBytes, sizeof bound) == 0;
}

void Socket::Close() { Replace(kNoSocket); }

int Socket::Send(const char* bytes, int length) { return send(handle_.get(), bytes, length, 0); }

// An aborted receive fails even when it saw the end that the shutdown made:
// that end is no peer's, and a body read to it would pass for complete.
int Socket::Receive(char* buffer, int capacity) {
    int received = aborted_ ? -1 : recv(handle_.get(), buffer, capacity, 0);
    return aborted_ ? -1 : received;
}

int Socket::ReceiveWithin(char* buffer, int capacity, unsigned long waitMs) {
    if (waitMs == 0 || aborted_) return -1;
    // A wait as long as the receive bound needs no select: the bound ends it.
    if (waitMs < receiveTimeoutMs_) {
        SOCKET s = handle_.get();
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval limit{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
        if (select(0, &readable, nullptr, nullptr, &limit) != 1) return -1;
    }
    return Receive(buffer, capacity);
}

bool Socket::ResolveAddress(sockaddr_in& address, const char* host, int port) {
    address.sin_family = AF_INET;
    std::size_t length = std::strlen(host);
    if (host[0] == '.') {
        // A longer suffix would be cut short into a different address.
        if (length > kMaxSuffixLength) return false;
        char text[32];
        std::snprintf(text, sizeof text, "192.168%s", host);
        address.sin_addr.s_addr = inet_addr(text);
    } else if (HasShortFirstLabel(host, length)) {
        address.sin_addr.s_addr = inet_addr(host);
    } else {
        const hostent* entry = gethostbyname(host);
        if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) return false;
        std::size_t size = static_cast<std::size_t>(entry->h_length);
        if (size > sizeof address.sin_addr) size = sizeof address.sin_addr;
        std::memcpy(&address.sin_addr, entry->h_addr_list[0], size);
    }
    address.sin_port = htons(static_cast<u_short>(port));
    return true;
}

void Socket::SetTimeouts(unsigned long connectMs, unsigned long receiveMs) {
    connectTimeoutMs_ = connectMs;
    receiveTimeoutMs_ = receiveMs;
}

void Socket::SetNoDelay() {
    int on = 1;
    setsockopt(handle_.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}
