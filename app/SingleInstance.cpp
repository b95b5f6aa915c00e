#include "app/SingleInstance.h"

#include "app/MainFrame.h"
#include "app/UpdateWindow.h"
#include "framework/Messages.h"

namespace {
// "Local\": one per user session.
const wchar_t kMutexName[] = L"Local\\kelda_tx";
// A copy between its update window and its frame, or one that is ending (it
// waits for RAS after its frame is gone, or has just started an updated copy of
// itself), has no window to show: wait for either a window or its end, this
// long at most.
constexpr DWORD kHandOverWaitMs = 30000;
constexpr DWORD kPollMs = 100;
constexpr UINT kAnswerWaitMs = 1000;

// True when the running copy's frame, or its update window while it checks for
// an update, answered that it has come forward.
bool BringRunningCopyForward() {
    HWND frame = FindWindowW(kFrameClassName, nullptr);
    if (!frame) frame = FindWindowW(kUpdateWindowClassName, nullptr);
    if (!frame) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(frame, &processId);
    // The user has just started us, so the foreground is ours to hand over.
    AllowSetForegroundWindow(processId);
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(frame, WM_BRING_TO_FRONT, 0, 0, SMTO_ABORTIFHUNG, kAnswerWaitMs, &answer) &&
           answer == 1;
}
}  // namespace

SingleInstance::SingleInstance() : mutex_(CreateMutexW(nullptr, FALSE, kMutexName)) {}

bool SingleInstance::Claim() {
    // Without the mutex there is no telling: better one copy too many than none.
    if (!mutex_) return true;
    DWORD start = GetTickCount();
    for (DWORD wait = 0;; wait = kPollMs) {
        DWORD result = WaitForSingleObject(mutex_.get(), wait);
        // Abandoned: the last owner ended without letting go; it is ours now.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
            owned_.reset(mutex_.get());
            return true;
        }
        if (result == WAIT_FAILED) return true;
        if (BringRunningCopyForward()) return false;
        if (GetTickCount() - start >= kHandOverWaitMs) return false;
    }
}
