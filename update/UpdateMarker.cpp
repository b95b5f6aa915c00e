#include "update/UpdateMarker.h"

#include <cstdio>

#include "framework/UniqueHandle.h"

namespace {
// More than any version text holds: a longer note is no note of ours.
constexpr std::size_t kMarkerCapacity = 64;
}  // namespace

void LeaveUpdateMarker(const std::wstring& installedVersion) {
    UniqueFile file(_wfopen(kUpdateMarkerName, L"wb"));
    if (file) std::fwrite(installedVersion.data(), sizeof(wchar_t), installedVersion.size(), file.get());
}

bool ReadUpdateMarker(std::wstring& installedVersion) {
    wchar_t text[kMarkerCapacity + 1] = {};
    UniqueFile file(_wfopen(kUpdateMarkerName, L"rb"));
    if (!file) return false;
    const std::size_t length = std::fread(text, sizeof(wchar_t), kMarkerCapacity + 1, file.get());
    if (length > kMarkerCapacity) return false;
    installedVersion.assign(text, length);
    return true;
}
