// What the scenario scripts ask of the running program, from another Wine
// process (xdotool cannot see inside Wine's virtual desktop):
//   probe window <caption> <timeoutMs>              waits for a visible top-level window; prints its state
//   probe exists <caption> <timeoutMs>              the same, shown or hidden
//   probe wait-hidden <caption> <timeoutMs>         waits until it is hidden (or gone)
//   probe close <caption> <timeoutMs>               the tray's "exit" for it; waits for its process to end
//   probe list                                      the captions of all top-level windows
//   probe wait-text <caption> <role> <expected> <ms> waits until a control shows the expected text
//   probe centre <caption> <role>                   screen point at the middle of a control
//   probe tray-icons                                screen rectangles of the notification-area icons
//   probe startup-error <timeoutMs>                 waits for the start-up failure box; prints its
//                                                   text and "ok X Y", the centre of its button
//   probe text <caption> <role>                     the control's text now
//   probe tooltip <timeoutMs>                       the text of the tool tip on screen
//   probe balloon <timeoutMs>                       the balloon on screen: its title, then its text
//   probe menu <timeoutMs>                          the open pop-up menu's screen rectangle
//   probe settings                                  the stored settings, as the program loads them
// Roles: closebox, button, refresh, autoconnect, hideonstart, login, password, state, progress.
// What they may be expected to show (arguments stay ASCII, so no
// locale stands between the script and the program's Russian texts):
//   button connect|disconnect, state connected|disconnected, progress <state number>|empty
// Output is UTF-8.
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/AppConfig.h"
#include "support/TestWindows.h"

namespace {
std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const char* utf8) {
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &out[0], size);
    return out;
}

// Raw bytes to stdout: the console code page must not touch the UTF-8.
void Print(const std::string& line) {
    std::string text = line + "\n";
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
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

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> Descendants(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// The control a role names, found by its id or by where the view puts it.
HWND FindRole(HWND frame, const std::string& role) {
    struct ById {
        const char* role;
        int id;
    };
    static const ById byId[] = {{"button", 1000}, {"refresh", 1008}, {"autoconnect", 1124}, {"hideonstart", 1125}};
    struct ByPlace {
        const char* role;
        LONG left, top;
    };
    static const ByPlace byPlace[] = {{"state", 5, 75}, {"progress", 5, 87}, {"login", 55, 140}, {"password", 55, 165}};
    for (HWND child : Descendants(frame)) {
        for (const ById& r : byId) {
            if (role == r.role && GetDlgCtrlID(child) == r.id) return child;
        }
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
        for (const ByPlace& r : byPlace) {
            if (role == r.role && rect.left == r.left && rect.top == r.top) return child;
        }
    }
    return nullptr;
}

// The centre of a control (or of the frame's close box) on the screen, for a real click.
int Centre(const std::wstring& caption, const std::string& role) {
    HWND frame = FindCaption(caption);
    if (!frame) return 1;
    RECT rect{};
    if (role == "closebox") {
        // The right-most caption button, inside the fixed frame border.
        GetWindowRect(frame, &rect);
        int border = GetSystemMetrics(SM_CXFIXEDFRAME);
        int button = GetSystemMetrics(SM_CXSIZE);
        rect = RECT{rect.right - border - button, rect.top + border, rect.right - border,
                    rect.top + border + GetSystemMetrics(SM_CYSIZE)};
    } else {
        HWND control = FindRole(frame, role);
        if (!control) return 1;
        GetWindowRect(control, &rect);
    }
    Print(std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2));
    return 0;
}

std::string Describe(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    char line[160];
    snprintf(line, sizeof line, "visible=%d iconic=%d foreground=%d rect=%ld,%ld,%ld,%ld",
             IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0, GetForegroundWindow() == window ? 1 : 0,
             rect.left, rect.top, rect.right, rect.bottom);
    return line;
}

// Waits for the window, shown or (when asked) in any state, and prints its state.
int Window(const std::wstring& caption, DWORD timeoutMs, bool shownOnly) {
    HWND window = nullptr;
    if (!PumpUntil([&] { return (window = FindCaption(caption, 0, shownOnly)) != nullptr; }, timeoutMs, 50)) return 1;
    Print(Describe(window));
    return 0;
}

int WaitHidden(const std::wstring& caption, DWORD timeoutMs) {
    return PumpUntil([&] { return !FindCaption(caption, 0, true); }, timeoutMs, 50) ? 0 : 1;
}

// The text a role shows for an expectation, and whether it must be the whole text.
bool ExpectedText(const std::string& role, const std::string& expected, std::wstring& text, bool& whole) {
    whole = true;
    if (role == "button" && expected == "connect") text = L"Подключиться";
    else if (role == "button" && expected == "disconnect") text = L"Отключиться";
    else if (role == "state" && expected == "connected") text = L"Соединено";
    else if (role == "state" && expected == "disconnected") text = L"Не соединено";
    else if (role == "progress" && expected == "empty") text = L"";
    else if (role == "progress") {
        text = L"Код состояния: " + Wide(expected.c_str()) + L"\n";
        whole = false;
    } else {
        return false;
    }
    return true;
}

int WaitText(const std::wstring& caption, const std::string& role, const std::string& expected, DWORD timeoutMs) {
    std::wstring text;
    bool whole = true;
    if (!ExpectedText(role, expected, text, whole)) return 2;
    std::wstring last;
    auto shows = [&] {
        HWND frame = FindCaption(caption);
        HWND control = frame ? FindRole(frame, role) : nullptr;
        if (control) last = WindowText(control);
        return control && (whole ? last == text : last.compare(0, text.size(), text) == 0);
    };
    if (PumpUntil(shows, timeoutMs, 50)) return 0;
    std::string shown = Utf8(last);
    for (char& c : shown) {
        if (c == '\n') c = '|';
    }
    Print(role + " shows: " + shown);
    return 1;
}

int TrayIcons() {
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!tray || !IsWindowVisible(tray)) return 1;
    auto printRect = [](const RECT& rect) {
        char line[80];
        snprintf(line, sizeof line, "%ld %ld %ld %ld", rect.left, rect.top, rect.right, rect.bottom);
        Print(line);
    };
    bool any = false;
    for (HWND child : Descendants(tray)) {
        if (ClassOf(child) != L"__wine_tray_icon" || !IsWindowVisible(child)) continue;
        RECT rect{};
        GetWindowRect(child, &rect);
        printRect(rect);
        any = true;
    }
    if (!any) {
        // This Wine paints the icons into the task bar itself, from its right
        // end, each in a cell of the small-icon size plus a 2-pixel border.
        RECT bar{};
        GetWindowRect(tray, &bar);
        int cell = GetSystemMetrics(SM_CXSMICON) + 4;
        printRect(RECT{bar.right - cell, bar.top, bar.right, bar.bottom});
    }
    return 0;
}

// The open pop-up menu's screen rectangle, waiting up to timeoutMs for it.
int Menu(DWORD timeoutMs) {
    HWND menu = nullptr;
    auto shown = [&] {
        for (menu = nullptr; (menu = FindWindowExW(nullptr, menu, L"#32768", nullptr)) && !IsWindowVisible(menu);) {
        }
        return menu != nullptr;
    };
    if (!PumpUntil(shown, timeoutMs, 50)) return 1;
    RECT rect{};
    GetWindowRect(menu, &rect);
    char line[80];
    snprintf(line, sizeof line, "%ld %ld %ld %ld", rect.left, rect.top, rect.right, rect.bottom);
    Print(line);
    return 0;
}

// Posts the tray's "exit" (WM_CLOSE with wParam 1) to the window and waits for its process to end.
int Close(const std::wstring& caption, DWORD timeoutMs) {
    HWND window = FindCaption(caption);
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

BOOL CALLBACK PrintCaption(HWND window, LPARAM) {
    std::wstring caption = WindowText(window);
    if (!caption.empty()) Print(Utf8(caption) + (IsWindowVisible(window) ? "" : " (hidden)"));
    return TRUE;
}

// The start-up failure's message box: prints its message, then "ok X Y", the
// centre of its button.
int StartupError(DWORD timeoutMs) {
    // Only a shown box stands where it will stay: it is centred before it shows.
    HWND box = nullptr;
    if (!PumpUntil([&] { return (box = FindCaption(L"Ошибка инициализации приложения", 0, true)) != nullptr; },
                   timeoutMs, 50)) {
        return 1;
    }
    for (HWND child : Descendants(box)) {
        if (ClassOf(child) == L"Static" && !WindowText(child).empty()) Print(Utf8(WindowText(child)));
    }
    if (HWND ok = GetDlgItem(box, IDOK)) {
        RECT rect{};
        GetWindowRect(ok, &rect);
        Print("ok " + std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2));
    }
    return 0;
}

// The text of a control, as it is now.
int Text(const std::wstring& caption, const std::string& role) {
    HWND frame = FindCaption(caption);
    HWND control = frame ? FindRole(frame, role) : nullptr;
    if (!control) return 1;
    Print(Utf8(WindowText(control)));
    return 0;
}

// A window of another process answers GetWindowTextW from its stored caption;
// a tip tells what it shows only when asked with WM_GETTEXT itself.
std::wstring AskedText(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &copied);
    return text;
}

struct ShownTip {
    bool balloon;  // a balloon from the tray, else an ordinary tip
    HWND window;
};

BOOL CALLBACK FindShownTip(HWND window, LPARAM param) {
    auto* tip = reinterpret_cast<ShownTip*>(param);
    bool balloon = (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) != 0;
    if (IsWindowVisible(window) && ClassOf(window) == L"tooltips_class32" && balloon == tip->balloon &&
        !AskedText(window).empty()) {
        tip->window = window;
        return FALSE;
    }
    return TRUE;
}

// Wine's tool tip answers no TTM_GETTITLE: its title is read from the data the
// window's first extra bytes point to in the shell's process (TOOLTIPS_INFO of
// dlls/comctl32/tooltips.c as Wine 8 lays it out), as far as the title's field.
struct WineTipData {
    HWND self;
    wchar_t text[1024];
    BOOL active, trackActive;
    UINT toolCount;
    COLORREF background, foreground;
    HFONT font, titleFont;
    INT trackX, trackY, maxWidth, tool, currentTool, trackTool, reshowTime, autoPopTime, initialTime;
    RECT margin;
    BOOL toolBelow;
    const wchar_t* title;
};

std::wstring BalloonTitle(HWND balloon) {
    DWORD processId = 0;
    GetWindowThreadProcessId(balloon, &processId);
    HANDLE shell = OpenProcess(PROCESS_VM_READ, FALSE, processId);
    if (!shell) return L"(the shell cannot be read)";
    WineTipData data{};
    wchar_t title[64] = {};
    auto address = reinterpret_cast<const void*>(GetWindowLongPtrW(balloon, 0));
    // Data that names another window is not the balloon's; a layout other than
    // the one above shows as a wrong title.
    bool read = ReadProcessMemory(shell, address, &data, sizeof data, nullptr) && data.self == balloon &&
                data.title && ReadProcessMemory(shell, data.title, title, sizeof title - sizeof(wchar_t), nullptr);
    CloseHandle(shell);
    return read ? title : L"(no title read)";
}

// The tool tip (or the balloon) on screen, waiting up to timeoutMs: its text (a
// tip answers WM_GETTEXT with what it shows), after the title for a balloon.
int Tooltip(bool balloon, DWORD timeoutMs) {
    ShownTip tip{balloon, nullptr};
    auto shown = [&] {
        EnumWindows(FindShownTip, reinterpret_cast<LPARAM>(&tip));
        return tip.window != nullptr;
    };
    if (!PumpUntil(shown, timeoutMs, 50)) return 1;
    if (balloon) Print(Utf8(BalloonTitle(tip.window)));
    Print(Utf8(AskedText(tip.window)));
    return 0;
}

int Settings() {
    AppConfig.LoadSettings();
    Print("login=" + Utf8(AppConfig.login));
    Print("password=" + Utf8(AppConfig.password));
    Print("autoConnect=" + std::to_string(AppConfig.autoConnect));
    Print("hideOnStart=" + std::to_string(AppConfig.hideOnStart));
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n" for the scripts
    if (command == "window" && argc == 4) return Window(Wide(argv[2]), strtoul(argv[3], nullptr, 10), true);
    if (command == "exists" && argc == 4) return Window(Wide(argv[2]), strtoul(argv[3], nullptr, 10), false);
    if (command == "wait-hidden" && argc == 4) return WaitHidden(Wide(argv[2]), strtoul(argv[3], nullptr, 10));
    if (command == "wait-text" && argc == 6)
        return WaitText(Wide(argv[2]), argv[3], argv[4], strtoul(argv[5], nullptr, 10));
    if (command == "centre" && argc == 4) return Centre(Wide(argv[2]), argv[3]);
    if (command == "tray-icons" && argc == 2) return TrayIcons();
    if (command == "settings" && argc == 2) return Settings();
    if (command == "text" && argc == 4) return Text(Wide(argv[2]), argv[3]);
    if (command == "tooltip" && argc == 3) return Tooltip(false, strtoul(argv[2], nullptr, 10));
    if (command == "balloon" && argc == 3) return Tooltip(true, strtoul(argv[2], nullptr, 10));
    if (command == "close" && argc == 4) return Close(Wide(argv[2]), strtoul(argv[3], nullptr, 10));
    if (command == "list" && argc == 2) return EnumWindows(PrintCaption, 0) ? 0 : 1;
    if (command == "menu" && argc == 3) return Menu(strtoul(argv[2], nullptr, 10));
    if (command == "startup-error" && argc == 3) return StartupError(strtoul(argv[2], nullptr, 10));
    fprintf(stderr, "probe: unknown command\n");
    return 2;
}
