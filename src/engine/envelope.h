#pragma once

#include "model/limits.h"
#include "model/relaxed.h"

#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kTimeTableSize = 101;

enum AdsrStage : int32_t {
    kAdsrIdle = 0,
    kAdsrAttack = 1,
    kAdsrDecay = 2,
    kAdsrSustain = 3,
    kAdsrRelease = 4,
};

// Every envelope segment runs towards this level and ends when it falls below it.
inline constexpr float kSegmentEnd = 0.001f;

// ADSR state per slot and the 101-entry time table. The reset writes them on the
// user-interface thread while the audio thread may run, so every word is relaxed.
struct EnvelopeState {
    float timeTable[kTimeTableSize] = {};
    Relaxed<int32_t> stage[kSlotCount];
    Relaxed<float> level[kSlotCount];
    Relaxed<float> rate[kSlotCount];
    Relaxed<float> lastGate[kSlotCount];
};

// Builds the time table (0.005 s to 10 s) for the current sample rate.
void BuildTimeTable(Engine& e) noexcept;
// The time-table entry a 0-to-1 control value selects: x * 100 truncated, formed in
// double like the Lfo's rate index, and kept inside the table (NaN selects entry 0).
int32_t TimeTableIndex(float x) noexcept;
// Every ADSR idle with level 0 and last gate 0, and the time table built.
void ResetEnvelopes(Engine& e) noexcept;

} // namespace tw
