// The start-up update check's work: fetch the manifest, compare versions, and
// when they differ install the archive over the program's own files.
#include "update/UpdateCheck.h"

#include <shellapi.h>

#include <string>

#include "framework/Messages.h"
#include "settings/AppConfig.h"
#include "text/FixedText.h"
#include "text/NarrowText.h"
#include "update/ArchiveInstall.h"
#include "update/ArchiveSignature.h"
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
        // The zip reader takes 8-bit names. A temporary folder under a Cyrillic
        // user name has none, but its short form does.
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

UpdateCheck::UpdateCheck(const UpdateKey& key) : key_(key) {}

UpdateCheck::~UpdateCheck() {
    if (!thread_) return;
    Cancel();
    WaitForSingleObject(thread_.get(), INFINITE);
}

void UpdateCheck::Start(HWND notify) {
    EnterProgramFolder(folder_);
    AppConfig.LoadSettings();
    http_.CopyServer(AppConfig.http);
    document_ = AppConfig.document;
    version_ = AppConfig.version;
    notify_ = notify;
    thread_.reset(CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr));
    // Without a thread of its own the work runs here: nothing shows, the same result.
    if (!thread_) ThreadEntry(this);
}

void UpdateCheck::Cancel() {
    cancelled_ = true;
    http_.Cancel();
}

int UpdateCheck::Finish() {
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    AppConfig.document = std::move(document_);
    if (result_ == 0) CopyFixedText(AppConfig.errorText, message_);
    if (result_ == 2) {
        wchar_t program[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        ShellExecuteW(nullptr, L"open", program, L"", folder_, SW_SHOWNORMAL);
    }
    return result_;
}

DWORD WINAPI UpdateCheck::ThreadEntry(void* self) {
    UpdateCheck& check = *static_cast<UpdateCheck*>(self);
    check.result_ = check.Work();
    if (check.notify_) PostMessageW(check.notify_, WM_UPDATE_CHECKED, 0, 0);
    return 0;
}

// No archive to install: a version the manifest names compatible goes on.
int UpdateCheck::WithoutArchive(const std::wstring& working) {
    std::wstring compatible = working;
    document_.GetValue(L"", L"compabilitywith", compatible);
    if (compatible.find(version_) != std::wstring::npos) return 1;
    message_ = update_messages::kOutdated;
    return 0;
}

int UpdateCheck::Work() {
    auto fail = [this](const wchar_t* message) {
        message_ = message;
        return 0;
    };
    std::wstring lastInstalled;  // the version an earlier update installed
    const bool followsUpdate = ReadUpdateMarker(lastInstalled);
    std::wstring working;  // "version", then "file", then "compabilitywith"

    // Without a file to receive it, the manifest can't be fetched: the same as no server.
    DownloadFile download;
    if (!download.Made()) return fail(update_messages::kNoConnection);
    if (http_.DownloadToFile(L"/keldatx.txt", download.Name(), kSmallFileLimits) != 0 || Cancelled()) {
        return fail(update_messages::kNoConnection);
    }
    document_.LoadFile(download.Name(), false);
    download.Remove();

    EnterProgramFolder(folder_);
    RemoveUpdateLeftovers();

    // A lookup that finds nothing leaves the working value as the previous one left it.
    document_.GetValue(L"", L"version", working);
    if (working == version_) return 1;
    // The offered version is the one an earlier update installed, yet this is
    // still another: the archive does not carry this program, and installing it
    // again would restart for ever. It counts as an archive that can't be
    // fetched, for as long as the manifest offers that version.
    const std::wstring offered = working;
    const bool installedBefore = followsUpdate && offered == lastInstalled;
    if (installedBefore) LeaveUpdateMarker(offered);  // the leftovers' removal took it
    document_.GetValue(L"", L"file", working);
    stage_ = UpdateStage::Archive;
    if (installedBefore ||
        http_.DownloadToFile(working.c_str(), download.Name(), kArchiveLimits, &progress_) != 0 || Cancelled()) {
        return WithoutArchive(working);
    }

    // A build with a key installs only what its provider signed. A system that
    // can't verify installs nothing, as if the archive could not be fetched.
    if (key_.Present()) {
        DownloadFile signature;
        const std::wstring signaturePath = working + L".sig";
        const bool fetched =
            signature.Made() && http_.DownloadToFile(signaturePath.c_str(), signature.Name(), kSmallFileLimits) == 0;
        if (Cancelled()) return WithoutArchive(working);
        SignatureCheck checked = VerifyArchiveSignature(key_, download.Name(), fetched ? signature.Name() : nullptr);
        if (checked == SignatureCheck::Unavailable) return WithoutArchive(working);
        if (checked != SignatureCheck::Verified) return fail(update_messages::kBrokenArchive);
    }

    stage_ = UpdateStage::Install;
    if (Cancelled()) return WithoutArchive(working);
    // The zip reader takes 8-bit names only; a temporary folder that has none
    // (see DownloadFile) can take no update, as if the archive could not be fetched.
    std::string archivePath;
    if (!ToNarrowText(download.Name(), archivePath)) return WithoutArchive(working);
    InstallResult installed = InstallArchive(archivePath.c_str());
    download.Remove();
    if (installed != InstallResult::Installed) return fail(InstallFailureMessage(installed));
    LeaveUpdateMarker(offered);
    return 2;
}
