#pragma once
#include <windows.h>

// Puts the running program's folder into `folder` and makes it the current
// directory, so relative names mean the program's own files.
void EnterProgramFolder(wchar_t (&folder)[MAX_PATH]);
