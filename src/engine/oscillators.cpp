#include "oscillators.h"

#include "engine/engine.h"

namespace tw {

void RunOscillator(Engine&, int32_t) noexcept {}

void RunOscillatorDriver(Engine&, int32_t) noexcept {}

void RunLfo(Engine&, int32_t) noexcept {}

void RunA440(Engine&, int32_t) noexcept {}

void ResetOscillators(Engine&) noexcept {}

} // namespace tw
