// What the end-to-end scripts ask of the running program, from another Wine
// process (xdotool cannot see inside Wine's virtual desktop):
//   probe window|exists|wait-hidden <caption> <ms>  waits for the window shown|in any state|hidden
//   probe close <caption> <ms>                 the tray's "exit" for it; waits for its process to end
//   probe text <caption> <role>                the control's text now
//   probe centre <caption> <role>              "X Y": the screen point at the middle of a control
//   probe tray-icon                            "X Y": the middle of the first notification-area icon
//   probe menu <ms>                            "X Y": the last item of the open pop-up menu
//   probe startup-error <caption> <ms>         the start-up failure box's text; then presses its button
//   probe tooltip|balloon <ms>                 the text of the tip (or the tray's balloon) on screen
//   probe settings                             the stored settings, as the program loads them
// Roles: closebox, button, refresh, autoconnect, hideonstart, login, password, state, progress.
// window and exists print the window's state. Output is UTF-8.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "framework/UniqueHandle.h"
#include "settings/AppConfig.h"
#include "support/TestWindows.h"

namespace {
std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

// Bytes as they are: no code page stands between the UTF-8 and the script.
int Print(const std::string& line) { return puts(line.c_str()) < 0 ? 1 : 0; }

int PrintCentre(const RECT& rect) {
    return Print(std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2));
}

// The window `find` names, waiting up to timeoutMs for it; or null.
HWND WaitFor(const std::function<HWND()>& find, DWORD timeoutMs) {
    HWND window = nullptr;
    PumpUntil([&] { return (window = find()) != nullptr; }, timeoutMs, 50);
    return window;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

BOOL CALLBACK Collect(HWND window, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> Descendants(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, Collect, reinterpret_cast<LPARAM>(&children));
    return children;
}

RECT RectOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// The control a role names, found by its id or by where the view puts it.
HWND FindRole(const std::wstring& caption, const std::string& role) {
    static const struct {
        const char* role;
        int id;
        LONG left, top;
    } roles[] = {{"button", 1000, -1, -1},    {"refresh", 1008, -1, -1}, {"autoconnect", 1124, -1, -1},
                 {"hideonstart", 1125, -1, -1}, {"state", 0, 5, 75},    {"progress", 0, 5, 87},
                 {"login", 0, 55, 140},       {"password", 0, 55, 165}};
    HWND frame = FindCaption(caption);
    for (HWND child : frame ? Descendants(frame) : std::vector<HWND>{}) {
        RECT rect = RectOf(child);
        MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
        for (const auto& r : roles) {
            bool placed = r.id ? GetDlgCtrlID(child) == r.id : rect.left == r.left && rect.top == r.top;
            if (role == r.role && placed) return child;
        }
    }
    return nullptr;
}

int Centre(const std::wstring& caption, const std::string& role) {
    HWND frame = FindCaption(caption);
    HWND control = FindRole(caption, role);
    if (!frame || (!control && role != "closebox")) return 1;
    RECT rect = RectOf(control ? control : frame);
    if (!control) {  // the close box: the right-most caption button, inside the fixed frame border
        int border = GetSystemMetrics(SM_CXFIXEDFRAME);
        rect = RECT{rect.right - border - GetSystemMetrics(SM_CXSIZE), rect.top + border, rect.right - border,
                    rect.top + border + GetSystemMetrics(SM_CYSIZE)};
    }
    return PrintCentre(rect);
}

int Window(const std::wstring& caption, DWORD timeoutMs, bool shownOnly) {
    HWND window = WaitFor([&] { return FindCaption(caption, 0, shownOnly); }, timeoutMs);
    if (!window) return 1;
    RECT rect = RectOf(window);
    char line[160];
    snprintf(line, sizeof line, "visible=%d iconic=%d foreground=%d rect=%ld,%ld,%ld,%ld",
             IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0, GetForegroundWindow() == window ? 1 : 0,
             rect.left, rect.top, rect.right, rect.bottom);
    return Print(line);
}

int TrayIcon() {
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!tray || !IsWindowVisible(tray)) return 1;
    // This Wine paints the icons into the task bar itself, from its right
    // end, each in a cell of the small-icon size plus a 2-pixel border.
    RECT bar = RectOf(tray);
    RECT icon{bar.right - GetSystemMetrics(SM_CXSMICON) - 4, bar.top, bar.right, bar.bottom};
    for (HWND child : Descendants(tray)) {
        if (ClassOf(child) == L"__wine_tray_icon" && IsWindowVisible(child)) {
            icon = RectOf(child);
            break;
        }
    }
    return PrintCentre(icon);
}

// The middle of the open pop-up menu's last item.
int Menu(DWORD timeoutMs) {
    auto shown = [] {
        HWND menu = nullptr;
        while ((menu = FindWindowExW(nullptr, menu, L"#32768", nullptr)) && !IsWindowVisible(menu)) {
        }
        return menu;
    };
    HWND menu = WaitFor(shown, timeoutMs);
    if (!menu) return 1;
    RECT rect = RectOf(menu);
    return PrintCentre(RECT{rect.left, rect.bottom - 10, rect.right, rect.bottom - 10});
}

// Posts the tray's "exit" (WM_CLOSE with wParam 1) to the window and waits for its process to end.
int Close(const std::wstring& caption, DWORD timeoutMs) {
    HWND window = FindCaption(caption);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!window || !process) return 1;
    PostMessageW(window, WM_CLOSE, 1, 0);
    return WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0 ? 0 : 1;
}

// Prints the start-up failure box's text (and whether a frame with the caption stands), then presses its button.
int StartupError(const std::wstring& caption, DWORD timeoutMs) {
    HWND box = WaitFor([] { return FindCaption(L"Ошибка инициализации приложения", 0, true); }, timeoutMs);
    if (!box) return 1;
    Print(Utf8(WindowText(GetDlgItem(box, 0xFFFF))) + (FindCaption(caption) ? " (and a frame)" : ""));
    return PostMessageW(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
}

// A window of another process answers GetWindowTextW from its stored caption;
// a tip tells what it shows only when asked with WM_GETTEXT itself.
std::wstring AskedText(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &copied);
    return text;
}

int Tooltip(bool balloon, DWORD timeoutMs) {
    auto shown = [balloon] {
        HWND tip = nullptr;
        while ((tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr))) {
            bool isBalloon = (GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON) != 0;
            if (IsWindowVisible(tip) && isBalloon == balloon && !AskedText(tip).empty()) return tip;
        }
        return tip;
    };
    HWND tip = WaitFor(shown, timeoutMs);
    return tip ? Print(Utf8(AskedText(tip))) : 1;
}

int Settings() {
    AppConfig.LoadSettings();
    return Print("login=" + Utf8(AppConfig.login) + " password=" + Utf8(AppConfig.password) +
                 " autoConnect=" + std::to_string(AppConfig.autoConnect) +
                 " hideOnStart=" + std::to_string(AppConfig.hideOnStart));
}
}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    std::wstring caption = argc > 2 ? std::wstring(argv[2], argv[2] + strlen(argv[2])) : L"";
    DWORD ms = strtoul(argv[argc - 1], nullptr, 10);
    if (argc == 4 && (command == "window" || command == "exists")) return Window(caption, ms, command == "window");
    auto hidden = [&] { return !FindCaption(caption, 0, true); };
    if (argc == 4 && command == "wait-hidden") return PumpUntil(hidden, ms, 50) ? 0 : 1;
    if (argc == 4 && command == "close") return Close(caption, ms);
    HWND control = argc == 4 ? FindRole(caption, argv[3]) : nullptr;
    if (argc == 4 && command == "text") return control ? Print(Utf8(WindowText(control))) : 1;
    if (argc == 4 && command == "centre") return Centre(caption, argv[3]);
    if (argc == 2 && command == "tray-icon") return TrayIcon();
    if (argc == 3 && command == "menu") return Menu(ms);
    if (argc == 4 && command == "startup-error") return StartupError(caption, ms);
    if (argc == 3 && (command == "tooltip" || command == "balloon")) return Tooltip(command == "balloon", ms);
    if (argc == 2 && command == "settings") return Settings();
    fprintf(stderr, "probe: unknown command\n");
    return 2;
}
