#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// The one delay line and the one reverb shared by all Delay and Reverb modules.
struct DelayState {};
struct ReverbState {};

void ResetReverb(Engine& e) noexcept;
void ResetDelay(Engine& e) noexcept;
// Zeroes the delay line; may run on the user-interface thread while audio plays.
void ClearDelayLine(Engine& e) noexcept;
void RunDelay(Engine& e, int32_t slot) noexcept;
void RunReverb(Engine& e, int32_t slot) noexcept;

} // namespace tw
