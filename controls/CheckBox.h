#pragma once
#include "controls/ControlFonts.h"
#include "controls/FontCarryingControl.h"

inline constexpr wchar_t kSystemButtonClass[] = L"BUTTON";

// The system button control (the view makes it a check box) in 12-pixel bold Arial.
class CheckBox : public FontCarryingControl<kSystemButtonClass, CreateCaptionFont> {};
