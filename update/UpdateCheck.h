#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "framework/UniqueHandle.h"
#include "network/DownloadProgress.h"
#include "network/HttpClient.h"
#include "settings/KeyValueDocument.h"
#include "update/UpdateKey.h"

// What the start-up check is busy with, for the window that shows it.
enum class UpdateStage { Manifest, Archive, Install };

// The start-up update check. The window thread starts it and takes its result;
// the network and file work runs on a thread of its own, which touches no window
// and not AppConfig, and posts WM_UPDATE_CHECKED to the given window when done.
class UpdateCheck {
public:
    explicit UpdateCheck(const UpdateKey& key);
    // Cancels the work and waits for its thread: a download returns at once, an
    // install that has begun runs to its end (bounded by the archive's bounds).
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    // Window thread: makes the program's folder current, loads the stored
    // settings into AppConfig, takes what the work needs of it and starts the
    // work. `notify` (may be null) receives WM_UPDATE_CHECKED when it has ended.
    void Start(HWND notify);
    // Any thread: a manifest download stops as if there were no server, an
    // archive download as if the archive could not be fetched; once the install
    // has begun it is too late.
    void Cancel();

    UpdateStage Stage() const { return stage_; }
    const DownloadProgress& Progress() const { return progress_; }

    // Window thread: waits for the work to end (at once after WM_UPDATE_CHECKED)
    // and hands its result over to AppConfig (the manifest into `document`, a
    // failure's text into `errorText`); starts the new copy after an install.
    // 0 failed, 1 carry on, 2 a new copy runs in this one's place.
    int Finish();

private:
    static DWORD WINAPI ThreadEntry(void* self);
    int Work();
    int WithoutArchive(const std::wstring& compatible);
    bool Cancelled() const { return cancelled_; }

    const UpdateKey& key_;
    // Given to the work at Start, then its own until Finish.
    HttpClient http_;
    KeyValueDocument document_;
    std::wstring version_;
    wchar_t folder_[MAX_PATH] = {};
    HWND notify_ = nullptr;
    // The work's result.
    int result_ = 0;
    const wchar_t* message_ = nullptr;
    // Shared between the threads.
    std::atomic<UpdateStage> stage_{UpdateStage::Manifest};
    std::atomic<bool> cancelled_{false};
    DownloadProgress progress_;
    UniqueKernelHandle thread_;
};
