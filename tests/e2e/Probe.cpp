// What the end-to-end scripts ask of the running program, from another Wine process (xdotool cannot see inside
// Wine's desktop); answers in UTF-8. Commands: window|exists|wait-hidden CAPTION MS, close CAPTION MS (the tray's
// exit), text|centre CAPTION ROLE, tray-icon, menu MS, tooltip|balloon MS, settings.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "framework/UniqueHandle.h"
#include "settings/AppConfig.h"
#include "support/TestWindows.h"

namespace {
int Print(const std::wstring& line) {
    char out[4096];
    bool made = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, out, sizeof out, nullptr, nullptr) != 0;
    return made && puts(out) >= 0 ? 0 : 1;
}

RECT RectOf(HWND window) {
    RECT rect{};
    return GetWindowRect(window, &rect), rect;
}
int PrintCentre(const RECT& r) { return Print(std::to_wstring((r.left + r.right) / 2) + L" " + std::to_wstring((r.top + r.bottom) / 2)); }

// The first shown top-level window of a class that `wanted` accepts, waiting up to ms; or null.
template <typename Wanted>
HWND WaitShown(const wchar_t* windowClass, DWORD ms, Wanted wanted) {
    HWND found = nullptr;
    PumpUntil([&] {
        while ((found = FindWindowExW(nullptr, found, windowClass, nullptr)))
            if (IsWindowVisible(found) && wanted(found)) return true;
        return false;
    }, ms, 50);
    return found;
}

// The control a role names, by its id or by where the view puts it; "message" and "ok" are a message box's,
// "message" and "cancel" the update window's.
HWND FindRole(HWND parent, const std::wstring& role) {
    static const struct { const wchar_t* role; int id; LONG left, top; } roles[] = {
        {L"button", 1000, 0, 0}, {L"refresh", 1008, 0, 0}, {L"autoconnect", 1124, 0, 0}, {L"hideonstart", 1125, 0, 0},
        {L"state", 0, 5, 75},    {L"progress", 0, 5, 87},  {L"login", 0, 55, 140},       {L"password", 0, 55, 165},
        {L"message", 0xFFFF, 0, 0}, {L"ok", IDOK, 0, 0},      {L"cancel", IDCANCEL, 0, 0}};
    for (HWND child = nullptr; parent && (child = FindWindowExW(parent, child, nullptr, nullptr));) {
        RECT rect = RectOf(child);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
        for (const auto& r : roles) {
            bool placed = r.id ? GetDlgCtrlID(child) == r.id : rect.left == r.left && rect.top == r.top;
            if (role == r.role && placed) return child;
        }
        if (HWND found = FindRole(child, role)) return found;
    }
    return nullptr;
}

int Window(HWND window) {
    RECT r = RectOf(window);
    wchar_t line[160];
    swprintf(line, 160, L"visible=%d iconic=%d foreground=%d rect=%ld,%ld,%ld,%ld", IsWindowVisible(window) ? 1 : 0,
             IsIconic(window) ? 1 : 0, GetForegroundWindow() == window ? 1 : 0, r.left, r.top, r.right, r.bottom);
    return Print(line);
}

// Posts the tray's "exit" (WM_CLOSE with wParam 1) to the window and waits for its process to end.
int Close(HWND window, DWORD ms) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process || !PostMessageW(window, WM_CLOSE, 1, 0)) return 1;
    return WaitForSingleObject(process.get(), ms) == WAIT_OBJECT_0 ? 0 : 1;
}

// Wine's tip answers no TTM_GETTITLE: the title is read from the data its first extra bytes
// point to in the shell's process (comctl32's TOOLTIPS_INFO as Wine 8 lays it out).
std::wstring BalloonTitle(HWND tip) {
    struct {  // the fields up to the title's
        HWND self; wchar_t text[1024]; BOOL active, trackActive; UINT tools; COLORREF colours[2]; HFONT fonts[2];
        INT numbers[9]; RECT margin; BOOL below; const wchar_t* title;
    } data{};
    wchar_t title[64] = {};
    DWORD shellId = 0;
    GetWindowThreadProcessId(tip, &shellId);
    UniqueKernelHandle shell(OpenProcess(PROCESS_VM_READ, FALSE, shellId));
    auto address = reinterpret_cast<const void*>(GetWindowLongPtrW(tip, 0));
    bool read = shell && ReadProcessMemory(shell.get(), address, &data, sizeof data, nullptr) && data.self == tip &&
                data.title && ReadProcessMemory(shell.get(), data.title, title, sizeof title - 2, nullptr);
    return read ? title : L"(no title read)";
}
}  // namespace

int main() {
    int argc = 0;  // the wide command line: a caption may be Cyrillic
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring command = argc > 1 ? argv[1] : L"", caption = argc > 2 ? argv[2] : L"";
    DWORD ms = wcstoul(argv[argc - 1], nullptr, 10);
    HWND frame = nullptr, control = FindRole(FindCaption(caption), argc > 3 ? argv[3] : L"");
    auto appears = [&](bool shownOnly) {
        return PumpUntil([&] { return (frame = FindCaption(caption, 0, shownOnly)) != nullptr; }, ms, 50);
    };
    if (command == L"window" || command == L"exists") return appears(command == L"window") ? Window(frame) : 1;
    if (command == L"wait-hidden") return PumpUntil([&] { return !FindCaption(caption, 0, true); }, ms, 50) ? 0 : 1;
    if (command == L"close") return appears(false) ? Close(frame, ms) : 1;
    if (command == L"text") return control ? Print(TextOf(control)) : 1;
    if (command == L"centre") return control ? PrintCentre(RectOf(control)) : 1;
    if (command == L"tooltip" || command == L"balloon") {
        HWND tip = WaitShown(L"tooltips_class32", ms, [&](HWND t) {
            return ((GetWindowLongW(t, GWL_STYLE) & TTS_BALLOON) != 0) == (command == L"balloon") && !TextOf(t).empty();
        });
        return tip ? Print((command == L"balloon" ? BalloonTitle(tip) + L"\n" : L"") + TextOf(tip)) : 1;
    }
    if (command == L"menu") {  // the centre of the open pop-up menu's last item
        HWND menu = WaitShown(L"#32768", ms, [](HWND) { return true; });
        RECT r = RectOf(menu);
        return menu ? PrintCentre(RECT{r.left, r.bottom - 10, r.right, r.bottom - 10}) : 1;
    }
    if (command == L"tray-icon") {  // Wine paints the icons into the task bar from its right end, each
        RECT bar = RectOf(FindWindowW(L"Shell_TrayWnd", nullptr));  // in a small icon's cell and 2-pixel border
        bar.left = bar.right - GetSystemMetrics(SM_CXSMICON) - 4;
        return bar.right ? PrintCentre(bar) : 1;
    }
    if (command != L"settings") return fprintf(stderr, "probe: unknown command\n"), 2;
    AppConfig.LoadSettings();
    return Print(std::wstring(L"login=") + AppConfig.login + L" password=" + AppConfig.password + L" autoConnect=" +
                 std::to_wstring(AppConfig.autoConnect) + L" hideOnStart=" + std::to_wstring(AppConfig.hideOnStart));
}
