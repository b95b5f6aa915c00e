#pragma once
#include <windows.h>

#include "framework/UniqueHandle.h"

// How a window class is registered: one static record per C++ window class.
// A class of the program's own gets the window background and the arrow cursor.
struct WindowClassInfo {
    const wchar_t* name = nullptr;          // null: registered as "ATL:%p" of the record's address
    UINT style = 0;
    WORD iconId = 0;                        // program icon resource, 0 for none
    const wchar_t* superclassOf = nullptr;  // system class whose behaviour we keep

    WNDPROC superProc = nullptr;  // the kept system procedure, found at registration
    wchar_t generatedName[24] = {};
};

// Base of every window the program implements: one message map per class,
// `this` kept in GWLP_USERDATA from WM_NCCREATE to WM_NCDESTROY.
class CWindowImplBase {
public:
    CWindowImplBase() = default;
    CWindowImplBase(const CWindowImplBase&) = delete;
    CWindowImplBase& operator=(const CWindowImplBase&) = delete;

    // The message map: true when the message was answered, with its result.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;
    virtual ~CWindowImplBase();
    // Called once, after the window has received its last message.
    virtual void OnFinalMessage(HWND /*window*/) {}

    HWND Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, DWORD exStyle = 0,
                HMENU menuOrId = nullptr);
    HWND Handle() const { return hwnd_; }
    bool IsWindow() const { return hwnd_ && ::IsWindow(hwnd_); }

    // Messages the map leaves go here: DefWindowProcW, or the superclassed system procedure.
    LRESULT DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual WindowClassInfo& GetWndClassInfo() = 0;

    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static const wchar_t* RegisteredName(WindowClassInfo& info);
    static bool Register(WindowClassInfo& info);
};

// Top-level frame: quits the loop when destroyed, hands the focus to its client.
class CFrameWindowImplBase : public CWindowImplBase {
public:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
    HWND Client() const { return client_; }

protected:
    HWND client_ = nullptr;
    HACCEL accelerators_ = nullptr;  // a resource: freed with the module
};

// Dialog from a template: `this` in DWLP_USER from WM_INITDIALOG on.
class CDialogImplBase {
public:
    explicit CDialogImplBase(WORD templateId) : templateId_(templateId) {}
    CDialogImplBase(const CDialogImplBase&) = delete;
    CDialogImplBase& operator=(const CDialogImplBase&) = delete;

    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;
    virtual ~CDialogImplBase();
    virtual void OnFinalMessage(HWND /*window*/) {}

    HWND Create(HWND parent);        // modeless
    INT_PTR DoModal(HWND owner);     // modal
    HWND Handle() const { return hwnd_; }

protected:
    HWND hwnd_ = nullptr;
    bool modal_ = false;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    WORD templateId_;
};

// WM_PAINT of a window that draws itself through its one `Paint(dc, client)`:
// into the device context given in wParam when there is one, else between
// BeginPaint and EndPaint. 0 when there is nothing to update.
template <typename Painter>
LRESULT PaintClient(Painter& painter, HWND window, HDC given) {
    if (!GetUpdateRect(window, nullptr, FALSE)) return 0;
    PaintGuard guard(window, given);
    RECT client{};
    GetClientRect(window, &client);
    painter.Paint(guard.dc(), client);
    return 1;
}

// Forces an immediate full repaint, background included.
inline void RedrawNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}
