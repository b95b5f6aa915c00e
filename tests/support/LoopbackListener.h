#pragma once
#include <winsock2.h>

// A listening TCP socket on 127.0.0.1, for the servers tests and benchmarks run
// in their own process. port 0: a port of the system's choice. Gives
// INVALID_SOCKET when the port can't be had; `boundPort` receives the port.
inline SOCKET ListenOnLoopback(int port, int backlog, int& boundPort) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return listener;
    if (port != 0) {  // a fixed port: take it back from a run that just ended
        BOOL reuse = TRUE;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    int size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, backlog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    boundPort = ntohs(address.sin_port);
    return listener;
}
