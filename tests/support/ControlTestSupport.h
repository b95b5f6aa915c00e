#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A shown top-level window for the controls under test: only shown windows get
// update regions and paint.
class TestHost {
public:
    TestHost();
    ~TestHost() { DestroyWindow(window_); }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

// What a control painted: 32-bit pixels, top row first, white where nothing was drawn.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    bool IsInk(int x, int y) const;
    int InkInRows(int top, int bottom) const;
    bool ColumnHasInk(int x) const;
    int RightmostInk() const;  // -1 without any ink
    bool operator==(const Capture& other) const { return pixels == other.pixels; }
};

// Asks the control to paint into a memory device context through WM_PAINT's wParam.
Capture PaintIntoMemory(HWND control);

// What paints into an enhanced metafile did: the texts they drew, the fonts they
// made, the objects they deleted and the stock objects they selected back.
struct PaintRecord {
    std::vector<std::wstring> texts;
    std::vector<LONG> fontHeights;  // of every font made, in order
    bool allBoldArial = true;
    int deleted = 0;
    int stockSelected = 0;
};

// Asks the control for `paints` paints into one metafile device context through WM_PAINT's wParam.
PaintRecord RecordPaints(HWND control, int paints = 1);

// Width of `text` in `font`, with the font's metrics when asked for.
int TextWidth(HFONT font, const std::wstring& text, TEXTMETRICW* metrics = nullptr);

// Dispatches this thread's messages for about `ms` milliseconds.
void PumpMessagesFor(DWORD ms);

// Counts the messages a window receives, sent or dispatched, by subclassing it.
class MessageCounter {
public:
    explicit MessageCounter(HWND window);
    ~MessageCounter();
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;
    int Count(UINT message) const;

private:
    static LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_;
    WNDPROC original_;
    std::vector<UINT> received_;
};
