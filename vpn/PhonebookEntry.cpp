#include "vpn/PhonebookEntry.h"

#include "framework/StructureSizes.h"
#include "settings/AppConfig.h"
#include "text/FixedText.h"

// The Windows XP generation of each structure; RAS rejects any other dwSize
// with ERROR_INVALID_SIZE.
static_assert(sizeof(RASENTRYW) == kRasEntrySize, "RASENTRYW must have the XP layout");
static_assert(sizeof(RASDIALPARAMSW) == kRasDialParamsSize, "RASDIALPARAMSW must have the XP layout");
static_assert(sizeof(OSVERSIONINFOEXW) == kOsVersionInfoExSize, "OSVERSIONINFOEXW size");
static_assert(sizeof(OSVERSIONINFOW) == kOsVersionInfoSize, "OSVERSIONINFOW size");

namespace {
// Wide entry sizes of the layouts before XP: NT 5.0 ends after dwVpnStrategy,
// NT 4.0 after dwIdleDisconnectSeconds, NT 3.51 after dwReserved2.
constexpr DWORD kRasEntrySizeNt50 = 4048;
constexpr DWORD kRasEntrySizeNt40 = 3496;
constexpr DWORD kRasEntrySizeNt351 = 3468;

constexpr DWORD kEntryOptions = RASEO_RemoteDefaultGateway | RASEO_SecureLocalFiles | RASEO_ShowDialingProgress;
constexpr DWORD kEntryOptions2 = RASEO2_SecureFileAndPrint | RASEO2_SecureClientForMSNet | RASEO2_DontNegotiateMultilink;
static_assert(kEntryOptions == 0x04010010 && kEntryOptions2 == 7, "entry option bits");

bool GetWindowsVersion(OSVERSIONINFOEXW& version) {
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = kOsVersionInfoExSize;
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return true;
    // Systems before NT 4.0 SP6 know only the short structure.
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = kOsVersionInfoSize;
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)) != FALSE;
}
}  // namespace

DWORD RasEntrySizeForVersion(DWORD major, DWORD minor) {
    if (major > 5 || (major == 5 && minor >= 1)) return kRasEntrySize;
    if (major == 5) return kRasEntrySizeNt50;
    if (major == 4) return kRasEntrySizeNt40;
    return kRasEntrySizeNt351;
}

RASDIALPARAMSW ProgramDialParams() {
    RASDIALPARAMSW params;
    ZeroMemory(&params, sizeof params);
    params.dwSize = kRasDialParamsSize;
    CopyFixedText(params.szEntryName, AppConfig.connectionName);
    CopyFixedText(params.szUserName, AppConfig.login);
    CopyFixedText(params.szPassword, AppConfig.password);
    return params;
}

void ForgetPassword(RASDIALPARAMSW& params) { SecureZeroMemory(params.szPassword, sizeof params.szPassword); }

void PrepareEntry() {
    OSVERSIONINFOEXW version;
    if (!GetWindowsVersion(version)) return;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return;
    DWORD size = RasEntrySizeForVersion(version.dwMajorVersion, version.dwMinorVersion);

    RASENTRYW entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = size;
    entry.dwfOptions = kEntryOptions;
    CopyFixedText(entry.szLocalPhoneNumber, AppConfig.serverAddress);
    entry.dwfNetProtocols = RASNP_Ip;
    entry.dwFramingProtocol = RASFP_Ppp;
    CopyFixedText(entry.szDeviceType, L"vpn");
    CopyFixedText(entry.szDeviceName, L"VPN");
    entry.dwType = RASET_Vpn;
    entry.dwEncryptionType = ET_None;
    entry.dwVpnStrategy = VS_PptpOnly;
    entry.dwfOptions2 = kEntryOptions2;
    entry.dwRedialCount = 99;
    entry.dwRedialPause = 3;
    if (RasSetEntryPropertiesW(nullptr, AppConfig.connectionName, &entry, size, nullptr, 0) != 0) return;
    StoreDialParams();
}

DWORD StoreDialParams() {
    RASDIALPARAMSW params = ProgramDialParams();
    AppConfig.StoreCredentials(AppConfig.login, AppConfig.password);
    // FALSE: the password is saved with the entry.
    DWORD result = RasSetEntryDialParamsW(nullptr, &params, FALSE);
    ForgetPassword(params);
    return result;
}
