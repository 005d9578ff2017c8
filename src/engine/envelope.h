#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// ADSR state per slot and the 101-entry time table.
struct EnvelopeState {
    float timeTable[101] = {};
};

// Builds the time table (0.005 s to 10 s) for the current sample rate.
void BuildTimeTable(Engine& e) noexcept;
// Every ADSR idle with level 0 and last gate 0, and the time table built.
void ResetEnvelopes(Engine& e) noexcept;
void RunAdsr(Engine& e, int32_t slot) noexcept;

} // namespace tw
