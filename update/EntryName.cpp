#include "update/EntryName.h"

#include <cstring>
#include <string>

namespace {
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Characters no Windows file name may hold; ':' also names drives and streams.
bool IsForbidden(unsigned char c) { return c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr; }

// The names Windows opens as devices in any folder, whatever the extension.
// The superscript digits are the ANSI bytes of "¹", "²" and "³", which count as digits there.
bool IsDeviceName(std::string base) {
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$") {
        return true;
    }
    if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
    unsigned char digit = static_cast<unsigned char>(base[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool IsPlainComponent(const char* begin, const char* end) {
    if (begin == end) return false;                        // "a//b", "dir/", a leading separator
    if (end[-1] == '.' || end[-1] == ' ') return false;    // ".", "..", and names Windows trims
    for (const char* p = begin; p != end; ++p) {
        if (IsForbidden(static_cast<unsigned char>(*p))) return false;
    }
    const char* dot = static_cast<const char*>(std::memchr(begin, '.', static_cast<std::size_t>(end - begin)));
    return !IsDeviceName(std::string(begin, dot ? dot : end));
}
}  // namespace

bool IsPlainRelativeName(const char* name, std::size_t length) {
    if (name == nullptr || length == 0 || std::strlen(name) != length) return false;
    const char* end = name + length;
    const char* begin = name;
    for (const char* p = name;; ++p) {
        if (p == end || IsSeparator(*p)) {
            if (!IsPlainComponent(begin, p)) return false;
            if (p == end) return true;
            begin = p + 1;
        }
    }
}
