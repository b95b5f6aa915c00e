#pragma once
#include <windows.h>

// The sizes the program puts into the size fields of the system structures it
// fills: the Windows XP generation of each interface (WINVER 0x0501), as that
// architecture's headers lay it out. The 64-bit layouts differ where a field is
// pointer-sized (a handle, an ULONG_PTR). Each user asserts sizeof against them.
#if defined(_WIN64)
constexpr DWORD kRasEntrySize = 5616;
constexpr DWORD kRasDialParamsSize = 2108;  // dwCallbackId is pointer-sized
constexpr DWORD kRasConnStatusSize = 564;
constexpr DWORD kRasConnSize = 1372;        // hrasconn is a handle
constexpr DWORD kNotifyIconDataSize = 968;  // hWnd and hIcon are handles
#else
constexpr DWORD kRasEntrySize = 5616;
constexpr DWORD kRasDialParamsSize = 2104;
constexpr DWORD kRasConnStatusSize = 564;
constexpr DWORD kRasConnSize = 1368;
constexpr DWORD kNotifyIconDataSize = 952;
#endif
constexpr DWORD kOsVersionInfoExSize = 284;
constexpr DWORD kOsVersionInfoSize = 276;
