#pragma once
#include <windows.h>

// The two file operations whose failure an install must survive. The program
// uses these as they are; tests derive from the class to make one of them fail
// at a chosen moment, as a full disk or a file another program holds would.
class InstallFileLayer {
public:
    virtual ~InstallFileLayer() = default;
    // Writes all `size` bytes at the file's position; false when any are missing.
    virtual bool Write(HANDLE file, const char* data, DWORD size);
    // Renames a file or folder to a name that must be free: it never replaces one.
    virtual bool Move(const char* from, const char* to);
};
