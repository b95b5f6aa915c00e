#pragma once
#include <windows.h>

// The whole run: start-up check, frame, message loop, saving the settings.
// Returns the process exit code.
int RunApplication(LPWSTR commandLine, int showCommand);
