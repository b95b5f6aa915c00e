#include "framework/Window.h"

#include <cwchar>

#include "framework/AppModule.h"

namespace {
// Tests create windows without initialising the module.
HINSTANCE ModuleInstance() {
    return appModule.GetModuleInstance() ? appModule.GetModuleInstance() : GetModuleHandleW(nullptr);
}
}  // namespace

CWindowImplBase::~CWindowImplBase() {
    // The object may go while its window lives (a failed creation path): cut the link.
    if (hwnd_ && ::IsWindow(hwnd_)) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
}

const wchar_t* CWindowImplBase::RegisteredName(WindowClassInfo& info) {
    if (info.name) return info.name;
    if (!info.generatedName[0]) {
        swprintf(info.generatedName, sizeof info.generatedName / sizeof info.generatedName[0], L"ATL:%p",
                 static_cast<void*>(&info));
    }
    return info.generatedName;
}

bool CWindowImplBase::Register(WindowClassInfo& info) {
    HINSTANCE instance = ModuleInstance();
    const wchar_t* name = RegisteredName(info);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (info.superclassOf) {
        // Keep everything of the system class, its extra bytes included; only the
        // procedure becomes ours, and the system one becomes the default.
        WNDCLASSEXW system{};
        system.cbSize = sizeof system;
        if (!GetClassInfoExW(nullptr, info.superclassOf, &system)) return false;
        info.superProc = system.lpfnWndProc;
        if (GetClassInfoExW(instance, name, &wc)) return true;
        wc = system;
        wc.cbSize = sizeof wc;
        wc.style &= ~CS_GLOBALCLASS;
    } else {
        if (GetClassInfoExW(instance, name, &wc)) return true;
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.style = info.style;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        if (info.iconId) {
            wc.hIcon = static_cast<HICON>(
                LoadImageW(instance, MAKEINTRESOURCEW(info.iconId), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
            wc.hIconSm = static_cast<HICON>(
                LoadImageW(instance, MAKEINTRESOURCEW(info.iconId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
        }
    }
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    wc.lpszMenuName = nullptr;
    return RegisterClassExW(&wc) != 0;
}

HWND CWindowImplBase::Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, DWORD exStyle,
                             HMENU menuOrId) {
    WindowClassInfo& info = GetWndClassInfo();
    if (!Register(info)) return nullptr;
    return CreateWindowExW(exStyle, RegisteredName(info), text, style, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent, menuOrId, ModuleInstance(), this);
}

LRESULT CWindowImplBase::DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC super = GetWndClassInfo().superProc;
    if (super) return CallWindowProcW(super, hwnd_, message, wParam, lParam);
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CWindowImplBase::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWindowImplBase* self = nullptr;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<CWindowImplBase*>(create->lpCreateParams);
        if (self) {
            self->hwnd_ = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<CWindowImplBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);

    LRESULT result = 0;
    if (!self->ProcessWindowMessage(window, message, wParam, lParam, result)) {
        result = self->DefaultProcedure(message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->OnFinalMessage(window);
    }
    return result;
}

bool CFrameWindowImplBase::ProcessWindowMessage(HWND window, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/,
                                                LRESULT& result) {
    switch (message) {
    case WM_DESTROY:
        if ((GetWindowLongW(window, GWL_STYLE) & (WS_CHILD | WS_POPUP)) == 0) PostQuitMessage(1);
        return false;  // the default procedure still sees it
    case WM_SETFOCUS:
        if (client_ && ::IsWindow(client_)) {
            SetFocus(client_);
            result = 0;
            return true;
        }
        return false;
    case WM_ERASEBKGND:
        if (client_) {
            result = 1;  // the client covers the frame: nothing to erase
            return true;
        }
        return false;
    default:
        return false;
    }
}

CDialogImplBase::~CDialogImplBase() {
    if (hwnd_ && ::IsWindow(hwnd_)) SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
}

HWND CDialogImplBase::Create(HWND parent) {
    modal_ = false;
    return CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId_), parent,
                              DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CDialogImplBase::DoModal(HWND owner) {
    modal_ = true;
    return DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId_), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogImplBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogImplBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogImplBase*>(lParam);
        if (self) {
            self->hwnd_ = window;
            SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<CDialogImplBase*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self) return FALSE;

    LRESULT result = 0;
    bool handled = self->ProcessWindowMessage(window, message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->OnFinalMessage(window);
    }
    if (!handled) return FALSE;  // default dialog processing
    switch (message) {
    // These answer through the return value itself.
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
