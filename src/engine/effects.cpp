#include "effects.h"

#include "engine/engine.h"

namespace tw {

void RunDelay(Engine&, int32_t) noexcept {}

void RunReverb(Engine&, int32_t) noexcept {}

void ResetReverb(Engine&) noexcept {}

void ResetDelay(Engine&) noexcept {}

void ClearDelayLine(Engine&) noexcept {}

} // namespace tw
