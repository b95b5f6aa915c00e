#include <winsock2.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "network/HttpClient.h"
#include "settings/AppConfig.h"
#include "settings/BuildSettings.h"
#include "support/ScriptedServer.h"

namespace {
const char kOkHead[] = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nServer: scripted\r\n\r\n";

std::string Body(size_t size) {
    std::string body;
    for (size_t i = 0; i < size; ++i) body += static_cast<char>((i * 7) % 256);  // NULs, CRs and LFs too
    return body;
}

std::string Request(const std::string& path) {
    return "GET " + path + " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: MSIE 5.5\r\nConnection: close\r\n\r\n\r\n";
}

class Download : public testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override {
        EXPECT_EQ(GetFileAttributesA("download.bin.part"), INVALID_FILE_ATTRIBUTES);
        Remove();
    }
    static void Remove() {
        DeleteFileA("download.bin");
        DeleteFileA("download.bin.part");
    }
    int Fetch(ScriptedServer& server, const wchar_t* path = L"/keldatx.txt", const wchar_t* file = L"download.bin") {
        EXPECT_EQ(client.SetServer(L"127.0.0.1", server.Port()), 1);
        return client.DownloadToFile(path, file);
    }
    static void Write(const std::string& text) { std::ofstream("download.bin", std::ios::binary) << text; }
    static bool Exists() { return GetFileAttributesA("download.bin") != INVALID_FILE_ATTRIBUTES; }
    static std::string Read() {
        std::ifstream in("download.bin", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    HttpClient client;
};
}  // namespace

TEST_F(Download, SendsTheExactRequestAndSavesTheBodyByteForByte) {
    ScriptedServer server(ScriptedServer::Reply(kOkHead + Body(3000)));
    EXPECT_EQ(Fetch(server), 0);
    EXPECT_EQ(server.Finish(), Request("/keldatx.txt"));
    EXPECT_EQ(Read(), Body(3000));
}

TEST_F(Download, SendsAPathWithBlanksAndPlusSignsUnchanged) {
    ScriptedServer server(ScriptedServer::Reply(kOkHead));
    EXPECT_EQ(Fetch(server, L"/kelda_tools_info.php?a=x y+z"), 0);
    EXPECT_EQ(server.Finish(), Request("/kelda_tools_info.php?a=x y+z"));
}

TEST_F(Download, EmptyBodyTruncatesAnExistingFile) {
    Write("old contents");
    ScriptedServer server(ScriptedServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_EQ(Fetch(server), 0);
    EXPECT_TRUE(Exists());
    EXPECT_EQ(Read(), "");
}

TEST_F(Download, OtherStatusesLeaveAnExistingFileAsItWas) {
    const struct {
        const char* reply;
        int result;
    } cases[] = {
        {"HTTP/1.1 404 Not Found\r\n\r\nmissing", 404},
        {"HTTP/1.0 2x0 OK\r\n\r\nbody", 1},
        {"HTTP/1.0 000 OK\r\n\r\nbody", 1},  // never "saved"
        {"HTTP/1.0 20", 1},
        {"HTTP/1.0 200 OK\r\nServer: scri", 1},  // closes in mid-line
        {"HTTP/1.0 200 OK\r\nServer: scripted\r\n", 1},
        {"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly forty bytes of the hundred promised", 1},
    };
    for (const auto& c : cases) {
        Write("old contents");
        ScriptedServer server(ScriptedServer::Reply(c.reply));
        EXPECT_EQ(Fetch(server), c.result) << c.reply;
        EXPECT_EQ(Read(), "old contents") << c.reply;
        Remove();
        ScriptedServer again(ScriptedServer::Reply(c.reply));
        Fetch(again);
        EXPECT_FALSE(Exists()) << c.reply;
    }
}

TEST_F(Download, HeaderLinesLongerThanTheBufferGoOn) {
    // 1,024 bytes before the CR LF: the CR LF comes in a piece of its own and is
    // no empty line; a line of 3,000 bytes comes in three pieces.
    std::string exact = "X-Exact: " + std::string(1024 - 9, 'a') + "\r\n";
    std::string longer = "X-Long: " + std::string(3000, '\r') + "\r\n";
    ScriptedServer server(ScriptedServer::Reply("HTTP/1.0 200 OK\r\n" + exact + longer + "\r\n" + Body(10)));
    EXPECT_EQ(Fetch(server), 0);
    EXPECT_EQ(Read(), Body(10));
}

TEST_F(Download, OnlyCarriageReturnLineFeedEndsAHeaderLine) {
    // CR CR LF CR LF is one line, so the empty line is the one after "X-B: 2".
    ScriptedServer server(ScriptedServer::Reply("HTTP/1.0 200\r\nX-A: 1\r\r\n\r\nX-B: 2\r\n\r\nbody"));
    EXPECT_EQ(Fetch(server), 0);
    EXPECT_EQ(Read(), "body");
}

TEST_F(Download, ContentLengthEndsTheBodyWithoutWaitingForTheClose) {
    ScriptedServer server([](Peer& peer) {
        peer.ReadRequest();
        peer.Send("HTTP/1.0 200 OK\r\ncontent-length:  5\r\n\r\nhello and more");
        peer.Stall();
    });
    client.SetTimeouts(2000, 5000);
    DWORD start = GetTickCount();
    EXPECT_EQ(Fetch(server), 0);
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(Read(), "hello");
}

TEST_F(Download, StallingServersAreBoundedByTheTimeouts) {
    const char* replies[] = {"", "HTTP/1.0 2", "HTTP/1.0 200 OK\r\nServer: x", "HTTP/1.0 200 OK\r\n\r\npart of a body"};
    for (const char* reply : replies) {
        ScriptedServer server([reply](Peer& peer) {
            peer.ReadRequest();
            peer.Send(reply);
            peer.Stall();
        });
        client.SetTimeouts(2000, 300);
        DWORD start = GetTickCount();
        EXPECT_EQ(Fetch(server), 1) << reply;
        DWORD waited = GetTickCount() - start;
        EXPECT_GE(waited, 250u) << reply;
        EXPECT_LT(waited, 3000u) << reply;
        EXPECT_FALSE(Exists()) << reply;
    }
}

TEST_F(Download, NoConnectionOrNoFileFails) {
    EXPECT_EQ(client.SetServer(L"127.0.0.1", RefusedPort()), 1);
    EXPECT_EQ(client.DownloadToFile(L"/keldatx.txt", L"download.bin"), 1);
    EXPECT_FALSE(Exists());

    bool clientClosed = false;
    ScriptedServer server([&clientClosed](Peer& peer) {
        peer.ReadRequest();
        peer.Send(kOkHead + Body(100));
        clientClosed = peer.ClientCloses();
    });
    EXPECT_EQ(Fetch(server, L"/keldatx.txt", L"no_such_folder\\download.bin"), 2);
    server.Finish();
    EXPECT_TRUE(clientClosed);
}

TEST_F(Download, RequestsThatCannotBeSentFailBeforeConnecting) {
    std::wstring fits = L"/" + std::wstring(1007, L'p');  // "GET ", 1,008 bytes, " HTTP/1.0" CR LF, NUL
    ScriptedServer server(ScriptedServer::Reply(kOkHead));
    EXPECT_EQ(Fetch(server, fits.c_str()), 0);
    EXPECT_EQ(server.Finish(), Request(std::string(fits.begin(), fits.end())));

    const struct {
        std::wstring path, file;
        int result;
    } cases[] = {{fits + L"p", L"download.bin", 1}, {L"/статистика", L"download.bin", 1}, {L"/x", L"файл.bin", 2}};
    for (const auto& c : cases) {
        ScriptedServer unused(ScriptedServer::Reply(kOkHead));
        EXPECT_EQ(Fetch(unused, c.path.c_str(), c.file.c_str()), c.result);
        unused.Finish();
        EXPECT_FALSE(unused.Accepted());
    }
}

TEST(HttpClient, SetServerKeepsTheDottedFormAndKeepsTheOldServerOnFailure) {
    WindowsSockets windowsSockets;
    HttpClient client;
    EXPECT_EQ(client.SetServer(L"localhost", 8081), 1);
    EXPECT_STREQ(client.Host(), "127.0.0.1");
    EXPECT_EQ(client.Port(), 8081);
    EXPECT_EQ(client.SetServer((std::wstring(64, L'q') + L".invalid").c_str(), 9), 0);
    EXPECT_EQ(client.SetServer(L"сервер", 9), 0);
    EXPECT_STREQ(client.Host(), "127.0.0.1");
    EXPECT_EQ(client.Port(), 8081);
    EXPECT_EQ(client.SetServer(L".1.10", 80), 1);
    EXPECT_STREQ(client.Host(), "192.168.1.10");
}

TEST(HttpClient, AppConfigHoldsTheBuiltInServerFromTheStart) {
    std::wstring address = KELDA_SERVER_ADDRESS;
    EXPECT_EQ(std::string(AppConfig.http.Host()), std::string(address.begin(), address.end()));
    EXPECT_EQ(AppConfig.http.Port(), KELDA_SERVER_PORT);
}
