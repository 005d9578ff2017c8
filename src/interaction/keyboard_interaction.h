#pragma once

// The Virtual Keyboard's rules without a window: which key lies under the pointer and the
// octave buttons.
#include "model/project.h"

#include <cstdint>

namespace tw {

// Six octaves are visible: key indices 0..71 from the base note on.
inline constexpr int32_t kVisibleKeys = 72;
inline constexpr int32_t kHighestBaseNote = 48;

// The visible key under (x, y), black keys first since they lie over the white ones; -1
// when the point is on no key.
int32_t KeyAt(const Project& project, int32_t x, int32_t y);

// The "<" and ">" buttons: one octave down or up, within base notes 0 to 48.
void OctaveDown(Project& project);
void OctaveUp(Project& project);

} // namespace tw
