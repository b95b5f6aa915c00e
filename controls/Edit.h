#pragma once
#include "controls/ControlFonts.h"
#include "controls/FontCarryingControl.h"

inline constexpr wchar_t kSystemEditClass[] = L"EDIT";

// The system edit control in 15-pixel Courier New.
class Edit : public FontCarryingControl<kSystemEditClass, CreateInputFont> {};
