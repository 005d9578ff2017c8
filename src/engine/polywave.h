#pragma once

#include "engine/wave_fft.h"
#include "model/limits.h"
#include "model/relaxed.h"

#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kWaveTableSize = 65536;
inline constexpr int32_t kWaveSpectrumSize = kWaveTableSize / 2;
inline constexpr int32_t kWaveHarmonics = 10; // amplitude 0 is never used
inline constexpr int32_t kPolyWaveLowNote = 24;
inline constexpr int32_t kPolyWaveHighNote = 96;
inline constexpr int32_t kPolyWaveNotes = 128;
static_assert(kPolyWaveNotes % 64 == 0);

enum PolyWaveStage : int32_t {
    kPadIdle = 0,
    kPadAttack = 1,
    kPadDecay = 2,
    kPadSustain = 3,
    kPadRelease = 4,
};

// The one PolyWave engine shared by every PolyWave module: wavetable, note envelopes and
// the rebuild's working memory. The rebuild runs in the audio callback, so its buffers
// live here, allocated with the engine, and nothing is allocated when it runs.
struct PolyWaveState {
    // Set by the engine reset (on the user-interface thread): relaxed words.
    Relaxed<float> envelopeScale; // 4 x fs: a full linear segment takes 4 x time seconds
    Relaxed<float> stepScale;     // 65536 / fs x 100
    Relaxed<int32_t> active[kPolyWaveNotes];
    Relaxed<int32_t> stage[kPolyWaveNotes];
    Relaxed<float> level[kPolyWaveNotes];

    // Audio thread only.
    float forward[kPolyWaveNotes] = {};
    float backward[kPolyWaveNotes] = {};
    float step[kPolyWaveNotes] = {};
    int32_t lastGate[kPolyWaveNotes] = {};
    // The notes that may be active, a bit each, and the gate change count at the last
    // scan of every gate: while the count stands, only these notes need a visit.
    uint64_t activeMask[kPolyWaveNotes / 64] = {};
    uint32_t scannedGateChanges = ~0u;
    float leftSum = 0.0f;
    float rightSum = 0.0f;
    float amplitudes[kWaveHarmonics] = {};
    float wavetable[kWaveTableSize] = {};
    // Working memory of the rebuild: the amplitude spectrum, and the imaginary half of
    // the inverse transform (the real half is built in the wavetable itself, which ends
    // up holding it).
    float spectrum[kWaveSpectrumSize] = {};
    float imaginary[kWaveTableSize] = {};
    // The transform's twiddles, walked once when the engine is made.
    WaveFftTables fft;
};
static_assert(kWaveTableSize == kWaveFftSize);

// Synthesises the wavetable from the Wave and Density controls.
void RebuildWavetable(Engine& e, float wave, float density) noexcept;
void ResetPolyWave(Engine& e) noexcept;

} // namespace tw
