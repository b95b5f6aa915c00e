// LoadFile: the reader of the key-value text format. The file's bytes are the
// characters U+0000-U+00FF, read as a text-mode stream would read them (CR LF
// becomes LF, a lone CR stays, 0x1A ends the file), in reads of at most 255
// characters. The translation is done here on the raw bytes so it does not
// depend on the C runtime's text mode or locale.
#include <cstdio>
#include <cwchar>

#include "framework/UniqueHandle.h"
#include "settings/KeyValueDocument.h"

namespace {
constexpr std::size_t kLineBuffer = 256;  // one read: at most 255 characters and the terminator

// The fixed character table of the format: what a byte value means is decided
// here, never by the C library's classification.
bool IsSignificant(wchar_t c) { return (c >= 0x21 && c <= 0x7E) || (c >= 0xA1); }

bool MayStartEntry(wchar_t c) {
    return (c >= L'0' && c <= L'9') || c == 0xB2 || c == 0xB3 || c == 0xB9 || (c >= L'A' && c <= L'Z') ||
           (c >= L'a' && c <= L'z') || (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) || c == L'_' ||
           c == L'&';
}

// Byte source with text-mode translation.
class TextModeReader {
public:
    explicit TextModeReader(FILE* file) : file_(file) {}

    // The next character, or -1 at the end of the file, at 0x1A or on a read error.
    int Next() {
        int c = NextByte();
        if (c == '\r') {
            int following = NextByte();
            if (following == '\n') return '\n';
            pushedBack_ = following;
        } else if (c == 0x1A) {
            ended_ = true;
            return -1;
        }
        return c;
    }

    // Like fgets into a buffer of kLineBuffer characters: stops after an LF or
    // 255 characters. Returns the number of characters read.
    std::size_t ReadLine(wchar_t (&line)[kLineBuffer]) {
        std::size_t length = 0;
        while (length + 1 < kLineBuffer) {
            int c = Next();
            if (c < 0) break;
            line[length++] = static_cast<wchar_t>(c);
            if (c == '\n') break;
        }
        line[length] = L'\0';
        return length;
    }

private:
    int NextByte() {
        if (pushedBack_ != kNone) {
            int c = pushedBack_;
            pushedBack_ = kNone;
            return c;
        }
        if (ended_) return -1;
        if (position_ == filled_) {
            filled_ = std::fread(buffer_, 1, sizeof buffer_, file_);
            position_ = 0;
            if (filled_ == 0) {
                ended_ = true;
                return -1;
            }
        }
        return buffer_[position_++];
    }

    static constexpr int kNone = -2;
    FILE* file_;
    unsigned char buffer_[4096];
    std::size_t position_ = 0, filled_ = 0;
    int pushedBack_ = kNone;
    bool ended_ = false;
};

// Drops trailing non-significant characters of [begin, end), keeping at least `keep` characters.
const wchar_t* TrimEnd(const wchar_t* begin, const wchar_t* end, std::size_t keep) {
    while (end > begin + keep && !IsSignificant(end[-1])) --end;
    return end;
}

void ReadSectionHeader(KeyValueDocument& document, const wchar_t* afterBracket, KeyValueSection*& current) {
    const wchar_t* end = std::wcschr(afterBracket, L']');
    if (!end) end = afterBracket + std::wcslen(afterBracket);
    // Blanks before the name belong to it; the first character is never trimmed.
    end = TrimEnd(afterBracket, end, 1);
    std::wstring name(afterBracket, end);
    current = document.GetOrAddSection(name.c_str());
}

void ReadEntry(const wchar_t* start, KeyValueSection* current) {
    const wchar_t* equals = std::wcschr(start, L'=');
    const wchar_t* lineEnd = start + std::wcslen(start);
    const wchar_t* keyEnd = TrimEnd(start, equals ? equals : lineEnd, 0);
    std::wstring value;
    if (equals) {
        const wchar_t* valueStart = equals + 1;
        while (valueStart < lineEnd && !IsSignificant(*valueStart)) ++valueStart;
        value.assign(valueStart, TrimEnd(valueStart, lineEnd, 0));
    }
    bool scrambled = *start == L'&';
    if (scrambled) ++start;
    KeyValueDocument::SetEntry(current, std::wstring(start, keyEnd), value, scrambled);
}
}  // namespace

bool KeyValueDocument::LoadFile(const wchar_t* path, bool clearFirst) {
    if (clearFirst) Clear();
    KeyValueSection* current = GetOrAddSection(L"");

    UniqueFile file(_wfopen(path, L"rb"));
    if (!file) return false;
    TextModeReader reader(file.get());

    wchar_t line[kLineBuffer];
    while (reader.ReadLine(line) > 0) {
        // The read is a NUL-terminated text: a NUL byte ends what the line says.
        const wchar_t* start = line;
        while (*start && !IsSignificant(*start)) ++start;
        if (!*start) continue;
        if (*start == L'[') {
            ReadSectionHeader(*this, start + 1, current);
        } else if (MayStartEntry(*start)) {
            ReadEntry(start, current);
        }
    }
    return true;
}
