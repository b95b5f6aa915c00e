#include <winsock2.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "network/HttpClient.h"
#include "network/Socket.h"
#include "support/TestServer.h"

namespace {
// A first label over 63 characters: no resolver sends a query for it, so the lookup fails unheard.
const std::string kUnresolvableName = std::string(64, 'q') + ".invalid";
const std::string kOkHead = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nServer: scripted\r\n\r\n";
const std::string kOk = "HTTP/1.0 200 OK\r\n";

std::string Body(size_t size) {  // NULs, CRs and LFs too
    std::string body;
    for (size_t i = 0; i < size; ++i) body += static_cast<char>((i * 7) % 256);
    return body;
}
std::string Request(const std::wstring& path) {
    return "GET " + std::string(path.begin(), path.end()) +
           " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: MSIE 5.5\r\nConnection: close\r\n\r\n\r\n";
}
std::vector<std::string> Pieces(const std::string& first, const std::string& rest, size_t size) {
    std::vector<std::string> pieces{first};
    for (size_t at = 0; at < rest.size(); at += size) pieces.push_back(rest.substr(at, size));
    return pieces;
}
TestServer::Script SendInPieces(const std::vector<std::string>& pieces, DWORD gapMs) {
    return [pieces, gapMs](Peer& peer) { peer.SendPieces(pieces, gapMs); };
}
// A status line and headers of exactly `size` bytes, the empty line included.
std::string HeadOfSize(size_t size) { return kOk + "X-Fill: " + std::string(size - kOk.size() - 12, 'f') + "\r\n\r\n"; }
bool Exists(const char* name = "download.bin") { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

class Download : public testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }
    static void Remove() {
        DeleteFileA("download.bin");
        DeleteFileA("download.bin.part");
    }
    int Fetch(TestServer& server, const wchar_t* path = L"/keldatx.txt", const wchar_t* file = L"download.bin",
              const DownloadLimits& limits = kSmallFileLimits) {
        EXPECT_EQ(client.SetServer(L"127.0.0.1", server.Port()), 1);
        int result = client.DownloadToFile(path, file, limits);
        EXPECT_FALSE(Exists("download.bin.part"));
        return result;
    }
    static std::string Read() {
        std::ifstream in("download.bin", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    HttpClient client;
};
}  // namespace

TEST_F(Download, EachReplyGivesItsResultAndOnlyASavedBodyTouchesTheFile) {
    // The head is read in pieces of 1,024 bytes: a line of exactly that before its CR LF, one of 3,000,
    // and one whose LF begins the next piece.
    const std::string longLines = "X-Exact: " + std::string(1015, 'a') + "\r\nX-Long: " + std::string(3000, '\r') + "\r\n";
    const std::string splitLine = "X-Split: " + std::string(1014, 'b') + "\r\n";
    const struct {
        std::string reply;
        int result;
        std::string saved;
    } cases[] = {
        {kOkHead + Body(3000), 0, Body(3000)},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 0, ""},
        {kOk + longLines + "\r\n" + Body(10), 0, Body(10)},
        {"HTTP/1.0 200\r\nX-A: 1\r\r\n\r\nX-B: 2\r\n\r\nbody", 0, "body"},  // CR CR LF CR LF is one line
        {kOk + splitLine + "Content-Length: 4\r\n\r\nBODYmore", 0, "BODY"},
        {"HTTP/1.1 404 Not Found\r\n\r\nmissing", 404, ""},
        {"HTTP/1.0 2x0 OK\r\n\r\nbody", 1, ""},
        {"HTTP/1.0 000 OK\r\n\r\nbody", 1, ""},  // never "saved"
        {"HTTP/1.0 200 OK\r\nServer: scri", 1, ""},  // closes in mid-line
        {"HTTP/1.0 200 OK\r\nServer: scripted\r\n", 1, ""},
        {"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly forty bytes of the hundred promised", 1, ""},
        // A small reply's head and body may have 64 KB each, and no byte more.
        {HeadOfSize(65536) + "body", 0, "body"},
        {HeadOfSize(65537) + "body", 1, ""},
        {kOkHead + Body(65536), 0, Body(65536)},
        {kOkHead + Body(65537), 1, ""},
        {"HTTP/1.0 200 OK\r\nContent-Length: 65537\r\n\r\n" + Body(65537), 1, ""},
    };
    for (const auto& c : cases) {
        for (bool olderFile : {true, false}) {
            SCOPED_TRACE(c.reply.substr(0, 48) + (olderFile ? " (older file)" : ""));
            Remove();
            if (olderFile) std::ofstream("download.bin") << "old contents";
            TestServer server(TestServer::Sends(c.reply));
            EXPECT_EQ(Fetch(server), c.result);
            EXPECT_EQ(server.Finish(), Request(L"/keldatx.txt"));
            EXPECT_EQ(Exists(), olderFile || c.result == 0);
            EXPECT_EQ(Read(), c.result == 0 ? c.saved : olderFile ? "old contents" : "");
        }
    }
}

// The head is read in blocks: what a block brings past the empty line begins the body.
TEST_F(Download, TheSameFileHoweverTheReplyIsCutIntoSegments) {
    const std::string body = Body(40), withLength = "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n";
    for (const std::string& head : {kOkHead, withLength}) {
        const std::string reply = head + body + "past the length";
        for (const auto& pieces : {Pieces("", reply, 1), std::vector<std::string>{reply.substr(0, head.size() - 2), reply.substr(head.size() - 2)}}) {
            Remove();
            TestServer server(SendInPieces(pieces, 2));
            EXPECT_EQ(Fetch(server), 0);
            EXPECT_EQ(Read(), head == kOkHead ? body + "past the length" : body) << pieces[0].size();
        }
    }
}

TEST_F(Download, RequestsGoOutUnchangedOrNotAtAll) {
    const std::wstring fits = L"/" + std::wstring(1007, L'p');  // "GET ", 1,008 bytes, " HTTP/1.0" CR LF, NUL
    for (const std::wstring& path : {std::wstring(L"/kelda_tools_info.php?a=x y+z"), fits}) {
        TestServer server(TestServer::Sends(kOkHead));
        EXPECT_EQ(Fetch(server, path.c_str()), 0);
        EXPECT_EQ(server.Finish(), Request(path));
    }
    const std::pair<std::wstring, std::wstring> refused[] = {{fits + L"p", L"download.bin"}, {L"/статистика", L"download.bin"}, {L"/x", L"файл.bin"}};
    for (const auto& [path, file] : refused) {
        TestServer unused(TestServer::Sends(kOkHead));
        EXPECT_EQ(Fetch(unused, path.c_str(), file.c_str()), file == L"download.bin" ? 1 : 2);
        unused.Finish();
        EXPECT_FALSE(unused.Accepted());
    }
}

// A stall before the status, inside it, inside a header line or inside the body is bounded by the
// receive time-out; a body of the length announced is saved without waiting for the close.
TEST_F(Download, StallingServersAreBoundedByTheTimeouts) {
    const std::pair<std::string, int> replies[] = {{"", 1}, {"HTTP/1.0 2", 1}, {kOk + "Server: x", 1}, {kOk + "\r\npart of a body", 1},
                                                   {kOk + "content-length:  5\r\n\r\nhello and more", 0}};
    for (const auto& [reply, result] : replies) {
        TestServer server([reply = reply](Peer& peer) {
            peer.Send(reply);
            peer.Stall();
        });
        client.SetTimeouts(2000, result ? 300 : 5000);
        DWORD start = GetTickCount();
        EXPECT_EQ(Fetch(server), result) << reply;
        DWORD waited = GetTickCount() - start;
        EXPECT_TRUE(waited >= (result ? 250u : 0u) && waited < 3000u) << reply << waited;
        EXPECT_EQ(Read(), result ? "" : "hello") << reply;
    }
}

// A server that keeps sending, but too slowly, is cut off where the exchange's bounds say:
// the head, the whole small reply, or an archive's stretch.
TEST_F(Download, TricklingServersAreBoundedByTheWholeExchange) {
    DownloadLimits small = kSmallFileLimits, archive = kArchiveLimits;
    small.headMs = 300;
    small.exchangeMs = 600;
    archive.stretchMs = 250;
    archive.stretchBytes = 64;
    const struct {
        std::vector<std::string> pieces;
        DWORD gapMs;
        DownloadLimits limits;
        DWORD boundMs;  // 0: saved
    } cases[] = {
        {Pieces(kOk + "X-Slow: ", std::string(400, 'x'), 1), 25, small, 300},
        {Pieces(kOk + "\r\n", std::string(400, 'b'), 1), 25, small, 600},
        {Pieces(kOk + "\r\n", std::string(400, 'a'), 10), 50, archive, 250},  // 50 bytes a stretch
        {Pieces(kOk + "\r\n", std::string(640, 'a'), 40), 50, archive, 0},    // 200 bytes a stretch, over three
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boundMs);
        Remove();
        TestServer server(SendInPieces(c.pieces, c.gapMs));
        client.SetTimeouts(2000, 1000);  // every piece comes well within the receive bound
        DWORD start = GetTickCount();
        EXPECT_EQ(Fetch(server, L"/keldatx.txt", L"download.bin", c.limits), c.boundMs ? 1 : 0);
        DWORD waited = GetTickCount() - start;
        EXPECT_EQ(Read(), c.boundMs ? "" : std::string(640, 'a'));
        EXPECT_TRUE(!c.boundMs || (waited >= c.boundMs - 50 && waited < c.boundMs + 2000)) << waited;
    }
}

TEST_F(Download, NoConnectionOrNoFileFails) {
    EXPECT_EQ(client.SetServer(L"127.0.0.1", RefusedPort()), 1);
    EXPECT_EQ(client.DownloadToFile(L"/keldatx.txt", L"download.bin"), 1);
    EXPECT_FALSE(Exists());
    bool clientClosed = false;
    TestServer server([&clientClosed](Peer& peer) {
        peer.Send(kOkHead + Body(100));
        clientClosed = peer.ClientCloses();
    });
    EXPECT_EQ(Fetch(server, L"/keldatx.txt", L"no_such_folder\\download.bin"), 2);
    server.Finish();
    EXPECT_TRUE(clientClosed);
}

TEST(Socket, CreateStartsWindowsSocketsWhenTheFirstSocketFails) {
    while (WSACleanup() == 0) {
    }
    ASSERT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    Socket s;
    EXPECT_NE(s.Create(), kNoSocket);
}

TEST(Socket, ResolveAddressPicksSuffixDottedOrNameForm) {
    WindowsSockets windowsSockets;
    const std::pair<std::string, unsigned long> cases[] = {  // 0: refused
        {".1.10", 0xC0A8010A}, {"1.2.3.4", 0x01020304},
        {"ab.server", 0xFFFFFFFF},  // short first label: dotted, unreadable
        {"localhost", 0x7F000001},  // only a lookup gives this
        {kUnresolvableName, 0},
        // 24 characters of suffix fit the address text; 25 would be cut into another address.
        {".1.10" + std::string(19, ' '), 0xC0A8010A}, {".1.10" + std::string(20, ' '), 0}};
    for (const auto& [host, expected] : cases) {
        sockaddr_in address{};
        ASSERT_EQ(Socket::ResolveAddress(address, host.c_str(), 8080), expected != 0) << host;
        EXPECT_TRUE(!expected || (address.sin_family == AF_INET && ntohs(address.sin_port) == 8080 &&
                                  ntohl(address.sin_addr.s_addr) == expected)) << host;
    }
}

TEST(Socket, ConnectFailsWithinTheTimeoutAndLeavesNoSocket) {
    WindowsSockets windowsSockets;
    Socket s;
    EXPECT_FALSE(s.Connect(kUnresolvableName.c_str(), 80) || s.Handle() != kNoSocket);
    EXPECT_FALSE(s.Connect("127.0.0.1", RefusedPort()) || s.Handle() != kNoSocket);
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
    }
    EXPECT_FALSE(connected);
    EXPECT_TRUE(waited >= 250u && waited < 3000u) << waited;
    closesocket(listener);
}

TEST(HttpClient, SetServerKeepsTheDottedFormAndKeepsTheOldServerOnFailure) {
    WindowsSockets windowsSockets;
    HttpClient client;
    EXPECT_EQ(client.SetServer(L"localhost", 8081), 1);
    EXPECT_EQ(client.SetServer(std::wstring(kUnresolvableName.begin(), kUnresolvableName.end()).c_str(), 9), 0);
    EXPECT_EQ(client.SetServer(L"сервер", 9), 0);
    EXPECT_EQ(std::string(client.Host()) + ":" + std::to_string(client.Port()), "127.0.0.1:8081");
    EXPECT_EQ(client.SetServer(L".1.10", 80), 1);
    EXPECT_STREQ(client.Host(), "192.168.1.10");
}
