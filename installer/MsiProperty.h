#pragma once
#include <windows.h>
#include <msiquery.h>

#include <string>

// A property of the running installation ("CustomActionData" for a deferred
// action); empty when it has none or cannot be read.
inline std::wstring MsiProperty(MSIHANDLE install, const wchar_t* name) {
    wchar_t empty[1] = L"";
    DWORD size = 0;
    if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return L"";
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS) return L"";
    value.resize(size);
    return value;
}
