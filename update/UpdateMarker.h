#pragma once
#include <string>

// The note an update leaves beside the program for the copy it starts: the
// version it installed. The next start takes it (reads and removes it), so it
// speaks of the last start only. Its name matches "_kelda_*", so even a version
// that knows nothing of it removes it with the other leftovers.
constexpr const wchar_t kUpdateMarkerName[] = L"_kelda_updated.txt";

// Writes the note into the current directory (the program's folder).
void LeaveUpdateMarker(const std::wstring& installedVersion);

// Reads and removes the note in the current directory. True when there was one,
// with the version it names in `installedVersion`.
bool TakeUpdateMarker(std::wstring& installedVersion);
