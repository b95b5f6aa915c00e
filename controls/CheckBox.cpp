#include "controls/CheckBox.h"

#include "controls/ControlFonts.h"

WindowClassInfo& CheckBox::GetWndClassInfo() {
    static WindowClassInfo info = [] {
        WindowClassInfo i;
        i.superclassOf = L"BUTTON";
        return i;
    }();
    return info;
}

UniqueFont CheckBox::MakeFont() { return CreateCaptionFont(); }
