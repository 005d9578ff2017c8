#include "filters.h"

#include "engine/engine.h"

namespace tw {

void RunLowPass2Pole(Engine&, int32_t) noexcept {}

void RunLowPass1Pole(Engine&, int32_t) noexcept {}

void RunHighPass1Pole(Engine&, int32_t) noexcept {}

void RunAllPass(Engine&, int32_t) noexcept {}

void RunFormant(Engine&, int32_t) noexcept {}

void ResetFilters(Engine&) noexcept {}

} // namespace tw
