// The four values that outlive the process, under HKCU "Software\kelda\Quillon".
// The byte forms are shared with every earlier copy of the program: "p1"/"p2"
// are REG_SZ of exactly 2 x length bytes without a terminator, the options
// REG_DWORD of 4 bytes.
#include <windows.h>

#include <string>

#include "framework/UniqueHandle.h"
#include "settings/AppConfig.h"
#include "settings/Scramble.h"
#include "text/FixedText.h"

namespace {
const wchar_t kSettingsKey[] = L"Software\\kelda\\Quillon";

// Opens the key for reading; a missing key is not created.
UniqueKey OpenSettingsKey() {
    UniqueKey key;
    RegOpenKeyW(HKEY_CURRENT_USER, kSettingsKey, key.put());  // a failed call leaves none
    return key;
}

// 4 bytes of the value, whatever its registry type; 0 when it is missing or larger.
DWORD ReadFlag(const wchar_t* name) {
    UniqueKey key = OpenSettingsKey();
    if (!key) return 0;
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

// The unscrambled text of "p1" or "p2"; empty when the value is missing, empty
// or over 256 bytes.
std::wstring ReadCredential(const wchar_t* name) {
    UniqueKey key = OpenSettingsKey();
    if (!key) return std::wstring();
    wchar_t stored[128 + 1] = {};  // 256 bytes of data and room for a terminator
    DWORD size = 256;
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size) != ERROR_SUCCESS ||
        size == 0)
        return std::wstring();
    stored[size / sizeof(wchar_t)] = L'\0';  // an odd last byte is not part of the text
    return UnscrambleText(stored);
}

// One value, written on its own: Software, then kelda and Quillon created when
// missing, closed innermost first (reverse order of the owners).
void WriteValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    UniqueKey software, kelda, quillon;
    if (RegOpenKeyW(HKEY_CURRENT_USER, L"Software", software.put()) != ERROR_SUCCESS) return;
    if (RegCreateKeyW(software.get(), L"kelda", kelda.put()) != ERROR_SUCCESS) return;
    if (RegCreateKeyW(kelda.get(), L"Quillon", quillon.put()) != ERROR_SUCCESS) return;
    RegSetValueExW(quillon.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

void WriteCredential(const wchar_t* name, const wchar_t* text) {
    std::wstring scrambled = ScrambleText(text);
    DWORD size = static_cast<DWORD>(scrambled.size() * sizeof(wchar_t));
    // RegSetValueExW counts a terminator in by itself when the unit right after
    // string data is NUL; a non-NUL unit there keeps exactly 2 x length bytes.
    scrambled.push_back(L'=');
    WriteValue(name, REG_SZ, scrambled.c_str(), size);
}
}  // namespace

void AppConfigRecord::LoadSettings() {
    autoConnect = ReadFlag(L"AutoConnect");
    hideOnStart = ReadFlag(L"HideOnStart");
    // The record holds 32 characters of each; a longer stored text is cut.
    CopyFixedText(login, ReadCredential(L"p1").c_str());
    CopyFixedText(password, ReadCredential(L"p2").c_str());
}

int AppConfigRecord::SaveSettings() {
    WriteCredential(L"p1", login);
    WriteCredential(L"p2", password);
    WriteValue(L"AutoConnect", REG_DWORD, &autoConnect, sizeof autoConnect);
    WriteValue(L"HideOnStart", REG_DWORD, &hideOnStart, sizeof hideOnStart);
    return 0;
}
