#pragma once
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "support/TestWindows.h"

// What paints into a metafile did: texts drawn (where the last one ends), fonts made, objects deleted, stock
// objects selected.
struct PaintRecord {
    std::vector<std::wstring> texts;
    int textEnd = 0, fontsMade = 0, deleted = 0, stockSelected = 0;
};

inline int CALLBACK NotePaint(HDC, HANDLETABLE*, const ENHMETARECORD* r, int, LPARAM data) {
    auto& paints = *reinterpret_cast<PaintRecord*>(data);
    if (r->iType == EMR_EXTTEXTOUTW) {
        const EMRTEXT& text = reinterpret_cast<const EMREXTTEXTOUTW*>(r)->emrtext;
        paints.texts.emplace_back(reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(r) + text.offString), text.nChars);
        auto advances = reinterpret_cast<const INT*>(reinterpret_cast<const BYTE*>(r) + text.offDx);
        paints.textEnd = text.ptlReference.x + std::accumulate(advances, advances + text.nChars, 0);
    }
    paints.fontsMade += r->iType == EMR_EXTCREATEFONTINDIRECTW;
    paints.deleted += r->iType == EMR_DELETEOBJECT;
    paints.stockSelected += r->iType == EMR_SELECTOBJECT && (reinterpret_cast<const EMRSELECTOBJECT*>(r)->ihObject & 0x80000000u);
    return 1;
}

// Asks the control for one paint into a metafile device context through WM_PAINT's wParam.
inline PaintRecord RecordPaints(HWND control) {
    HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    InvalidateRect(control, nullptr, FALSE);  // the controls paint only with an update region
    SendMessageW(control, WM_PAINT, reinterpret_cast<WPARAM>(recorder), 0);
    ValidateRect(control, nullptr);
    HENHMETAFILE recording = CloseEnhMetaFile(recorder);
    PaintRecord record;
    EnumEnhMetaFile(nullptr, recording, NotePaint, &record, nullptr);
    DeleteEnhMetaFile(recording);
    return record;
}

// The messages a window receives, sent or dispatched, noted through a subclass.
struct MessageCounter {
    explicit MessageCounter(HWND window) : window(window) { SetWindowSubclass(window, Note, 1, reinterpret_cast<DWORD_PTR>(this)); }
    ~MessageCounter() { RemoveWindowSubclass(window, Note, 1); }
    int Count(UINT message) const { return static_cast<int>(std::count(received.begin(), received.end(), message)); }
    static LRESULT CALLBACK Note(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
        reinterpret_cast<MessageCounter*>(self)->received.push_back(message);
        return DefSubclassProc(window, message, wParam, lParam);
    }
    HWND window;
    std::vector<UINT> received;
};
