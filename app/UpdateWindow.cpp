#include "app/UpdateWindow.h"

#include <commctrl.h>

#include "framework/Messages.h"
#include "res/resource.h"
#include "update/BuiltInUpdateKey.h"

namespace {
constexpr wchar_t kCheckingText[] = L"Проверка обновлений…";
constexpr UINT kAppearTimerId = 1;
constexpr UINT kProgressTimerId = 2;
constexpr UINT kProgressTimerMs = 100;
constexpr int kClientWidth = 340;
constexpr int kClientHeight = 112;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 26;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                 int height, int id) {
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

std::wstring Kilobytes(unsigned long bytes) { return std::to_wstring(bytes / 1024); }
}  // namespace

int CheckForUpdateShown() {
    UpdateCheck check(kBuiltInUpdateKey);
    CUpdateWindow window(check);
    HWND handle = window.CreateHidden();
    check.Start(handle);
    if (!handle) return check.Finish();
    bool sessionEnded = false;
    MSG msg;
    while (!window.Ended()) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {  // WM_QUIT: the program is to end; the check stops short
            sessionEnded = true;
            check.Cancel();
            break;
        }
        if (got == -1 || IsDialogMessageW(handle, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Gone before a message box or the frame can appear, and before a new copy
    // starts (which would otherwise find this window and end).
    DestroyWindow(handle);
    int result = check.Finish();
    return sessionEnded && result == 1 ? 2 : result;
}

CUpdateWindow::~CUpdateWindow() {
    if (IsWindow()) DestroyWindow(hwnd_);
}

WindowClassInfo& CUpdateWindow::GetWndClassInfo() {
    static WindowClassInfo info{kUpdateWindowClassName, 0, IDR_MAINFRAME};
    return info;
}

HWND CUpdateWindow::CreateHidden() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    RECT rect{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&rect, kStyle, FALSE, kExStyle);
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const int left = workArea.left + (workArea.right - workArea.left - width) / 2;
    const int top = workArea.top + (workArea.bottom - workArea.top - height) / 2;
    return Create(nullptr, RECT{left, top, left + width, top + height}, L"Обновление kelda_tx", kStyle, kExStyle);
}

void CUpdateWindow::CreateControls() {
    const int inner = kClientWidth - 2 * kMargin;
    shownText_ = kCheckingText;
    // The text line's id as a dialog template stores IDC_STATIC.
    text_ = CreateChild(hwnd_, L"STATIC", kCheckingText, SS_LEFT | SS_NOPREFIX, kMargin, kMargin, inner, 18,
                        static_cast<WORD>(IDC_STATIC));
    bar_ = CreateChild(hwnd_, PROGRESS_CLASSW, L"", 0, kMargin, kMargin + 24, inner, 18, 0);
    cancel_ = CreateChild(hwnd_, L"BUTTON", L"Отмена", WS_TABSTOP | BS_DEFPUSHBUTTON,
                          kClientWidth - kMargin - kButtonWidth, kClientHeight - kMargin - kButtonHeight,
                          kButtonWidth, kButtonHeight, IDCANCEL);
}

void CUpdateWindow::Appear() {
    if (IsWindowVisible(hwnd_)) return;
    KillTimer(hwnd_, kAppearTimerId);
    ShowProgress();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetFocus(cancel_);
    SetTimer(hwnd_, kProgressTimerId, kProgressTimerMs, nullptr);
}

// "Загрузка обновления: N КБ из M КБ" once the archive comes, M when its length is known.
void CUpdateWindow::ShowProgress() {
    if (check_.Stage() == UpdateStage::Manifest) return;
    const unsigned long received = check_.Progress().received, expected = check_.Progress().expected;
    std::wstring text = L"Загрузка обновления: " + Kilobytes(received) + L" КБ";
    if (expected) text += L" из " + Kilobytes(expected) + L" КБ";
    if (text != shownText_) {
        SetWindowTextW(text_, text.c_str());
        shownText_ = text;
    }
    if (expected) {
        SendMessageW(bar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(expected / 1024));
        SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(received / 1024), 0);
    }
}

bool CUpdateWindow::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/,
                                         LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_CREATE:
        hwnd_ = window;
        CreateControls();
        SetTimer(window, kAppearTimerId, kUpdateWindowDelayMs, nullptr);
        return true;
    case WM_TIMER:
        if (wParam == kAppearTimerId) Appear();
        if (wParam == kProgressTimerId) ShowProgress();
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return false;
        [[fallthrough]];
    case WM_CLOSE:  // the caption's close box cancels too; the window goes only with the check
        check_.Cancel();
        EnableWindow(cancel_, FALSE);
        return true;
    case WM_BRING_TO_FRONT:  // a second start of the program
        Appear();
        SetForegroundWindow(window);
        result = 1;
        return true;
    case WM_CTLCOLORSTATIC:  // the text on the window's own background
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        return true;
    case WM_UPDATE_CHECKED:
        ended_ = true;
        return true;
    case WM_DESTROY:
        KillTimer(window, kAppearTimerId);
        KillTimer(window, kProgressTimerId);
        return false;
    default:
        return false;
    }
}
