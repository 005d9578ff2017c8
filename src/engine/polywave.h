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
    alignas(64) float wavetable[kWaveTableSize] = {};
    // Working memory of the rebuild: the amplitude spectrum, which then holds the real
    // parts of the points, their imaginary parts, and the imaginary half of the inverse
    // transform (the real half is built in the wavetable itself, which ends up holding it).
    // Aligned to cache lines, so that the transform's vectors never straddle two.
    alignas(64) float spectrum[kWaveSpectrumSize] = {};
    alignas(64) float pointIm[kWaveSpectrumSize] = {};
    alignas(64) float imaginary[kWaveTableSize] = {};
    uint32_t draws[kWaveSpectrumSize] = {};
    // Made once when the engine is made: the transform's twiddles, and eight steps of the
    // random generator applied to each byte of a state (it is linear over bits, so eight
    // steps of a state are the exclusive-or of its bytes' entries).
    WaveFftTables fft;
    uint32_t eightSteps[4][256] = {};
};
static_assert(kWaveTableSize == kWaveFftSize);

// Makes the tables above; called once per engine before any rebuild.
void PreparePolyWave(PolyWaveState& s) noexcept;

// Synthesises the wavetable from the Wave and Density controls.
void RebuildWavetable(Engine& e, float wave, float density) noexcept;
void ResetPolyWave(Engine& e) noexcept;

} // namespace tw
