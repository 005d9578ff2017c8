#pragma once

#include "model/limits.h"
#include "model/relaxed.h"

#include <cstdint>

namespace tw {

// One capture holds 101 consecutive samples; the canvas draws the first 100.
inline constexpr int32_t kScopeLength = 101;

// Oscilloscope capture per slot. The audio thread writes the buffer while the canvas
// reads it. The trigger's last-seen input is the slot's shared lastSeen cell.
struct UtilityState {
    Relaxed<float> scope[kSlotCount][kScopeLength];
    int32_t scopeCount[kSlotCount] = {};
    uint8_t scopeCapturing[kSlotCount] = {};
};

} // namespace tw
