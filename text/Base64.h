#pragma once
#include <cstddef>

// Base64 with the standard alphabet and '=' padding.
//
// Callers size the output buffers, and every operation also takes the
// buffer's capacity so that it never writes past it:
// - the encoders write the whole text or, when it would not fit with its
//   terminator, only an empty text (a cut Base64 text would silently stand for
//   other bytes), and say which with their result;
// - the decoder stops at a full buffer; the bytes that fitted stay.
class CBase64 {
public:
    virtual ~CBase64() = default;

    // 8-bit text, CR LF before every `lineLength` characters (only the low eight
    // bits of `lineLength` count). True when the text fitted into `capacity`.
    static bool Base64Encode(const unsigned char* input, std::size_t length, char* output, std::size_t capacity,
                             unsigned lineLength);

    // Wide text in one unbroken line. True when the text fitted into `capacity`.
    static bool Base64EncodeWide(const unsigned char* input, std::size_t length, wchar_t* output,
                                 std::size_t capacity);

    // Lenient decoding of a NUL-terminated text: characters outside the alphabet
    // are skipped, a last group of one value gives nothing. `count` receives the
    // number of bytes written; false when the buffer was too small for all of them.
    static bool Base64DecodeWide(const wchar_t* text, unsigned char* output, std::size_t capacity,
                                 std::size_t& count);
};
