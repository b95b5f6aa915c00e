#include "update/ProgramFolder.h"

#include <shlwapi.h>

void EnterProgramFolder(wchar_t (&folder)[MAX_PATH]) {
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    PathRemoveFileSpecW(folder);
    SetCurrentDirectoryW(folder);
}
