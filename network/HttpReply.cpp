#include "network/HttpReply.h"

#include <cctype>

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

int ParseStatusCode(const char* bytes) {
    int code = 0;
    for (int i = 9; i < 12; ++i) {
        if (!IsDigit(bytes[i])) return -1;
        code = code * 10 + (bytes[i] - '0');
    }
    return code >= 100 ? code : -1;
}

bool ParseContentLength(const char* line, int length, unsigned long long& value) {
    static const char name[] = "content-length:";
    const int nameLength = sizeof name - 1;
    if (length < nameLength) return false;
    for (int i = 0; i < nameLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return false;
    }
    int i = nameLength;
    while (i < length && IsBlank(line[i])) ++i;
    if (i == length || !IsDigit(line[i])) return false;
    unsigned long long number = 0;
    for (; i < length && IsDigit(line[i]); ++i) {
        if (number > (~0ULL - 9) / 10) return false;  // no reply is that long
        number = number * 10 + static_cast<unsigned>(line[i] - '0');
    }
    while (i < length && IsBlank(line[i])) ++i;
    if (i < length && line[i] != '\r' && line[i] != '\n') return false;
    value = number;
    return true;
}
