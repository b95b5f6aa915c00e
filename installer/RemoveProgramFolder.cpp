// The uninstall's custom action for the program's folder. Windows Installer
// removes only the files its package installed, but the program updates itself
// in place: old copies kept as "_" + name, new entries (in subfolders too), the
// update's note and the statistics reply stand beside it. This removes the
// folder with everything in it, after the package's own files are gone.
#include <windows.h>

#include <string>

#include "framework/UniqueHandle.h"
#include "installer/MsiProperty.h"

namespace {

using UniqueFind = UniqueHandle<HANDLE, FindClose, -1>;  // INVALID_HANDLE_VALUE for none

// The only folder this action touches: the package installs the program into a
// folder of this name, and the name can't be set from outside.
constexpr wchar_t kProgramFolderName[] = L"kelda_tx";

bool IsProgramFolder(const std::wstring& folder) {
    const size_t slash = folder.find_last_of(L'\\');
    return slash != std::wstring::npos && slash >= 2 && folder[1] == L':' &&
           lstrcmpiW(folder.c_str() + slash + 1, kProgramFolderName) == 0;
}

// Best effort: what can't go (a file another program holds) stays, the rest goes.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A link to a folder elsewhere goes, never what it points at.
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveTree(path);
                RemoveDirectoryW(path.c_str());
            } else {
                if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search.get(), &found));
    }
    search.reset();
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

// Deferred; CustomActionData holds the program's folder. Never fails the
// uninstall: the package's own files are already gone when it runs.
extern "C" __declspec(dllexport) UINT __stdcall RemoveProgramFolder(MSIHANDLE install) {
    std::wstring folder = MsiProperty(install, L"CustomActionData");
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    if (IsProgramFolder(folder)) RemoveTree(folder);
    return ERROR_SUCCESS;
}
