// Lists, waits for and closes top-level windows by caption, for scripts that run
// the real program under Wine (whose virtual desktop tools outside Wine can't see).
// Hidden windows count too: the frame of a program started with "hide on start" is one.
//   window_captions list                      the captions that are not empty, one per line (UTF-8)
//   window_captions wait CAPTION TIMEOUT_MS   0 once a window has that caption
//   window_captions close CAPTION TIMEOUT_MS  posts WM_CLOSE (wParam 1, the tray's "exit")
//                                             and gives 0 once the window's process has ended
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {
struct Window {
    HWND handle;
    std::wstring caption;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
    wchar_t text[256] = {};
    if (GetWindowTextW(window, text, 256) == 0) return TRUE;
    reinterpret_cast<std::vector<Window>*>(param)->push_back({window, text});
    return TRUE;
}

std::vector<Window> CaptionedWindows() {
    std::vector<Window> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND WaitForCaption(const wchar_t* caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        for (const Window& window : CaptionedWindows()) {
            if (window.caption == caption) return window.handle;
        }
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(100);  // polling another process's windows: there is no event to wait on
    }
}

void PrintUtf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
}

int Close(const wchar_t* caption, DWORD timeoutMs) {
    HWND window = WaitForCaption(caption, 0);
    if (!window) return 1;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    PostMessageW(window, WM_CLOSE, 1, 0);
    if (!process) return 1;
    bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended ? 0 : 1;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"list") == 0) {
        for (const Window& window : CaptionedWindows()) PrintUtf8(window.caption);
        return 0;
    }
    if (argc == 4 && std::wcscmp(argv[1], L"wait") == 0) {
        return WaitForCaption(argv[2], std::wcstoul(argv[3], nullptr, 10)) ? 0 : 1;
    }
    if (argc == 4 && std::wcscmp(argv[1], L"close") == 0) {
        return Close(argv[2], std::wcstoul(argv[3], nullptr, 10));
    }
    std::fprintf(stderr, "usage: window_captions list | wait CAPTION TIMEOUT_MS | close CAPTION TIMEOUT_MS\n");
    return 2;
}
