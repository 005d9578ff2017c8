#include "polywave.h"

#include "engine/engine.h"

namespace tw {

void RunPolyWave(Engine&, int32_t) noexcept {}

void ResetPolyWave(Engine&) noexcept {}

} // namespace tw
