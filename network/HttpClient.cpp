// Windows Sockets before <windows.h>, which HttpClient.h brings in.
#include <winsock2.h>

#include "network/HttpClient.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "network/HttpReply.h"
#include "network/ReplyStream.h"
#include "text/NarrowText.h"

namespace {
const char kLineEnd[] = "\r\n";
const int kStatusBytes = 12;
}  // namespace

int HttpClient::SetServer(const wchar_t* serverName, int port) {
    std::string name;
    sockaddr_in address{};
    if (!ToNarrowText(serverName, name) || !Socket::ResolveAddress(address, name.c_str(), port)) return 0;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address.sin_addr);
    std::snprintf(host_, sizeof host_, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    port_ = port;
    return 1;
}

void HttpClient::CopyServer(const HttpClient& other) {
    std::memcpy(host_, other.host_, sizeof host_);
    port_ = other.port_;
}

int HttpClient::DownloadToFile(const wchar_t* requestPath, const wchar_t* fileName, const DownloadLimits& limits,
                               DownloadProgress* progress) {
    Deadline exchange = Deadline::In(limits.exchangeMs);
    std::string path;
    if (!ToNarrowText(requestPath, path)) return kDownloadNoConnection;
    // The request line ("GET ", path, " HTTP/1.0", line end, terminator) must fit
    // the buffer whole: a cut one would fetch something else.
    constexpr std::size_t maxPath = kBufferSize - (sizeof "GET  HTTP/1.0" - 1) - (sizeof kLineEnd - 1) - 1;
    static_assert(maxPath == 1008, "the request buffer holds a path of up to 1,008 bytes");
    if (path.size() > maxPath) return kDownloadNoConnection;

    char buffer[kBufferSize];
    socket_.Create();
    socket_.SetNoDelay();
    if (!socket_.Connect(host_, port_)) return kDownloadNoConnection;
    SendRequest(path.c_str(), buffer);
    int result = ReceiveReply(fileName, buffer, limits, exchange, progress);
    socket_.Close();
    return result;
}

// Send results are not examined: a request that did not go out shows up as a reply that does not come.
void HttpClient::SendRequest(const char* path, char* buffer) {
    std::snprintf(buffer, kBufferSize, "GET %s HTTP/1.0%s", path, kLineEnd);
    socket_.Send(buffer, static_cast<int>(std::strlen(buffer)));
    std::snprintf(buffer, kBufferSize, "Accept: */*%sUser-Agent: MSIE 5.5%sConnection: close%s", kLineEnd, kLineEnd,
                  kLineEnd);
    socket_.Send(buffer, static_cast<int>(std::strlen(buffer)));
    std::snprintf(buffer, kBufferSize, "%s%s", kLineEnd, kLineEnd);
    socket_.Send(buffer, static_cast<int>(std::strlen(buffer)));
}

int HttpClient::ReceiveReply(const wchar_t* fileName, char* buffer, const DownloadLimits& limits,
                             const Deadline& exchange, DownloadProgress* progress) {
    ReplyStream reply(socket_);
    reply.SetDeadline(Deadline::First(Deadline::In(limits.headMs), exchange));
    if (!reply.ReadExact(buffer, kStatusBytes)) return kDownloadNoConnection;
    int status = ParseStatusCode(buffer);
    if (status < 0) return kDownloadNoConnection;
    if (status != 200) return status;

    bool hasLength = false;
    unsigned long long length = 0;
    if (!SkipHeaders(reply, buffer, limits.headBytes - kStatusBytes, hasLength, length)) return kDownloadNoConnection;
    if (hasLength && length > limits.bodyBytes) return kDownloadNoConnection;
    if (progress) {
        progress->received = 0;
        progress->expected = hasLength ? static_cast<unsigned long>(length) : 0;
    }

    // The body goes to a file of its own beside the target, which replaces the
    // target only when the body is complete: a failed download leaves the old file.
    // Wide names, so a folder under a Cyrillic user name is no obstacle.
    std::wstring partName = std::wstring(fileName) + L".part";
    UniqueFile part(_wfopen(partName.c_str(), L"wb"));
    if (!part) return kDownloadFileError;
    int result = ReceiveBody(reply, part.get(), hasLength, length, limits, exchange, buffer, progress);
    if (!part.reset() && result == kDownloadSaved) result = kDownloadFileError;
    if (result == kDownloadSaved && !MoveFileExW(partName.c_str(), fileName, MOVEFILE_REPLACE_EXISTING)) {
        result = kDownloadFileError;
    }
    if (result != kDownloadSaved) DeleteFileW(partName.c_str());
    return result;
}

// Consumes the rest of the status line and the header lines up to the empty
// line, at most allowedBytes of them. Header lines longer than the buffer come
// in several pieces; only a piece that begins a line can be the empty line or
// a Content-Length. A piece that fills the buffer with a CR as its last byte
// leaves that CR's LF to begin the next piece: together they end the long line.
bool HttpClient::SkipHeaders(ReplyStream& reply, char* buffer, unsigned long allowedBytes, bool& hasLength,
                             unsigned long long& length) {
    bool atLineStart = false;  // the status line goes on after its first 12 bytes
    bool endedInCr = false;
    unsigned long consumed = 0;
    for (;;) {
        int stored = 0;
        int lineLength = reply.ReadLine(buffer, kBufferSize, stored);
        if (lineLength == 0 && stored < kBufferSize) return false;  // connection ended, failed or ran out of time
        consumed += static_cast<unsigned long>(stored);
        if (consumed > allowedBytes) return false;
        const char* line = buffer;
        if (endedInCr && buffer[0] == '\n') {
            ++line;
            --lineLength;
            atLineStart = true;
        }
        bool complete = lineLength > 0;
        if (atLineStart && complete && line[0] == '\r') return true;
        if (atLineStart && complete && ParseContentLength(line, lineLength, length)) hasLength = true;
        endedInCr = !complete && buffer[kBufferSize - 1] == '\r';
        atLineStart = complete;
    }
}

// Streams the body into the file. Without a Content-Length the body ends when
// the server closes; with one, when that many bytes have come (any more are
// left unread), and a close before then is a failure. A receive error, a body
// past the size limit, or time running out fails it either way.
int HttpClient::ReceiveBody(ReplyStream& reply, FILE* file, bool hasLength, unsigned long long length,
                            const DownloadLimits& limits, const Deadline& exchange, char* buffer,
                            DownloadProgress* progress) {
    unsigned long long remaining = length;
    unsigned long long received = 0;
    Deadline stretchEnd = Deadline::In(limits.stretchMs);
    unsigned long stretchReceived = 0;
    for (;;) {
        if (hasLength && remaining == 0) return kDownloadSaved;
        int wanted = hasLength && remaining < kBufferSize ? static_cast<int>(remaining) : kBufferSize;
        reply.SetDeadline(Deadline::First(exchange, stretchEnd));
        int count = reply.Read(buffer, wanted);
        if (count == 0) return hasLength ? kDownloadNoConnection : kDownloadSaved;
        if (count < 0) return kDownloadNoConnection;
        received += static_cast<unsigned long long>(count);
        if (received > limits.bodyBytes) return kDownloadNoConnection;
        if (std::fwrite(buffer, static_cast<size_t>(count), 1, file) != 1) return kDownloadFileError;
        if (progress) progress->received = static_cast<unsigned long>(received);
        remaining -= static_cast<unsigned long long>(count);
        stretchReceived += static_cast<unsigned long>(count);
        if (stretchReceived >= limits.stretchBytes) {  // this stretch brought enough: the next one starts now
            stretchEnd = Deadline::In(limits.stretchMs);
            stretchReceived = 0;
        }
    }
}
