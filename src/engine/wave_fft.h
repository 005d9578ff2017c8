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

// Where input point `i` lands after the transform's bit-reversal reordering.
inline int32_t BitReversed(int32_t i) noexcept {
    uint32_t v = static_cast<uint32_t>(i);
    v = ((v >> 1) & 0x5555u) | ((v & 0x5555u) << 1);
    v = ((v >> 2) & 0x3333u) | ((v & 0x3333u) << 2);
    v = ((v >> 4) & 0x0F0Fu) | ((v & 0x0F0Fu) << 4);
    v = ((v >> 8) & 0x00FFu) | ((v & 0x00FFu) << 8);
    return static_cast<int32_t>(v);
}

// The butterfly stages of the in-place radix-2 transform with exponent sign +1 and no
// scaling, over kWaveFftSize points already in bit-reversed order. The butterflies of a
// stage touch disjoint pairs, so they run block by block and four at a time, each one
// with exactly the operations of the textbook loop.
void WaveFftStages(const WaveFftTables& tables, float* re, float* im) noexcept;

// The largest of the kWaveFftSize values, starting from 0 (so that nothing at or below 0
// counts and a NaN never does), and every value divided by `peak`: four at a time, with
// the same result as one by one.
float WavePeak(const float* values) noexcept;
void DivideWave(float* values, float peak) noexcept;

} // namespace tw
