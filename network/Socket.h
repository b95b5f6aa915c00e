#pragma once
#include <atomic>
#include <cstdint>

#include "framework/UniqueHandle.h"
#include "network/DownloadLimits.h"

struct sockaddr_in;

// The Windows Sockets handle (SOCKET), named here without <winsock2.h>, which
// must come before <windows.h> and so cannot follow from a header like this one.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle kNoSocket = ~SocketHandle(0);

bool CloseSocket(SocketHandle handle);
using UniqueSocket = UniqueHandle<SocketHandle, CloseSocket, -1>;  // kNoSocket for none

// An IPv4 TCP client socket, reused for one connection after another.
// Connecting and every receive are bounded by the time-outs, and each wait also
// ends when another thread calls Abort, the one call that may come from one.
class Socket {
public:
    Socket();
    virtual ~Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Opens a new socket in place of the held one. The first socket of the
    // process fails until Windows Sockets is started, which this does then.
    SocketHandle Create();
    // Opens a socket when none is held; any failure leaves none.
    bool Connect(const char* host, int port);
    void Close();

    int Send(const char* bytes, int length);
    // One receive that waits at most waitMs for its first byte (and never past
    // the receive bound): bytes received, 0 when the peer has closed, -1 on
    // error, when the time ran out or after Abort.
    int ReceiveWithin(char* buffer, int capacity, unsigned long waitMs);

    // Fills an IPv4 address from ".x.y" (192.168.x.y), a dotted address, or a
    // name to look up.
    static bool ResolveAddress(sockaddr_in& address, const char* host, int port);

    // Bounds, in milliseconds (more than 0), for the next connections.
    void SetTimeouts(unsigned long connectMs, unsigned long receiveMs);
    // Switches the Nagle algorithm off on the held socket.
    void SetNoDelay();
    SocketHandle Handle() const { return handle_.get(); }

    // From any thread: a connect or receive under way returns at once as failed,
    // and so does every later one. For an owner that must not wait for a server.
    void Abort();

private:
    bool ConnectWithinTimeout(const sockaddr_in& address);
    // Waits for the socket's event or Abort's, at most ms: true for the socket's.
    bool WaitForNetwork(unsigned long ms);

    std::atomic<bool> aborted_{false};
    UniqueKernelHandle abortEvent_;    // set by Abort
    UniqueKernelHandle networkEvent_;  // the held socket's connect, read and close
    UniqueSocket handle_;
    unsigned long connectTimeoutMs_ = kConnectTimeoutMs;
    unsigned long receiveTimeoutMs_ = kReceiveTimeoutMs;
};
