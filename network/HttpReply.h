#pragma once

// Reading the parts of an HTTP reply that the download depends on.

// The status code in bytes 9 to 11 of the first 12 bytes of a reply
// ("HTTP/1.1 200"), or -1 when those are not three digits of a code of at
// least 100. The first nine bytes are not examined.
int ParseStatusCode(const char* firstTwelveBytes);

// When the header line (length bytes, line end included) is "Content-Length:"
// (any case) followed by a decimal number, stores the number and returns true.
bool ParseContentLength(const char* line, int length, unsigned long long& value);
