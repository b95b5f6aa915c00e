#pragma once
#include <windows.h>
#include <ras.h>

#include "framework/StructureSizes.h"

// The RAS structures as the Windows XP generation of the interface lays them
// out; the service rejects any other dwSize with ERROR_INVALID_SIZE.
static_assert(sizeof(RASENTRYW) == kRasEntrySize, "RASENTRYW must have the XP layout");
static_assert(sizeof(RASDIALPARAMSW) == kRasDialParamsSize, "RASDIALPARAMSW must have the XP layout");
static_assert(sizeof(RASCONNSTATUSW) == kRasConnStatusSize, "RASCONNSTATUSW must have the XP layout");
static_assert(sizeof(RASCONNW) == kRasConnSize, "RASCONNW must have the XP layout");
static_assert(sizeof(OSVERSIONINFOEXW) == kOsVersionInfoExSize, "OSVERSIONINFOEXW size");
static_assert(sizeof(OSVERSIONINFOW) == kOsVersionInfoSize, "OSVERSIONINFOW size");

// RasEnumConnectionsW is asked for at most this many connections.
constexpr int kEnumeratedConnections = 10;
