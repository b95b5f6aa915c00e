// Throughput of HttpClient::DownloadToFile next to a plain receive-into-file
// loop, both fetching the same body from a loopback server in this process,
// and the memory of the process while the body streams through.
// Usage: http_download_bench [body size in MB, default 100] [runs, default 5]
#include <winsock2.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "network/HttpClient.h"
#include "support/LoopbackListener.h"

namespace {
const char kFile[] = "bench_download.bin";
const char kRequest[] = "GET /bench HTTP/1.0\r\nAccept: */*\r\nUser-Agent: MSIE 5.5\r\nConnection: close\r\n\r\n\r\n";

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

unsigned long long FileSize(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(name, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Serves one reply with a body of the given size per Serve(), and records the
// largest working set of the process seen while sending it.
class BodyServer {
public:
    BodyServer() {
        listener_ = ListenOnLoopback(0, 4, port_);
    }
    ~BodyServer() { closesocket(listener_); }
    int Port() const { return port_; }

    void Serve(unsigned long long bodySize, SIZE_T& peakWorkingSet) {
        SOCKET s = accept(listener_, nullptr, nullptr);
        DWORD bound = 30000;
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&bound), sizeof bound);
        std::string request;
        char c;
        while (request.find("\r\n\r\n\r\n") == std::string::npos && recv(s, &c, 1, 0) == 1) request += c;
        std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                           std::to_string(bodySize) + "\r\n\r\n";
        send(s, head.data(), static_cast<int>(head.size()), 0);
        std::vector<char> chunk(64 * 1024);
        for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31);
        unsigned long long sent = 0;
        peakWorkingSet = WorkingSet();
        for (int piece = 0; sent < bodySize; ++piece) {
            int n = static_cast<int>(std::min<unsigned long long>(chunk.size(), bodySize - sent));
            n = send(s, chunk.data(), n, 0);
            if (n <= 0) break;
            sent += static_cast<unsigned long long>(n);
            if (piece % 16 == 0) peakWorkingSet = std::max(peakWorkingSet, WorkingSet());
        }
        // Close only after the client has: closing over unread data would reset the connection.
        shutdown(s, SD_SEND);
        while (recv(s, &c, 1, 0) > 0) {
        }
        closesocket(s);
    }

private:
    SOCKET listener_;
    int port_ = 0;
};

// The baseline: receive and append to a file, nothing else.
bool PlainLoop(int port, int chunkSize) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    send(s, kRequest, sizeof kRequest - 1, 0);
    FILE* file = std::fopen(kFile, "wb");
    std::vector<char> buffer(static_cast<size_t>(chunkSize));
    for (;;) {
        int n = recv(s, buffer.data(), chunkSize, 0);
        if (n <= 0) break;
        std::fwrite(buffer.data(), static_cast<size_t>(n), 1, file);
    }
    std::fclose(file);
    closesocket(s);
    return true;
}

struct Run {
    double seconds;
    bool complete;
    SIZE_T peakWorkingSet;
};

template <typename Client>
Run Measure(BodyServer& server, unsigned long long bodySize, unsigned long long expectedFileSize, Client client) {
    DeleteFileA(kFile);
    Run run{0, false, 0};
    std::thread serving([&] { server.Serve(bodySize, run.peakWorkingSet); });
    double start = Seconds();
    bool ok = client();
    run.seconds = Seconds() - start;
    serving.join();
    run.complete = ok && FileSize(kFile) == expectedFileSize;
    DeleteFileA(kFile);
    return run;
}
}  // namespace

int main(int argc, char** argv) {
    unsigned long long megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    unsigned long long bodySize = megabytes * 1024 * 1024;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    BodyServer server;
    HttpClient http;
    http.SetServer(L"127.0.0.1", server.Port());
    std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       std::to_string(bodySize) + "\r\n\r\n";
    auto download = [&] { return http.DownloadToFile(L"/bench", L"bench_download.bin", kArchiveLimits) == 0; };
    auto plain = [&] { return PlainLoop(server.Port(), 1024); };
    auto plainLarge = [&] { return PlainLoop(server.Port(), 64 * 1024); };

    SIZE_T before = WorkingSet();
    double bestPlain = 1e30, bestDownload = 1e30;
    SIZE_T peakDuringDownload = 0;
    bool complete = true;
    std::vector<double> pairRatios;  // each pair runs back to back, so load from elsewhere hits both alike
    for (int i = 0; i < runs; ++i) {
        Run p = Measure(server, bodySize, bodySize + head.size(), plain);
        Run d = Measure(server, bodySize, bodySize, download);
        complete = complete && p.complete && d.complete;
        bestPlain = std::min(bestPlain, p.seconds);
        bestDownload = std::min(bestDownload, d.seconds);
        peakDuringDownload = std::max(peakDuringDownload, d.peakWorkingSet);
        pairRatios.push_back(p.seconds / d.seconds);
        std::printf("  run %d: plain loop %.2f s, DownloadToFile %.2f s\n", i + 1, p.seconds, d.seconds);
    }
    Run large = Measure(server, bodySize, bodySize + head.size(), plainLarge);
    // The same download with a 1 MB body, once everything is warm: the memory
    // of the large one should be no more than this.
    Run small = Measure(server, 1024 * 1024, 1024 * 1024, download);

    double mb = double(bodySize) / (1024.0 * 1024.0);
    std::printf("body %llu MB from 127.0.0.1, best of %d runs each, 1,024-byte receives:\n", megabytes, runs);
    std::printf("  plain recv/fwrite loop  %8.1f MB/s\n", mb / bestPlain);
    std::printf("  DownloadToFile          %8.1f MB/s\n", mb / bestDownload);
    std::sort(pairRatios.begin(), pairRatios.end());
    std::printf("  ratio DownloadToFile / plain loop: %.2f (best against best), %.2f (median of the pairs)\n",
                bestPlain / bestDownload, pairRatios[pairRatios.size() / 2]);
    std::printf("  (plain loop with 64 KB receives: %.1f MB/s)\n", mb / large.seconds);
    std::printf("working set of the process: %lu KB at start; peak %lu KB while DownloadToFile received %llu MB, "
                "%lu KB while it received 1 MB\n",
                static_cast<unsigned long>(before / 1024), static_cast<unsigned long>(peakDuringDownload / 1024),
                megabytes, static_cast<unsigned long>(small.peakWorkingSet / 1024));
    if (!complete || !large.complete || !small.complete) {
        std::printf("FAILED: a download did not deliver the whole body\n");
        return 1;
    }
    return 0;
}
