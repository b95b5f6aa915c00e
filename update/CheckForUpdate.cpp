// The start-up update check: fetch the manifest, compare versions, and when they
// differ install the archive over the program's own files and start it anew.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "settings/AppConfig.h"
#include "text/FixedText.h"
#include "text/NarrowText.h"
#include "update/ArchiveInstall.h"
#include "update/ArchiveSignature.h"
#include "update/BuiltInUpdateKey.h"
#include "update/ProgramFolder.h"
#include "update/UpdateMarker.h"
#include "update/UpdateMessages.h"

namespace {
// FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NORECURSION, and no
// FOF_ALLOWUNDO: the leftovers go for good, not to the recycle bin.
constexpr FILEOP_FLAGS kLeftoverDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NORECURSION;
static_assert(kLeftoverDeleteFlags == 0x1414, "flags of the leftover deletion");

// Deletes the old program files that the previous update moved aside, in the
// current directory (the pattern is relative).
void RemoveUpdateLeftovers() {
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = L"_kelda_*\0";  // the list ends with a second zero
    operation.pTo = nullptr;
    operation.fFlags = kLeftoverDeleteFlags;
    SHFileOperationW(&operation);
}

// The temporary file that receives the manifest and then the archive. It is
// deleted on every way out of the check, so no download outlives it.
class DownloadFile {
public:
    DownloadFile() {
        wchar_t folder[MAX_PATH] = {};
        DWORD length = GetTempPathW(MAX_PATH, folder);
        made_ = length > 0 && length < MAX_PATH && GetTempFileNameW(folder, L"kelda", 0, name_) != 0;
        // Downloads and the zip reader take 8-bit names. A temporary folder under
        // a Cyrillic user name has none, but its short form does.
        std::string narrow;
        if (made_ && !ToNarrowText(name_, narrow)) {
            wchar_t shortName[MAX_PATH] = {};
            DWORD shortLength = GetShortPathNameW(name_, shortName, MAX_PATH);
            if (shortLength > 0 && shortLength < MAX_PATH && ToNarrowText(shortName, narrow)) {
                CopyFixedText(name_, shortName);
            }
        }
    }
    ~DownloadFile() { Remove(); }
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    bool Made() const { return made_; }
    const wchar_t* Name() const { return name_; }
    void Remove() {
        if (made_) DeleteFileW(name_);
    }

private:
    wchar_t name_[MAX_PATH] = {};
    bool made_ = false;
};
}  // namespace

int AppConfigRecord::CheckForUpdate() { return CheckForUpdate(kBuiltInUpdateKey); }

int AppConfigRecord::CheckForUpdate(const UpdateKey& key) {
    auto fail = [this](const wchar_t* message) {
        CopyFixedText(errorText, message);
        return 0;
    };
    wchar_t folder[MAX_PATH] = {};
    EnterProgramFolder(folder);
    std::wstring lastInstalled;  // the version the update before this start installed
    const bool followsUpdate = TakeUpdateMarker(lastInstalled);
    LoadSettings();
    std::wstring working;  // "version", then "file", then "compabilitywith"
    // No archive to install: a version the manifest names compatible goes on.
    auto withoutArchive = [&] {
        document.GetValue(L"", L"compabilitywith", working);
        if (working.find(version) != std::wstring::npos) return 1;
        return fail(update_messages::kOutdated);
    };

    // Without a file to receive it, the manifest can't be fetched: the same as no server.
    DownloadFile download;
    if (!download.Made()) return fail(update_messages::kNoConnection);
    if (http.DownloadToFile(L"/keldatx.txt", download.Name(), kSmallFileLimits) != 0) {
        return fail(update_messages::kNoConnection);
    }
    document.LoadFile(download.Name(), false);
    download.Remove();

    EnterProgramFolder(folder);
    RemoveUpdateLeftovers();

    // A lookup that finds nothing leaves the working value as the previous one left it.
    document.GetValue(L"", L"version", working);
    if (working == version) return 1;
    // A start that follows the update which installed the offered version, and is
    // still another one: the archive does not carry this program, and installing
    // it again would restart for ever. It counts as an archive that can't be fetched.
    const std::wstring offered = working;
    const bool installedBefore = followsUpdate && offered == lastInstalled;
    document.GetValue(L"", L"file", working);
    if (installedBefore || http.DownloadToFile(working.c_str(), download.Name(), kArchiveLimits) != 0) {
        return withoutArchive();
    }

    // A build with a key installs only what its provider signed. A system that
    // can't verify installs nothing, as if the archive could not be fetched.
    if (key.Present()) {
        DownloadFile signature;
        const std::wstring signaturePath = working + L".sig";
        const bool fetched =
            signature.Made() && http.DownloadToFile(signaturePath.c_str(), signature.Name(), kSmallFileLimits) == 0;
        SignatureCheck checked = VerifyArchiveSignature(key, download.Name(), fetched ? signature.Name() : nullptr);
        if (checked == SignatureCheck::Unavailable) return withoutArchive();
        if (checked != SignatureCheck::Verified) return fail(update_messages::kBrokenArchive);
    }

    // The download converted this very name, so the conversion succeeds here too.
    std::string archivePath;
    ToNarrowText(download.Name(), archivePath);
    InstallResult installed = InstallArchive(archivePath.c_str());
    download.Remove();
    if (installed != InstallResult::Installed) return fail(InstallFailureMessage(installed));
    LeaveUpdateMarker(offered);

    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    ShellExecuteW(nullptr, L"open", program, L"", folder, SW_SHOWNORMAL);
    return 2;
}
