#pragma once
#include <windows.h>
#include <ras.h>

// Dial parameters of the program's entry with the credentials in AppConfig.
RASDIALPARAMSW ProgramDialParams();
// Wipes the password copy out of a dial-parameter block that has served its call.
void ForgetPassword(RASDIALPARAMSW& params);
