#pragma once
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/TestWindows.h"

// What a control painted: 32-bit pixels, top row first, white where nothing was drawn.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    bool IsInk(int x, int y) const {
        uint32_t pixel = pixels[static_cast<size_t>(y) * width + x];
        return ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF) < 3 * 160;
    }
    int Ink(int left, int top, int right, int bottom) const {
        int count = 0;
        for (int y = top; y < std::min(bottom, height); ++y)
            for (int x = left; x < right; ++x) count += IsInk(x, y);
        return count;
    }
    int InkInRows(int top, int bottom) const { return Ink(0, top, width, bottom); }
    bool ColumnHasInk(int x) const { return Ink(x, 0, x + 1, height) > 0; }
    int RightmostInk() const {  // -1 without any ink
        int x = width - 1;
        while (x >= 0 && !ColumnHasInk(x)) --x;
        return x;
    }
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

// Counts the messages a window receives, sent or dispatched, by subclassing it.
class MessageCounter {
public:
    explicit MessageCounter(HWND window) : window_(window) {
        SetWindowSubclass(window, &MessageCounter::Receive, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageCounter() { RemoveWindowSubclass(window_, &MessageCounter::Receive, 1); }
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;
    int Count(UINT message) const { return static_cast<int>(std::count(received_.begin(), received_.end(), message)); }

private:
    static LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
        reinterpret_cast<MessageCounter*>(self)->received_.push_back(message);
        return DefSubclassProc(window, message, wParam, lParam);
    }
    HWND window_;
    std::vector<UINT> received_;
};
