#pragma once
#include <cstdio>

#include "network/Deadline.h"
#include "network/DownloadProgress.h"
#include "network/DownloadLimits.h"
#include "network/Socket.h"

class ReplyStream;

// Results of HttpClient::DownloadToFile besides a reply's own status code.
enum DownloadResult {
    kDownloadSaved = 0,
    kDownloadNoConnection = 1,  // also: no complete reply, one past its limits, or a request that could not be sent
    kDownloadFileError = 2,     // the file could not be written
};

// Fetches one resource from the server with HTTP/1.0 GET and stores the reply
// body in a file, byte for byte.
class HttpClient {
public:
    // Looks the name up once and keeps its dotted form. 1 when host and port
    // were set, 0 when the name does not resolve (host and port unchanged).
    int SetServer(const wchar_t* serverName, int port);
    // Takes another client's server as it was set, without looking it up again.
    void CopyServer(const HttpClient& other);

    // 0 when a 200 reply's body is saved in the file; otherwise a DownloadResult
    // or the reply's status code. The file changes only when 0 is returned.
    // The limits bound the time and the size of the whole exchange; `progress`,
    // when given, follows the body as it comes.
    int DownloadToFile(const wchar_t* requestPath, const wchar_t* fileName,
                       const DownloadLimits& limits = kSmallFileLimits, DownloadProgress* progress = nullptr);

    // From any thread: a download under way on another thread fails at once
    // (kDownloadNoConnection, its file untouched), and so does every later one.
    void Cancel() { socket_.Abort(); }

    // Connect and receive bounds in milliseconds; the defaults are kConnectTimeoutMs, kReceiveTimeoutMs.
    void SetTimeouts(unsigned long connectMs, unsigned long receiveMs) { socket_.SetTimeouts(connectMs, receiveMs); }

    const char* Host() const { return host_; }
    int Port() const { return port_; }

private:
    static constexpr int kBufferSize = 1024;

    void SendRequest(const char* path, char* buffer);
    int ReceiveReply(const wchar_t* fileName, char* buffer, const DownloadLimits& limits, const Deadline& exchange,
                     DownloadProgress* progress);
    static bool SkipHeaders(ReplyStream& reply, char* buffer, unsigned long allowedBytes, bool& hasLength,
                            unsigned long long& length);
    static int ReceiveBody(ReplyStream& reply, FILE* file, bool hasLength, unsigned long long length,
                           const DownloadLimits& limits, const Deadline& exchange, char* buffer,
                           DownloadProgress* progress);

    char host_[20] = {};
    int port_ = 0;
    Socket socket_;
};
