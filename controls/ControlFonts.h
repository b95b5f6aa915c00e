#pragma once
#include "framework/UniqueHandle.h"

// The two fonts the controls draw with; every other CreateFontW argument is zero.
UniqueFont CreateInputFont();    // 15-pixel normal "Courier New", for text input
UniqueFont CreateCaptionFont();  // 12-pixel bold "Arial", for captions and labels
UniqueFont CreateBoldArial(int height);
