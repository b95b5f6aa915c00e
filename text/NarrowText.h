#pragma once
#include <string>

// The program's wide-to-8-bit conversion for texts that go to the network and
// file layer: a character up to U+00FF becomes the byte of the same value, as
// wcstombs does in the classic "C" locale. A character above U+00FF fails the
// whole conversion (false) rather than yielding a garbled text.
bool ToNarrowText(const wchar_t* text, std::string& narrow);
