#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// The one PolyWave engine: wavetable, note envelopes and its working buffers.
struct PolyWaveState {};

void ResetPolyWave(Engine& e) noexcept;
void RunPolyWave(Engine& e, int32_t slot) noexcept;

} // namespace tw
