#include "settings/AppConfig.h"

#include "settings/BuildSettings.h"
#include "text/FixedText.h"

AppConfigRecord AppConfig;

AppConfigRecord::AppConfigRecord() : programName(L"kelda_tx") {
    CopyFixedText(serverAddress, KELDA_SERVER_ADDRESS);
    CopyFixedText(connectionName, L"Kelda");
    CopyFixedText(version, KELDA_VERSION);
    CopyFixedText(errorText, L"");
    CopyFixedText(login, L"");
    CopyFixedText(password, L"");
    CopyFixedText(settingsFileName, L"kelda_tx.ini");
    // A dotted address needs no lookup, so this works before Windows Sockets is started.
    http.SetServer(serverAddress, KELDA_SERVER_PORT);
}

void AppConfigRecord::StoreCredentials(const wchar_t* newLogin, const wchar_t* newPassword) {
    CopyFixedText(login, newLogin);
    CopyFixedText(password, newPassword);
}
