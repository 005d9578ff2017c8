#pragma once

// The pictures of a skin folder, by file name. Skin folders are searched for them without
// regard to letter case.
#include "model/limits.h"

#include <array>

namespace tw {

// The control strips, by image type: each a vertical strip of square frames.
inline constexpr std::array<const char*, kSkinImageCount> kSkinImageFiles = {
    "Knob_0to10.bmp", "Knob_0to100.bmp",  "Knob_Plus_Minus.bmp", "Knob_1234.bmp",
    "Knob_Wave.bmp",  "Switch_OnOff.bmp", "LED_Red.bmp"};

// The Gui Editor's background.
inline constexpr const char* kSkinBackgroundFile = "Background.bmp";

} // namespace tw
