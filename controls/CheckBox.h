#pragma once
#include "controls/FontCarryingControl.h"

// The system button control (the view makes it a check box) in 12-pixel bold Arial.
class CheckBox : public FontCarryingControl {
public:
    ~CheckBox() override = default;

protected:
    WindowClassInfo& GetWndClassInfo() override;
    UniqueFont MakeFont() override;
};
