#pragma once
#include <string>

// The note an update leaves beside the program for the copies it starts: the
// version it installed. Its name matches "_kelda_*", so every start that
// reaches the server removes it with the other leftovers; a start that finds
// the manifest still offering that version leaves it again, so a release whose
// program does not carry its own version is installed once, not at every start.
constexpr const wchar_t kUpdateMarkerName[] = L"_kelda_updated.txt";

// Writes the note into the current directory (the program's folder).
void LeaveUpdateMarker(const std::wstring& installedVersion);

// Reads the note in the current directory. True when there is one, with the
// version it names in `installedVersion`.
bool ReadUpdateMarker(std::wstring& installedVersion);
