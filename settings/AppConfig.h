#pragma once
#include <windows.h>

#include <string>

#include "network/HttpClient.h"
#include "settings/KeyValueDocument.h"

struct UpdateKey;

// The program's one settings and shared-state record (the global `AppConfig`).
// Fixed text fields hold at most their capacity minus the terminating NUL.
class AppConfigRecord {
public:
    AppConfigRecord();

    // Copies the typed (or stored) credentials, each cut to 32 characters.
    void StoreCredentials(const wchar_t* newLogin, const wchar_t* newPassword);

    // Start-up check (update/CheckForUpdate.cpp): loads the stored settings and
    // asks the server for a newer version. 0 failed (errorText says why), 1 carry
    // on, 2 a new copy of the program has been started in this one's place.
    int CheckForUpdate();
    // The same with an update key: an archive installs only when its signature
    // verifies against `key` (an empty key: any archive). The call above passes
    // the key the build was made with (KELDA_UPDATE_KEY), or none.
    int CheckForUpdate(const UpdateKey& key);

    // The two options, login and password from the registry (read at start),
    // and back (written after the message loop). SaveSettings always gives 0.
    void LoadSettings();
    int SaveSettings();

    KeyValueDocument document;
    HttpClient http;  // the provider's server, set from serverAddress at construction
    wchar_t serverAddress[128];
    wchar_t connectionName[128];
    wchar_t version[10];
    wchar_t errorText[128];
    wchar_t login[33];
    wchar_t password[33];
    wchar_t settingsFileName[32];
    std::wstring programName;
    DWORD hideOnStart = 0;
    DWORD autoConnect = 0;
};

extern AppConfigRecord AppConfig;
