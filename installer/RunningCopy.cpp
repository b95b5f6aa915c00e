// The custom actions for a copy of the program that runs while a package is
// installed over it: Windows can't replace a running program's file, and a
// silent deployment can't ask the user to quit first. The copy is asked to
// leave (it saves its settings and leaves an established connection up), and
// once the new version is in, that version is started as the old one was shown;
// it adopts the connection at its start.
#include <windows.h>

#include <string>

#include "framework/Messages.h"
#include "framework/UniqueHandle.h"
#include "installer/MsiProperty.h"

namespace {
// The frame answers between its other work: a statistics query holds it 20 s at most.
constexpr UINT kAnswerWaitMs = 30000;
// Leaving saves the settings; "Выход" (how an older version leaves) waits up to 3 s for RAS.
constexpr DWORD kLeaveWaitMs = 30000;
// Set when a copy left: "shown" or "hidden", how the new version starts.
constexpr wchar_t kRestartProperty[] = L"KELDA_RESTART";
constexpr wchar_t kProgramName[] = L"kelda_tx.exe";
}  // namespace

// Immediate, before InstallValidate. A copy that does not leave in time stays,
// and Windows Installer treats its file as any file in use.
extern "C" __declspec(dllexport) UINT __stdcall CloseRunningCopy(MSIHANDLE install) {
    HWND frame = FindWindowW(kFrameClassName, nullptr);
    DWORD processId = 0;
    if (!frame || !GetWindowThreadProcessId(frame, &processId)) return ERROR_SUCCESS;
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) return ERROR_SUCCESS;
    const bool shown = IsWindowVisible(frame) != FALSE;
    DWORD_PTR answer = 0;
    // A version from before the request answers 0: it leaves through "Выход", hanging up.
    if (!SendMessageTimeoutW(frame, WM_LEAVE_FOR_UPGRADE, 0, 0, SMTO_NORMAL, kAnswerWaitMs, &answer) || answer != 1)
        PostMessageW(frame, WM_CLOSE, 1, 0);
    if (WaitForSingleObject(process.get(), kLeaveWaitMs) == WAIT_OBJECT_0)
        MsiSetPropertyW(install, kRestartProperty, shown ? L"shown" : L"hidden");
    return ERROR_SUCCESS;
}

// Immediate, after InstallFinalize, when CloseRunningCopy made a copy leave.
extern "C" __declspec(dllexport) UINT __stdcall StartProgramAgain(MSIHANDLE install) {
    const std::wstring how = MsiProperty(install, kRestartProperty);
    std::wstring folder = MsiProperty(install, L"ProgramFolder");
    if (how.empty() || folder.empty()) return ERROR_SUCCESS;
    if (folder.back() != L'\\') folder += L'\\';
    const std::wstring program = folder + kProgramName;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;  // the program shows its frame with this, unless told to hide
    startup.wShowWindow = how == L"hidden" ? SW_HIDE : SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    // The Start menu's shortcut starts it in its folder too.
    if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                       &startup, &started)) {
        // Closed at once: the new copy runs on its own.
        UniqueKernelHandle thread(started.hThread), child(started.hProcess);
    }
    return ERROR_SUCCESS;
}
