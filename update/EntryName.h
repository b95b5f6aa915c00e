#pragma once
#include <cstddef>

// True when an update archive's entry name is a plain relative file path that
// stays inside the folder it is unpacked into: not empty, no drive, no leading
// slash or backslash, no ":" (drives, alternate streams), no "." or ".." or
// empty component, no component that Windows would rename (trailing dot or
// blank) or open as a device (CON, NUL, COM1, LPT1, ... with or without an
// extension), no control or wildcard characters, and no NUL inside its
// `length` bytes.
bool IsPlainRelativeName(const char* name, std::size_t length);
