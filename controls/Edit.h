#pragma once
#include "controls/FontCarryingControl.h"

// The system edit control in 15-pixel Courier New.
class Edit : public FontCarryingControl {
public:
    ~Edit() override = default;

protected:
    WindowClassInfo& GetWndClassInfo() override;
    UniqueFont MakeFont() override;
};
