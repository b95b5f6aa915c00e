#include "controls/Edit.h"

#include "controls/ControlFonts.h"

WindowClassInfo& Edit::GetWndClassInfo() {
    static WindowClassInfo info = [] {
        WindowClassInfo i;
        i.superclassOf = L"EDIT";
        return i;
    }();
    return info;
}

UniqueFont Edit::MakeFont() { return CreateInputFont(); }
