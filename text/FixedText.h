#pragma once
#include <cstddef>
#include <cwchar>

// Copies a NUL-terminated text into a fixed array, cutting it to the array's
// capacity; the result is always terminated.
template <std::size_t N>
void CopyFixedText(wchar_t (&destination)[N], const wchar_t* source) {
    std::size_t i = 0;
    if (source) {
        for (; i + 1 < N && source[i]; ++i) destination[i] = source[i];
    }
    destination[i] = L'\0';
}
