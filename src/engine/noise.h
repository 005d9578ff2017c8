#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// The pink-noise filter shared by every Noise module. Only the audio thread touches it,
// and nothing resets it: a new project carries on from the old memories.
struct NoiseState {
    float b0 = 0.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
};

// One white-noise sample from the engine's generator: 1000 steps from -0.5 to 0.499.
float NextWhite(Engine& e) noexcept;

} // namespace tw
