#pragma once

#include "model/limits.h"
#include "model/relaxed.h"

#include <atomic>
#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kFormantMemories = 10;
inline constexpr int32_t kFormantCoefficients = 11;
inline constexpr int32_t kFormantRows = 5;

// The five vowel responses the Formant filter morphs between, row 0 to row 4.
extern const double kFormantTable[kFormantRows][kFormantCoefficients];

static_assert(std::atomic<double>::is_always_lock_free);

// Filter memories and coefficients, one set per slot. The engine reset clears them on
// the user-interface thread while the audio thread may run, so every word is relaxed.
struct FilterState {
    // 2 Pole Low Pass: the two stages and the feedback amount of the last frame.
    Relaxed<float> lp2Stage0[kSlotCount];
    Relaxed<float> lp2Stage1[kSlotCount];
    Relaxed<float> lp2Feedback[kSlotCount];
    // 1 Pole Low Pass and 1 Pole High Pass keep separate sets.
    Relaxed<float> lpA0[kSlotCount];
    Relaxed<float> lpB1[kSlotCount];
    Relaxed<float> lpY[kSlotCount];
    Relaxed<float> hpA0[kSlotCount];
    Relaxed<float> hpB1[kSlotCount];
    Relaxed<float> hpY[kSlotCount];
    // All Pass Filter.
    Relaxed<float> allPassZ[kSlotCount];
    // Formant: the filter's ten past results (newest first) and the last output, kept in
    // double precision because the tenth-order recursion is too sensitive for floats.
    Relaxed<double> formantMemory[kSlotCount][kFormantMemories];
    Relaxed<double> formantResult[kSlotCount];
};

void ResetFilters(Engine& e) noexcept;

} // namespace tw
