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
// "192.168" and the suffix must fit a 32-byte buffer with its terminator.
constexpr std::size_t kMaxSuffixLength = 24;

bool HasShortFirstLabel(const char* host, std::size_t length) {
    return (length >= 4 && host[3] == '.') || (length >= 3 && host[2] == '.') ||
           (length >= 2 && host[1] == '.');
}
}  // namespace

bool CloseSocket(SocketHandle handle) { return closesocket(handle) == 0; }

Socket::Socket()
    : abortEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      networkEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

SocketHandle Socket::Create() {
    handle_.reset(socket(AF_INET, SOCK_STREAM, 0));
    if (handle_) return handle_.get();
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        MessageBoxW(nullptr, L"WSAStartup  Error", L"Client", MB_OK);
    }
    handle_.reset(socket(AF_INET, SOCK_STREAM, 0));
    return handle_.get();
}

// Only an event: the socket itself stays its own thread's to use and close.
void Socket::Abort() {
    aborted_ = true;
    SetEvent(abortEvent_.get());
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

bool Socket::WaitForNetwork(unsigned long ms) {
    const HANDLE events[] = {networkEvent_.get(), abortEvent_.get()};
    return WaitForMultipleObjects(2, events, FALSE, ms) == WAIT_OBJECT_0 && !aborted_;
}

// The socket reports to an event rather than blocking, so that every wait
// can end at the time-out or at Abort, whichever comes first. It stays
// non-blocking: a receive that finds nothing waits for the event.
bool Socket::ConnectWithinTimeout(const sockaddr_in& address) {
    SOCKET s = handle_.get();
    ResetEvent(networkEvent_.get());
    if (WSAEventSelect(s, networkEvent_.get(), FD_CONNECT) != 0) return false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitForNetwork(connectTimeoutMs_)) return false;
        WSANETWORKEVENTS happened{};
        if (WSAEnumNetworkEvents(s, networkEvent_.get(), &happened) != 0 || !(happened.lNetworkEvents & FD_CONNECT) ||
            happened.iErrorCode[FD_CONNECT_BIT] != 0) {
            return false;
        }
    }
    return WSAEventSelect(s, networkEvent_.get(), FD_READ | FD_CLOSE) == 0;
}

void Socket::Close() { handle_.reset(); }

int Socket::Send(const char* bytes, int length) { return send(handle_.get(), bytes, length, 0); }

int Socket::ReceiveWithin(char* buffer, int capacity, unsigned long waitMs) {
    unsigned long bound = std::min(waitMs, receiveTimeoutMs_);
    DWORD start = GetTickCount();
    for (;;) {
        if (aborted_) return -1;
        ResetEvent(networkEvent_.get());  // before the receive, so no arrival after it goes unseen
        int received = recv(handle_.get(), buffer, capacity, 0);
        if (received >= 0) return aborted_ ? -1 : received;
        unsigned long waited = GetTickCount() - start;
        if (WSAGetLastError() != WSAEWOULDBLOCK || waited >= bound || !WaitForNetwork(bound - waited)) return -1;
    }
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
