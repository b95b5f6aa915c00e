#include "controls/ControlFonts.h"

UniqueFont CreateInputFont() {
    return UniqueFont(CreateFontW(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, L"Courier New"));
}

UniqueFont CreateCaptionFont() { return CreateBoldArial(12); }

UniqueFont CreateBoldArial(int height) {
    return UniqueFont(CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, 0, 0, 0, 0, L"Arial"));
}
