// HttpClient::DownloadToFile with the archive's bounds next to a raw receive loop, both fetching
// the same body from a server in this process, and the process's memory while a body streams
// through.
#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Bench.h"
// after windows.h, which it needs
#include <psapi.h>

#include "network/HttpClient.h"
#include "support/TestServer.h"

namespace {
const char kFile[] = "bench_download.bin";

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

unsigned long long FileSize() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(kFile, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The yardstick: the program's request, then receive into a file, 1,024 bytes a receive like
// the program, and nothing else; the bytes saved, the reply's head included.
unsigned long long ReceiveLoop(int port) {
    const char request[] = "GET /body HTTP/1.0\r\nAccept: */*\r\nUser-Agent: MSIE 5.5\r\nConnection: close\r\n\r\n\r\n";
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    FILE* file = std::fopen(kFile, "wb");
    char buffer[1024];
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) send(s, request, sizeof request - 1, 0);
    for (int n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) std::fwrite(buffer, 1, static_cast<size_t>(n), file);
    std::fclose(file);
    closesocket(s);
    return FileSize();
}
}  // namespace

int DownloadSpeed(int megabytes, int runs) {
    TestServer server;
    std::atomic<unsigned long long> bodySize{0};
    std::atomic<SIZE_T> peak{0};  // the working set while the server sends a body
    const std::string chunk(64 * 1024, 'b');
    auto head = [&] { return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(bodySize) + "\r\n\r\n"; };
    server.Route("/body", [&](Peer& peer) {
        peer.Send(head());
        peak = WorkingSet();
        for (unsigned long long sent = 0; sent < bodySize && peer.Send(chunk); sent += chunk.size()) {
            if (sent % (16 * chunk.size()) == 0) peak = std::max<SIZE_T>(peak, WorkingSet());
        }
    });
    HttpClient http;
    http.SetServer(L"127.0.0.1", server.Port());
    bool complete = true;
    auto download = [&](unsigned long long size) {
        bodySize = size;
        double start = Now();
        complete &= http.DownloadToFile(L"/body", L"bench_download.bin", kArchiveLimits) == 0 && FileSize() == size;
        return Now() - start;
    };
    SIZE_T atStart = WorkingSet(), peakLarge = 0;
    std::vector<double> loop, program, pairs;  // each pair back to back, so load from elsewhere hits both alike
    for (int i = 0; i < runs; ++i) {
        bodySize = 1ull * megabytes << 20;
        double start = Now();
        complete &= ReceiveLoop(server.Port()) == head().size() + bodySize;
        loop.push_back(Now() - start);
        program.push_back(download(bodySize));
        peakLarge = std::max<SIZE_T>(peakLarge, peak);
        pairs.push_back(loop.back() / program.back());
    }
    download(1 << 20);  // the same download of 1 MB, everything warm: the memory of the large one is no more
    DeleteFileA(kFile);
    double best = *std::min_element(loop.begin(), loop.end());
    double bestProgram = *std::min_element(program.begin(), program.end());
    std::printf("a body of %d MB from 127.0.0.1, the best of %d runs each:\n", megabytes, runs);
    std::printf("  a raw receive loop  %6.1f MB/s\n", megabytes / best);
    std::printf("  DownloadToFile      %6.1f MB/s\n", megabytes / bestProgram);
    std::printf("  ratio %.2f (median of the pairs), %.2f (best against best)\n", Median(pairs), best / bestProgram);
    std::printf("  working set %lu KB at the start; at most %lu KB while DownloadToFile got %d MB, %lu KB for 1 MB\n",
                static_cast<unsigned long>(atStart >> 10), static_cast<unsigned long>(peakLarge >> 10), megabytes,
                static_cast<unsigned long>(peak >> 10));
    if (!complete) return std::printf("a download did not deliver the whole body\n"), 1;
    Aim("DownloadToFile at 0.9 times the raw loop or better", Median(pairs) >= 0.9);
    Aim("memory flat over body sizes: no more than 2 MB above the 1 MB download", peakLarge <= peak + (2u << 20));
    return 0;
}
