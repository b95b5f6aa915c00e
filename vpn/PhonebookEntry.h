#pragma once
#include <windows.h>
#include <ras.h>

// The program's own phonebook entry: a PPTP VPN entry named
// AppConfig.connectionName for the server AppConfig.serverAddress, with the
// credentials in AppConfig as its dial parameters. Rewritten before every dial,
// so changes made to it elsewhere last until the next dial.

// Writes the entry (only the NT family keeps a phonebook the program can
// write), then its dial parameters. Failures are silent: the dial goes on.
void PrepareEntry();
// Stores the dial parameters with the password; RAS's result, 0 on success.
DWORD StoreDialParams();

// Dial parameters of the program's entry with the credentials in AppConfig.
RASDIALPARAMSW ProgramDialParams();
// Wipes the password copy out of a dial-parameter block that has served its call.
void ForgetPassword(RASDIALPARAMSW& params);

// Size of the wide phonebook entry structure the given Windows NT version expects.
DWORD RasEntrySizeForVersion(DWORD major, DWORD minor);
