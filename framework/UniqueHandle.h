#pragma once
#include <windows.h>
#include <cstdio>
#include <utility>

// One owner for every kind of handle: move-only, released exactly once.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type value) : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Type get() const { return value_; }
    bool valid() const { return value_ != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }

    Type release() {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }
    // Releases the held handle; true when there was none or its release succeeded.
    bool reset(Type value = Traits::Invalid()) {
        bool ok = true;
        if (value_ != Traits::Invalid()) ok = Traits::Close(value_);
        value_ = value;
        return ok;
    }

private:
    Type value_ = Traits::Invalid();
};

struct FontTraits {
    using Type = HFONT;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return DeleteObject(h) != FALSE; }
};
struct IconTraits {  // for icons the program loaded or created itself
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return DestroyIcon(h) != FALSE; }
};
struct KeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return DestroyMenu(h) != FALSE; }
};
struct FileTraits {
    using Type = FILE*;
    static Type Invalid() { return nullptr; }
    static bool Close(Type f) { return fclose(f) == 0; }
};
struct FileHandleTraits {  // CreateFile's handles
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type file) { return CloseHandle(file) != FALSE; }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return DeleteObject(h) != FALSE; }
};

using UniqueFont = UniqueHandle<FontTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueKey = UniqueHandle<KeyTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;

// Selects an object into a device context and puts the previous one back.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectObjectGuard() { SelectObject(dc_, previous_); }
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint/EndPaint, or the device context a caller handed in (WM_PAINT's wParam).
class PaintGuard {
public:
    PaintGuard(HWND window, HDC given) : window_(window), dc_(given) {
        if (!dc_) {
            dc_ = BeginPaint(window_, &paint_);
            began_ = true;
        }
    }
    ~PaintGuard() {
        if (began_) EndPaint(window_, &paint_);
    }
    PaintGuard(const PaintGuard&) = delete;
    PaintGuard& operator=(const PaintGuard&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    PAINTSTRUCT paint_{};
    bool began_ = false;
};

// GetDC/ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};
