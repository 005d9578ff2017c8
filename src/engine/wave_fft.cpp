#include "engine/wave_fft.h"

#include <cmath>
#include <cstring>

namespace tw {

namespace {

// Pi as the transform has always written it; the twiddles' bits depend on it.
constexpr float kFftPi = 3.141592f;

using Lanes = float __attribute__((vector_size(16)));

inline Lanes Load(const float* p) noexcept {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, Lanes v) noexcept {
    std::memcpy(p, &v, sizeof v);
}

} // namespace

void PrepareWaveFft(WaveFftTables& tables) noexcept {
    for (int32_t length = 2; length <= kWaveFftSize; length <<= 1) {
        const int32_t half = length >> 1;
        const float angle = 2.0f * kFftPi / static_cast<float>(length);
        const float wr = std::cos(angle);
        const float wi = std::sin(angle);
        float ur = 1.0f;
        float ui = 0.0f;
        float* outRe = tables.twiddleRe + (half - 1);
        float* outIm = tables.twiddleIm + (half - 1);
        for (int32_t j = 0; j < half; ++j) {
            outRe[j] = ur;
            outIm[j] = ui;
            const float t = ur;
            ur = t * wr - ui * wi;
            ui = t * wi + ui * wr;
        }
    }
    tables.ready = true;
}

namespace {

// The butterflies of the stage that combines blocks of `length` points, for the blocks in
// [begin, end).
void RunStage(const WaveFftTables& tables, float* re, float* im, int32_t length, int32_t begin,
              int32_t end) noexcept {
    const int32_t half = length >> 1;
    const float* wRe = tables.twiddleRe + (half - 1);
    const float* wIm = tables.twiddleIm + (half - 1);
    if (half < 4) {
        for (int32_t base = begin; base < end; base += length) {
            for (int32_t j = 0; j < half; ++j) {
                const int32_t i = base + j;
                const int32_t k = i + half;
                const float ur = wRe[j];
                const float ui = wIm[j];
                const float tr = re[k] * ur - im[k] * ui;
                const float ti = re[k] * ui + im[k] * ur;
                re[k] = re[i] - tr;
                im[k] = im[i] - ti;
                re[i] = re[i] + tr;
                im[i] = im[i] + ti;
            }
        }
        return;
    }
    for (int32_t base = begin; base < end; base += length) {
        float* ri = re + base;
        float* ii = im + base;
        float* rk = ri + half;
        float* ik = ii + half;
        for (int32_t j = 0; j < half; j += 4) {
            const Lanes ur = Load(wRe + j);
            const Lanes ui = Load(wIm + j);
            const Lanes xr = Load(rk + j);
            const Lanes xi = Load(ik + j);
            const Lanes tr = xr * ur - xi * ui;
            const Lanes ti = xr * ui + xi * ur;
            const Lanes ar = Load(ri + j);
            const Lanes ai = Load(ii + j);
            Store(rk + j, ar - tr);
            Store(ik + j, ai - ti);
            Store(ri + j, ar + tr);
            Store(ii + j, ai + ti);
        }
    }
}

// The same butterflies eight at a time, for processors with AVX (which has the same
// single-precision multiply, add and subtract, and no fused multiply-add here).
using WideLanes = float __attribute__((vector_size(32)));

[[gnu::target("avx")]] void RunWideStage(const WaveFftTables& tables, float* re, float* im,
                                         int32_t length, int32_t begin, int32_t end) noexcept {
    const int32_t half = length >> 1;
    const float* wRe = tables.twiddleRe + (half - 1);
    const float* wIm = tables.twiddleIm + (half - 1);
    for (int32_t base = begin; base < end; base += length) {
        float* ri = re + base;
        float* ii = im + base;
        float* rk = ri + half;
        float* ik = ii + half;
        for (int32_t j = 0; j < half; j += 8) {
            WideLanes ur, ui, xr, xi, ar, ai;
            __builtin_memcpy(&ur, wRe + j, sizeof ur);
            __builtin_memcpy(&ui, wIm + j, sizeof ui);
            __builtin_memcpy(&xr, rk + j, sizeof xr);
            __builtin_memcpy(&xi, ik + j, sizeof xi);
            __builtin_memcpy(&ar, ri + j, sizeof ar);
            __builtin_memcpy(&ai, ii + j, sizeof ai);
            const WideLanes tr = xr * ur - xi * ui;
            const WideLanes ti = xr * ui + xi * ur;
            const WideLanes lowRe = ar - tr, lowIm = ai - ti, highRe = ar + tr, highIm = ai + ti;
            __builtin_memcpy(rk + j, &lowRe, sizeof lowRe);
            __builtin_memcpy(ik + j, &lowIm, sizeof lowIm);
            __builtin_memcpy(ri + j, &highRe, sizeof highRe);
            __builtin_memcpy(ii + j, &highIm, sizeof highIm);
        }
    }
}

const bool kHasAvx = __builtin_cpu_supports("avx");

void RunAnyStage(const WaveFftTables& tables, float* re, float* im, int32_t length, int32_t begin,
                 int32_t end) noexcept {
    if (kHasAvx && length >= 16) return RunWideStage(tables, re, im, length, begin, end);
    RunStage(tables, re, im, length, begin, end);
}

// The early stages stay inside blocks of this many points, which fit the first-level
// cache with their twiddles: each block goes through all of them before the next block
// is touched, instead of every stage sweeping the whole table.
constexpr int32_t kCacheBlock = 2048;

} // namespace

void WaveFftStages(const WaveFftTables& tables, float* re, float* im) noexcept {
    for (int32_t block = 0; block < kWaveFftSize; block += kCacheBlock) {
        for (int32_t length = 2; length <= kCacheBlock; length <<= 1) {
            RunAnyStage(tables, re, im, length, block, block + kCacheBlock);
        }
    }
    for (int32_t length = 2 * kCacheBlock; length <= kWaveFftSize; length <<= 1) {
        RunAnyStage(tables, re, im, length, 0, kWaveFftSize);
    }
}

float WavePeak(const float* values) noexcept {
    // The strict comparison keeps the running value on ties and on NaN, lane by lane; the
    // largest value is the same whichever lane meets it first.
    Lanes peak = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < kWaveFftSize; i += 4) {
        const Lanes v = Load(values + i);
        peak = v > peak ? v : peak;
    }
    float result = 0.0f;
    for (int32_t lane = 0; lane < 4; ++lane) {
        if (peak[lane] > result) result = peak[lane];
    }
    return result;
}

void DivideWave(float* values, float peak) noexcept {
    const Lanes by = {peak, peak, peak, peak};
    for (int32_t i = 0; i < kWaveFftSize; i += 4) Store(values + i, Load(values + i) / by);
}

} // namespace tw
