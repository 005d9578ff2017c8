#include "noise.h"

#include "engine/engine.h"

namespace tw {

void RunNoise(Engine&, int32_t) noexcept {}

void RunTestModule(Engine&, int32_t) noexcept {}

} // namespace tw
