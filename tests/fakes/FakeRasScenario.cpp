#include "FakeRasScenario.h"

#include <ras.h>
#include <raserror.h>

namespace fakeras {

const DWORD kDialStates[] = {RASCS_OpenPort,    RASCS_PortOpened,        RASCS_ConnectDevice, RASCS_DeviceConnected,
                             RASCS_AllDevicesConnected, RASCS_Authenticate, RASCS_AuthNotify,  RASCS_AuthLinkSpeed,
                             RASCS_AuthAck,     RASCS_Authenticated,     RASCS_Connected};
const int kDialStateCount = sizeof kDialStates / sizeof kDialStates[0];

namespace {
const Scenario kScenarios[] = {
    {L"success", 0, 40, 0, 0, 0, FALSE},
    {L"refused", ERROR_PORT_NOT_AVAILABLE, 0, 0, 0, 0, FALSE},
    {L"halfopen", ERROR_PORT_NOT_AVAILABLE, 0, 0, 0, 0, TRUE},
    {L"badauth", 0, 40, RASCS_AuthNotify, ERROR_AUTHENTICATION_FAILURE, 0, FALSE},
    {L"noanswer", 0, 40, RASCS_ConnectDevice, ERROR_AUTOMATIC_VPN_FAILED, 0, FALSE},
    {L"slow", 0, 1500, 0, 0, 0, FALSE},
    {L"drop", 0, 40, 0, 0, 3000, FALSE},
};

struct ErrorText {
    DWORD code;
    const wchar_t* text;
};
// The texts Windows XP gives for these codes.
const ErrorText kErrorTexts[] = {
    {ERROR_BUFFER_TOO_SMALL, L"The buffer is too small."},
    {ERROR_BUFFER_INVALID, L"The buffer is invalid."},
    {ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, L"The system could not find the phone book entry for this connection."},
    {ERROR_PORT_DISCONNECTED,
     L"A connection to the remote computer could not be established, so the port used for this connection was "
     L"closed."},
    {ERROR_DISCONNECTION, L"The connection was closed."},
    {ERROR_REMOTE_DISCONNECTION, L"The connection was closed by the remote computer."},
    {ERROR_INVALID_SIZE, L"An incorrect structure size was detected."},
    {ERROR_PORT_NOT_AVAILABLE,
     L"The modem (or other connecting device) is already in use or is not configured properly."},
    {ERROR_AUTHENTICATION_FAILURE,
     L"Access was denied because the username and/or password was invalid on the domain."},
    {ERROR_RESTRICTED_LOGON_HOURS, L"The account is not permitted to log on at this time of day."},
    {ERROR_ACCT_DISABLED, L"The account is disabled."},
    {ERROR_PASSWD_EXPIRED, L"The password for this account has expired."},
    {ERROR_NO_DIALIN_PERMISSION, L"The account does not have permission to dial in."},
    {ERROR_NO_ANSWER, L"The remote computer did not respond."},
    {ERROR_DIAL_ALREADY_IN_PROGRESS, L"This connection is already being dialed."},
    {ERROR_AUTOMATIC_VPN_FAILED,
     L"Unable to establish the VPN connection. The VPN server may be unreachable, or security parameters may not "
     L"be configured properly for this connection."},
};
}  // namespace

const Scenario* FindScenario(const wchar_t* name) {
    for (const Scenario& s : kScenarios) {
        if (lstrcmpiW(s.name, name) == 0) return &s;
    }
    return nullptr;
}

const Scenario& DefaultScenario() { return kScenarios[0]; }

DWORD FailingState(DWORD error) {
    switch (error) {
    case ERROR_AUTHENTICATION_FAILURE:
    case ERROR_RESTRICTED_LOGON_HOURS:
    case ERROR_ACCT_DISABLED:
    case ERROR_PASSWD_EXPIRED:
    case ERROR_NO_DIALIN_PERMISSION:
        return RASCS_AuthNotify;
    default:
        return RASCS_ConnectDevice;
    }
}

const wchar_t* RasErrorText(DWORD code) {
    for (const ErrorText& e : kErrorTexts) {
        if (e.code == code) return e.text;
    }
    return nullptr;
}

}  // namespace fakeras
