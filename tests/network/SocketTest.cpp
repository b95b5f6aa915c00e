#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>

#include "network/Socket.h"
#include "support/TestServer.h"

namespace {
// A first label longer than 63 characters: no resolver sends a query for it,
// so the lookup fails without any traffic.
const std::string kUnresolvableName = std::string(64, 'q') + ".invalid";
}  // namespace

TEST(Socket, CreateStartsWindowsSocketsWhenTheFirstSocketFails) {
    while (WSACleanup() == 0) {
    }
    ASSERT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    ASSERT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    Socket s;
    EXPECT_NE(s.Create(), kNoSocket);
    EXPECT_EQ(s.Handle(), s.Create());  // a second Create replaces the handle
}

TEST(Socket, ResolveAddressPicksSuffixDottedOrNameForm) {
    WindowsSockets windowsSockets;
    const struct {
        std::string host;
        unsigned long address;  // 0: refused
    } cases[] = {
        {".1.10", 0xC0A8010A},  // 192.168.1.10, never connected to
        {"1.2.3.4", 0x01020304},
        {"10.0.0.1", 0x0A000001},
        {"172.16.0.1", 0xAC100001},
        {"ab.server", 0xFFFFFFFF},  // short first label: dotted, unreadable
        {"localhost", 0x7F000001},  // only a lookup gives this
        {kUnresolvableName, 0},
        // 24 characters of suffix fit the address text; 25 would be cut into another address.
        {".1.10" + std::string(19, ' '), 0xC0A8010A},
        {".1.10" + std::string(20, ' '), 0},
    };
    for (const auto& c : cases) {
        sockaddr_in address{};
        ASSERT_EQ(Socket::ResolveAddress(address, c.host.c_str(), 8080), c.address != 0) << c.host;
        if (c.address == 0) continue;
        EXPECT_EQ(address.sin_family, AF_INET);
        EXPECT_EQ(ntohs(address.sin_port), 8080);
        EXPECT_EQ(ntohl(address.sin_addr.s_addr), c.address) << c.host;
    }
}

TEST(Socket, ConnectFailsWithinTheTimeoutAndLeavesNoSocket) {
    WindowsSockets windowsSockets;
    Socket s;
    EXPECT_FALSE(s.Connect(kUnresolvableName.c_str(), 80));
    EXPECT_EQ(s.Handle(), kNoSocket);
    EXPECT_FALSE(s.Connect("127.0.0.1", RefusedPort()));
    EXPECT_EQ(s.Handle(), kNoSocket);

    // A listener whose queue is full drops further connection requests unanswered.
    int port = 0;
    SOCKET listener = ListenOnLoopback(0, 0, port);
    Socket queued[4];
    bool connected = true;
    DWORD waited = 0;
    for (int i = 0; i < 4 && connected; ++i) {
        queued[i].SetTimeouts(300, 300);
        DWORD start = GetTickCount();
        connected = queued[i].Connect("127.0.0.1", port);
        waited = GetTickCount() - start;
        if (!connected) { EXPECT_EQ(queued[i].Handle(), kNoSocket); }
    }
    EXPECT_FALSE(connected);
    EXPECT_GE(waited, 250u);
    EXPECT_LT(waited, 3000u);
    closesocket(listener);
}

// The server answers once it has a request.
const char kRequest[] = "GET / HTTP/1.0\r\n\r\n\r\n";

TEST(Socket, ReceiveExactCollectsPiecesAndFailsOnEarlyClose) {
    TestServer server([](Peer& peer) {
        peer.Send("HTTP/");
        Sleep(100);  // lets the first piece reach the client on its own
        peer.Send("1.0 200abcdefgh");
    });
    Socket s;
    ASSERT_TRUE(s.Connect("127.0.0.1", server.Port()));
    ASSERT_EQ(s.Send(kRequest, sizeof kRequest - 1), int(sizeof kRequest - 1));
    char buffer[16] = {};
    EXPECT_TRUE(s.ReceiveExact(buffer, 0));
    ASSERT_TRUE(s.ReceiveExact(buffer, 12));
    EXPECT_EQ(std::string(buffer, 12), "HTTP/1.0 200");
    EXPECT_FALSE(s.ReceiveExact(buffer, 12));  // 8 bytes, then the close
}

TEST(Socket, ReceiveUntilStopsAtTheTerminatorOnly) {
    TestServer server([](Peer& peer) { peer.Send("ab\r\nline\r\r\nx\r\nabcdef\r\nrest"); });
    Socket s;
    ASSERT_TRUE(s.Connect("127.0.0.1", server.Port()));
    ASSERT_EQ(s.Send(kRequest, sizeof kRequest - 1), int(sizeof kRequest - 1));
    char buffer[1024];
    int stored = -1;
    EXPECT_EQ(s.ReceiveUntil(buffer, 1, "\r\n", 0, &stored), 0);  // terminator longer than the buffer
    EXPECT_EQ(stored, 0);
    ASSERT_EQ(s.ReceiveUntil(buffer, 1024, "\r\n"), 4);
    EXPECT_EQ(std::string(buffer, 4), "ab\r\n");
    ASSERT_EQ(s.ReceiveUntil(buffer, 1024, "\r\n", 2), 10);  // CR CR LF does not end the line
    EXPECT_EQ(std::string(buffer, 10), "line\r\r\nx\r\n");
    EXPECT_EQ(s.ReceiveUntil(buffer, 4, "\r\n", 0, &stored), 0);  // full buffer: the line goes on
    EXPECT_EQ(stored, 4);
    EXPECT_EQ(s.ReceiveUntil(buffer, 4, "\r\n", 0, &stored), 4);
    EXPECT_EQ(std::string(buffer, 4), "ef\r\n");
    EXPECT_EQ(s.ReceiveUntil(buffer, 1024, "\r\n", 0, &stored), 0);  // closed in mid-line
    EXPECT_EQ(stored, 4);
}
