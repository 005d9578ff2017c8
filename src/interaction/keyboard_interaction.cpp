#include "interaction/keyboard_interaction.h"

#include <algorithm>

namespace tw {

namespace {

constexpr bool IsBlack(int32_t index) {
    switch (index % 12) {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
        return true;
    default:
        return false;
    }
}

bool Hits(const KeyRecord& key, int32_t x, int32_t y) {
    return key.left <= x && x < key.right && key.top < y && y < key.bottom;
}

} // namespace

int32_t KeyAt(const Project& project, int32_t x, int32_t y) {
    for (const bool black : {true, false}) {
        for (int32_t i = 0; i < kVisibleKeys; ++i) {
            if (IsBlack(i) == black && Hits(project.keys[i], x, y)) return i;
        }
    }
    return kNone;
}

void OctaveDown(Project& project) {
    project.baseNote = std::clamp(project.baseNote - 12, 0, kHighestBaseNote);
}

void OctaveUp(Project& project) {
    project.baseNote = std::clamp(project.baseNote + 12, 0, kHighestBaseNote);
}

} // namespace tw
