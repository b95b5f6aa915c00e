#include <winsock2.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "network/HttpClient.h"
#include "support/TestServer.h"

namespace {
const std::string kOk = "HTTP/1.0 200 OK\r\n", kHead = kOk + "Content-Type: application/octet-stream\r\n\r\n";

std::string Body(size_t size) {  // NULs, CRs and LFs too
    std::string body;
    for (size_t i = 0; i < size; ++i) body += static_cast<char>((i * 7) % 256);
    return body;
}
std::vector<std::string> Pieces(const std::string& first, const std::string& rest, size_t size) {
    std::vector<std::string> pieces{first};
    for (size_t at = 0; at < rest.size(); at += size) pieces.push_back(rest.substr(at, size));
    return pieces;
}

// Each download goes over an older file, which only a saved body may replace (and no part file a killed run left).
class Download : public testing::Test {
protected:
    void TearDown() override { DeleteFileA("download.bin"); }
    int Fetch(TestServer& server, const DownloadLimits& limits, const std::wstring& path = L"/keldatx.txt",
              const wchar_t* target = L"download.bin") {
        std::ofstream("download.bin") << "old contents";
        DeleteFileA("download.bin.part");
        EXPECT_EQ(client.SetServer(L"127.0.0.1", server.Port()), 1);
        int result = client.DownloadToFile(path.c_str(), target, limits);
        EXPECT_EQ(GetFileAttributesA("download.bin.part"), INVALID_FILE_ATTRIBUTES);
        saved.assign(std::istreambuf_iterator<char>(std::ifstream("download.bin", std::ios::binary).rdbuf()), {});
        return result;
    }
    HttpClient client;
    std::string saved;
};
}  // namespace

// The head is read in pieces of 1,024 bytes: a line of exactly that before its CR LF, one of 3,000 CRs, and
// one whose LF begins the next piece. A server that stalls, or sends too slowly, is cut off where a bound says.
TEST_F(Download, EachReplyGivesItsResultAndFileInItsTime) {
    const std::string longLines = "X-Exact: " + std::string(1015, 'a') + "\r\nX-Long: " + std::string(3000, '\r');
    const std::string splitLine = "X-Split: " + std::string(1014, 'b') + "\r\n";
    DownloadLimits head = kSmallFileLimits, exchange = kSmallFileLimits, stretch = kArchiveLimits;
    head.headMs = 300, exchange.exchangeMs = 600, stretch.stretchMs = 250, stretch.stretchBytes = 64;
    // The pieces go gapMs apart; then the server closes, or stalls when a bound is due: the download must fail at boundMs.
    const struct { std::vector<std::string> pieces; int result; std::string saved{}; DWORD gapMs = 0; DownloadLimits limits = kSmallFileLimits;
                   DWORD boundMs = 0; const wchar_t* target = L"download.bin"; } cases[] = {
        {{kOk + longLines + "\r\n\r\n" + Body(10)}, 0, Body(10)},
        {{kOk + splitLine + "content-length:  4\r\n\r\nBODYmore"}, 0, "BODY"},
        {{"HTTP/1.1 404 Not Found\r\n\r\nmissing"}, 404},
        {{"HTTP/1.0 000 OK\r\n\r\nbody"}, 1},  // never "saved"
        {{"HTTP/1.0 2x0 OK\r\n\r\nbody"}, 1},
        {{kOk + "Content-Length: 0\r\n\r\nextra"}, 0, ""},
        {{kOk + "X-A: b\r\r\n\r\nX-B: c\r\n\r\nbody"}, 0, "body"},  // CR CR LF ends no line
        {{kOk + "\r", "\nbody"}, 0, "body", 50},  // the empty line's CR and LF in two segments
        {{kHead + "body"}, 2, "", 0, kSmallFileLimits, 0, L"no_such_folder\\download.bin"},
        {{"HTTP/1.0 200 OK\r\nServer: scri"}, 1},
        {{kOk + "Content-Length: 100\r\n\r\nonly forty bytes of the hundred promised"}, 1},
        // A small reply's body may have 64 KB, and no byte more.
        {{kHead + Body(65536)}, 0, Body(65536)},
        {{kHead + Body(65537)}, 1},
        {{kOk + "\r\npart of a body"}, 1, "", 0, kSmallFileLimits, 500},  // the receive time-out
        {Pieces(kOk + "X-Slow: ", std::string(400, 'x'), 1), 1, "", 25, head, 300},
        {Pieces(kOk + "\r\n", std::string(400, 'b'), 1), 1, "", 25, exchange, 600},
        {Pieces(kOk + "\r\n", std::string(400, 'a'), 10), 1, "", 50, stretch, 250},  // 50 bytes a stretch
        {Pieces("HTTP/1.0 2", "00 OK\r\n\r\n" + std::string(640, 'a'), 40), 0, std::string(640, 'a'), 50, stretch},
    };
    client.SetTimeouts(2000, 500);  // well above every gap
    for (const auto& c : cases) {
        TestServer server([&c](Peer& peer) {
            peer.SendPieces(c.pieces, c.gapMs);
            if (c.boundMs) peer.Stall();
        });
        DWORD start = GetTickCount();
        EXPECT_EQ(Fetch(server, c.limits, L"/keldatx.txt", c.target), c.result) << c.pieces[0].substr(0, 40);
        DWORD waited = GetTickCount() - start;
        EXPECT_EQ(saved, c.result ? "old contents" : c.saved) << c.pieces[0].substr(0, 40);
        EXPECT_TRUE(!c.boundMs || (waited >= c.boundMs - 50 && waited < c.boundMs + 2000)) << waited;
    }
}

// A request that can't go out whole ("GET ", 1,008 bytes of path, " HTTP/1.0" CR LF, NUL in 1,024) or
// unchanged (characters past U+00FF) does not go out at all.
TEST_F(Download, RequestsGoOutWholeOrNotAtAll) {
    const std::wstring longest = L"/" + std::wstring(1007, L'p');
    for (const std::wstring& path : {longest, longest + L"p", std::wstring(L"/статистика")}) {
        TestServer server([](Peer& peer) { peer.Send(kHead); });
        EXPECT_EQ(Fetch(server, kSmallFileLimits, path), path == longest ? 0 : 1);
        EXPECT_EQ(server.Finish(), path != longest ? "" : "GET " + std::string(path.begin(), path.end()) +
                  " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: MSIE 5.5\r\nConnection: close\r\n\r\n\r\n");
    }
}

TEST(Socket, AFailedConnectLeavesNoSocketAnUnansweredOneEndsInTimeAndSetServerKeepsTheDottedForm) {
    WindowsSockets windowsSockets;
    Socket refused;
    EXPECT_FALSE(refused.Connect("127.0.0.1", RefusedPort()) || refused.Handle() != kNoSocket);
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
    EXPECT_TRUE(!connected && waited >= 250u && waited < 3000u) << connected << " " << waited;
    closesocket(listener);
    // SetServer keeps the dotted form, or the server before.
    HttpClient client;
    // A name; then, read without a lookup, a suffix of "192.168" (24 characters at most) and a short first label.
    // A first label over 63 characters: no resolver sends a query for it, so the lookup fails unheard.
    const struct { std::wstring name; int result; std::string server; } cases[] = {
        {L"localhost", 1, "127.0.0.1:1"}, {std::wstring(64, L'q') + L".invalid", 0, "127.0.0.1:1"},
        {L".1.10", 1, "192.168.1.10:3"}, {L"." + std::wstring(23, L'x'), 1, "255.255.255.255:4"},
        {L"." + std::wstring(24, L'x'), 0, "255.255.255.255:4"}, {L"10.0.0.1", 1, "10.0.0.1:6"},
        {L"ab.server", 1, "255.255.255.255:7"},
    };
    port = 0;  // each row's own: a refused one leaves the row before it
    for (const auto& c : cases) {
        EXPECT_EQ(client.SetServer(c.name.c_str(), ++port), c.result) << port;
        EXPECT_EQ(std::string(client.Host()) + ":" + std::to_string(client.Port()), c.server) << port;
    }
}
