#pragma once

#include "model/limits.h"
#include "model/relaxed.h"

#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kWaveLength = 2048;             // table positions per cycle
inline constexpr int32_t kWaveEntries = kWaveLength + 1; // entry 2048 repeats entry 0
inline constexpr int32_t kBandCount = 6;
// 2 pi as the oscillators have always written it.
inline constexpr float kTwoPi = 6.283184f;

// Wavetables, oscillator constants and the oscillator's own per-slot state (the phase,
// increment and last sync value live in the engine's shared SlotCells). The tables are
// rebuilt by the reset on the user-interface thread while audio may run, hence relaxed
// words.
struct OscillatorState {
    Relaxed<float> sine[kWaveEntries];
    Relaxed<float> saw[kBandCount][kWaveEntries];
    Relaxed<float> triangle[kBandCount][kWaveEntries];
    Relaxed<float> tableScale;      // table positions per radian
    Relaxed<float> radiansPerHertz; // phase increment per sample for 1 Hz
    // The pitch parameter last seen by each Oscillator; a different value recomputes the
    // increment and band. The reset sets it to -99 so the next frame recomputes.
    Relaxed<float> lastPitch[kSlotCount];
    int32_t band[kSlotCount] = {};
    // Lfo triangle direction: 1 rising, 0 falling. Kept across resets.
    uint8_t rising[kSlotCount] = {};
};

// The highest harmonic (exclusive) held by each band's saw and triangle tables.
inline constexpr int32_t kBandLimit[kBandCount] = {2, 4, 8, 14, 20, 256};

void ResetOscillators(Engine& e) noexcept;

} // namespace tw
