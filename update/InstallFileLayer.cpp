#include "update/InstallFileLayer.h"

bool InstallFileLayer::Write(HANDLE file, const char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool InstallFileLayer::Move(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != FALSE;
}
