#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// The shared pink-noise filter.
struct NoiseState {};

void RunNoise(Engine& e, int32_t slot) noexcept;
void RunTestModule(Engine& e, int32_t slot) noexcept;

} // namespace tw
