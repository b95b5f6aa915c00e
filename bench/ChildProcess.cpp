#include "ChildProcess.h"

#include <cwchar>

namespace {
constexpr DWORD kPollMs = 2;

struct Search {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    if (std::wcscmp(text, search->caption) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

std::wstring FolderOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? L"." : path.substr(0, cut);
}
}  // namespace

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 5000);
    }
}

bool ChildProcess::Start(const std::wstring& exe) {
    if (Running()) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::wstring folder = FolderOf(exe);
    startedAt_ = Now();
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
        return false;
    }
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    id_ = info.dwProcessId;
    return true;
}

HWND ChildProcess::FindShownWindow(const wchar_t* caption) const {
    Search search{id_, caption, nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ChildProcess::WaitForShownWindow(const wchar_t* caption, DWORD timeoutMs) {
    double deadline = Now() + timeoutMs / 1000.0;
    while (Now() < deadline) {
        if (HWND window = FindShownWindow(caption)) return window;
        // Another process's windows give no event to wait on: poll, and stop
        // at once when the process ends instead.
        if (WaitForSingleObject(process_.get(), kPollMs) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

bool ChildProcess::Close(HWND window, DWORD timeoutMs) {
    if (!process_) return true;
    if (window) PostMessageW(window, WM_CLOSE, 1, 0);
    if (WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0) return true;
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 5000);
    return false;
}

bool ChildProcess::Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
