#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// Filter memories and coefficients, one set per slot.
struct FilterState {};

void ResetFilters(Engine& e) noexcept;
void RunLowPass2Pole(Engine& e, int32_t slot) noexcept;
void RunLowPass1Pole(Engine& e, int32_t slot) noexcept;
void RunHighPass1Pole(Engine& e, int32_t slot) noexcept;
void RunAllPass(Engine& e, int32_t slot) noexcept;
void RunFormant(Engine& e, int32_t slot) noexcept;

} // namespace tw
