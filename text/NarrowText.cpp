#include "text/NarrowText.h"

bool ToNarrowText(const wchar_t* text, std::string& narrow) {
    narrow.clear();
    if (!text) return false;
    for (; *text; ++text) {
        if (static_cast<unsigned>(*text) > 0xFF) return false;
        narrow.push_back(static_cast<char>(static_cast<unsigned char>(*text)));
    }
    return true;
}
