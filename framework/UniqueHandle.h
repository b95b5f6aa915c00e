#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <type_traits>

// One move-only owner for every kind of handle: `Close` releases it exactly
// once. `Invalid` is the value that holds nothing, as a number (pointers and
// handles alike): 0, or -1 for INVALID_HANDLE_VALUE and INVALID_SOCKET. Close
// reports success as nonzero, or returns nothing.
template <typename T, auto Close, std::intptr_t Invalid = 0>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != None(); }

    T release() {
        T value = value_;
        value_ = None();
        return value;
    }
    // Releases the held handle; true when there was none or its release succeeded.
    bool reset(T value = None()) {
        T held = value_;
        value_ = value;
        if (held == None()) return true;
        if constexpr (std::is_void_v<decltype(Close(held))>) {
            Close(held);
            return true;
        } else {
            return Close(held) != 0;
        }
    }
    // For a call that hands a new handle out through a pointer (and leaves none
    // there when it fails): releases the held one first.
    T* put() {
        reset();
        return &value_;
    }

private:
    static T None() {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<T>(Invalid);
        } else {
            return static_cast<T>(Invalid);
        }
    }

    T value_ = None();
};

// The release calls that report success with 0, made to say true instead.
inline bool CloseKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
inline bool CloseFile(FILE* file) { return std::fclose(file) == 0; }

using UniqueFont = UniqueHandle<HFONT, DeleteObject>;
using UniqueIcon = UniqueHandle<HICON, DestroyIcon>;  // for icons the program loaded or created itself
using UniqueMenu = UniqueHandle<HMENU, DestroyMenu>;
using UniqueKey = UniqueHandle<HKEY, CloseKey>;
using UniqueFile = UniqueHandle<FILE*, CloseFile>;
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseHandle>;       // a process, a thread, a mutex
using UniqueFileHandle = UniqueHandle<HANDLE, CloseHandle, -1>;     // CreateFile's, INVALID_HANDLE_VALUE for none

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
