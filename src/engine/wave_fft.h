#pragma once

#include <cstdint>

namespace tw {

inline constexpr int32_t kWaveFftBits = 16;
inline constexpr int32_t kWaveFftSize = int32_t{1} << kWaveFftBits;

// The twiddle factors of every butterfly stage of the wavetable's inverse transform. A
// stage that combines blocks of L points walks e^(+i 2 pi j / L) from 1 by repeated
// multiplication; that walk depends only on L, so it is taken once, when the engine is
// made, and each rebuild reads the very values the walk would produce. Stage L keeps its
// L/2 factors from index L/2 - 1 on (65535 in all).
struct WaveFftTables {
    float twiddleRe[kWaveFftSize] = {};
    float twiddleIm[kWaveFftSize] = {};
    bool ready = false;
};

// Walks every stage's twiddles; called once per engine before any rebuild.
void PrepareWaveFft(WaveFftTables& tables) noexcept;

// The real part of the in-place radix-2 transform with exponent sign +1 and no scaling,
// of kWaveFftSize points whose upper half is 0: `pointRe` and `pointIm` hold the lower
// half in natural order; the real part lands in `re` (`im` is working memory, left
// holding nothing of use). Returns the largest real value, starting from 0 (so that
// nothing at or below 0 counts and a NaN never does), taken as the last stage writes.
//
// Every butterfly performs exactly the operations of the textbook loop over the
// bit-reversed input, the zeros included, so the result is the same to the bit; only
// the order in which independent butterflies run differs. The first three stages run in
// registers, straight from the points to the blocks of eight they fill, without the
// reordered input ever being written; the last computes only the real half.
float WaveRealFromLowerHalf(const WaveFftTables& tables, const float* pointRe, const float* pointIm,
                            float* re, float* im) noexcept;

// The transform uses the processor's 256-bit vectors where it has them; a test turns them
// off (and on again) to hold the portable path to the same bits.
void UseWideVectors(bool use) noexcept;

// Every value divided by `peak`, four at a time.
void DivideWave(float* values, float peak) noexcept;

} // namespace tw
