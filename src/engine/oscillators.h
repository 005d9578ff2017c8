#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// Wavetables, oscillator constants and per-slot oscillator state.
struct OscillatorState {};

void ResetOscillators(Engine& e) noexcept;
void RunOscillator(Engine& e, int32_t slot) noexcept;
void RunOscillatorDriver(Engine& e, int32_t slot) noexcept;
void RunLfo(Engine& e, int32_t slot) noexcept;
void RunA440(Engine& e, int32_t slot) noexcept;

} // namespace tw
