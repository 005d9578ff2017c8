#include "engine/wave_fft.h"

#include <immintrin.h>

#include <atomic>
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

// One butterfly, in any lane type: b times the factor u is subtracted from a into b and
// added to a into a. Every stage of the transform runs exactly these operations. (Values
// go by reference: this is inlined into functions built for wider registers than the rest
// of the file, and a vector passed by value would change the calling convention.)
template <typename V, typename W>
[[gnu::always_inline]] inline void Butterfly(V& ar, V& ai, V& br, V& bi, const W& ur,
                                             const W& ui) noexcept {
    const V tr = br * ur - bi * ui;
    const V ti = br * ui + bi * ur;
    br = ar - tr;
    bi = ai - ti;
    ar = ar + tr;
    ai = ai + ti;
}

// The butterflies of the stage that combines blocks of `length` points, for the blocks in
// [begin, end), as many at a time as the lane type V holds.
template <typename V>
[[gnu::always_inline]] inline void StageBlocks(const WaveFftTables& tables, float* re, float* im,
                                               int32_t length, int32_t begin,
                                               int32_t end) noexcept {
    constexpr int32_t kLanes = sizeof(V) / sizeof(float);
    const int32_t half = length >> 1;
    const float* wRe = tables.twiddleRe + (half - 1);
    const float* wIm = tables.twiddleIm + (half - 1);
    for (int32_t base = begin; base < end; base += length) {
        float* ri = re + base;
        float* ii = im + base;
        float* rk = ri + half;
        float* ik = ii + half;
        for (int32_t j = 0; j < half; j += kLanes) {
            V ur, ui, xr, xi, ar, ai;
            __builtin_memcpy(&ur, wRe + j, sizeof ur);
            __builtin_memcpy(&ui, wIm + j, sizeof ui);
            __builtin_memcpy(&xr, rk + j, sizeof xr);
            __builtin_memcpy(&xi, ik + j, sizeof xi);
            __builtin_memcpy(&ar, ri + j, sizeof ar);
            __builtin_memcpy(&ai, ii + j, sizeof ai);
            Butterfly(ar, ai, xr, xi, ur, ui);
            __builtin_memcpy(rk + j, &xr, sizeof xr);
            __builtin_memcpy(ik + j, &xi, sizeof xi);
            __builtin_memcpy(ri + j, &ar, sizeof ar);
            __builtin_memcpy(ii + j, &ai, sizeof ai);
        }
    }
}

void RunStage(const WaveFftTables& tables, float* re, float* im, int32_t length, int32_t begin,
              int32_t end) noexcept {
    StageBlocks<Lanes>(tables, re, im, length, begin, end);
}

// The same butterflies eight at a time, for processors with AVX (which has the same
// single-precision multiply, add and subtract, and no fused multiply-add to contract
// them into).
using WideLanes = float __attribute__((vector_size(32)));

[[gnu::target("avx")]] void RunWideStage(const WaveFftTables& tables, float* re, float* im,
                                         int32_t length, int32_t begin, int32_t end) noexcept {
    StageBlocks<WideLanes>(tables, re, im, length, begin, end);
}

// The stages that combine blocks of `length` and of 2 x `length` points, for the blocks
// of 2 x `length` in [begin, end), fused: the four points j, j + h, j + length and
// j + length + h (h = length / 2) meet only each other in the two stages, so each four
// go through both stages' butterflies, in the stages' order, in registers.
[[gnu::target("avx")]] void RunWideStagePair(const WaveFftTables& tables, float* re, float* im,
                                             int32_t length, int32_t begin, int32_t end) noexcept {
    const int32_t half = length >> 1;
    const float* wRe = tables.twiddleRe + (half - 1);
    const float* wIm = tables.twiddleIm + (half - 1);
    const float* vRe = tables.twiddleRe + (length - 1);
    const float* vIm = tables.twiddleIm + (length - 1);
    for (int32_t base = begin; base < end; base += 2 * length) {
        float* r0 = re + base;
        float* i0 = im + base;
        for (int32_t j = 0; j < half; j += 8) {
            __m256 ar = _mm256_loadu_ps(r0 + j), ai = _mm256_loadu_ps(i0 + j);
            __m256 br = _mm256_loadu_ps(r0 + j + half), bi = _mm256_loadu_ps(i0 + j + half);
            __m256 cr = _mm256_loadu_ps(r0 + j + length), ci = _mm256_loadu_ps(i0 + j + length);
            __m256 dr = _mm256_loadu_ps(r0 + j + length + half);
            __m256 di = _mm256_loadu_ps(i0 + j + length + half);
            const __m256 ur = _mm256_loadu_ps(wRe + j), ui = _mm256_loadu_ps(wIm + j);
            const __m256 vr = _mm256_loadu_ps(vRe + j), vi = _mm256_loadu_ps(vIm + j);
            const __m256 wr = _mm256_loadu_ps(vRe + j + half), wi = _mm256_loadu_ps(vIm + j + half);
            Butterfly(ar, ai, br, bi, ur, ui);
            Butterfly(cr, ci, dr, di, ur, ui);
            Butterfly(ar, ai, cr, ci, vr, vi);
            Butterfly(br, bi, dr, di, wr, wi);
            _mm256_storeu_ps(r0 + j, ar);
            _mm256_storeu_ps(i0 + j, ai);
            _mm256_storeu_ps(r0 + j + half, br);
            _mm256_storeu_ps(i0 + j + half, bi);
            _mm256_storeu_ps(r0 + j + length, cr);
            _mm256_storeu_ps(i0 + j + length, ci);
            _mm256_storeu_ps(r0 + j + length + half, dr);
            _mm256_storeu_ps(i0 + j + length + half, di);
        }
    }
}

// Whether the wide paths run: where the processor has 256-bit vectors, unless a test
// asked for the portable path.
std::atomic<bool> useAvx{__builtin_cpu_supports("avx") != 0};

// Runs the stages from `length` up to `last` on the blocks in [begin, end), two at a time
// where both fit.
void RunStages(const WaveFftTables& tables, float* re, float* im, int32_t length, int32_t last,
               int32_t begin, int32_t end) noexcept {
    const bool wide = useAvx.load(std::memory_order_relaxed);
    for (; length <= last; length <<= 1) {
        if (!wide) {
            RunStage(tables, re, im, length, begin, end);
        } else if (2 * length <= last) {
            RunWideStagePair(tables, re, im, length, begin, end);
            length <<= 1;
        } else {
            RunWideStage(tables, re, im, length, begin, end);
        }
    }
}

// The early stages stay inside blocks of this many points, which fit the first-level
// cache with their twiddles: each block goes through all of them before the next block
// is touched, instead of every stage sweeping the whole table.
constexpr int32_t kCacheBlock = 2048;

// The first three stages meet blocks of eight points of the bit-reversed input. Block g
// holds, at its even places, the input points r, r + N/8, r + N/4 and r + 3N/8 (r being g
// with its 13 bits reversed), and 0 at its odd places, which come from the upper half.
constexpr int32_t kGroupBits = kWaveFftBits - 3;
constexpr int32_t kGroups = kWaveFftSize / 8;

inline int32_t GroupSource(int32_t group) noexcept {
    uint32_t v = static_cast<uint32_t>(group) << (16 - kGroupBits);
    v = ((v >> 1) & 0x5555u) | ((v & 0x5555u) << 1);
    v = ((v >> 2) & 0x3333u) | ((v & 0x3333u) << 2);
    v = ((v >> 4) & 0x0F0Fu) | ((v & 0x0F0Fu) << 4);
    v = ((v >> 8) & 0x00FFu) | ((v & 0x00FFu) << 8);
    return static_cast<int32_t>(v);
}

// Where each even place of a block takes its point from, as an offset from r.
constexpr int32_t kEvenSource[4] = {0, kWaveFftSize / 4, kWaveFftSize / 8, 3 * kWaveFftSize / 8};

// The three stages on one block of eight, in any lane type, given the points of its even
// places: the butterflies in the order and with the operations of the textbook loop, the
// zeros of the odd places included.
template <typename V>
[[gnu::always_inline]] inline void FirstStages(const WaveFftTables& t, V* xr, V* xi) noexcept {
    // The first stage pairs each point with a +0 by the factor 1 + 0i, so the product it
    // adds and subtracts is +0: the odd place gets the point minus +0, the point itself,
    // and the even place the point plus +0, the point itself save that -0 becomes +0.
    for (int32_t e = 0; e < 8; e += 2) {
        xr[e + 1] = xr[e];
        xi[e + 1] = xi[e];
        xr[e] = xr[e] + 0.0f;
        xi[e] = xi[e] + 0.0f;
    }
    // Unrolled whole, so that the sixteen values stay in registers.
#pragma GCC unroll 2
    for (int32_t length = 4; length <= 8; length <<= 1) {
        const int32_t half = length >> 1;
#pragma GCC unroll 4
        for (int32_t base = 0; base < 8; base += length) {
#pragma GCC unroll 4
            for (int32_t j = 0; j < half; ++j) {
                const int32_t i = base + j;
                const int32_t k = i + half;
                Butterfly(xr[i], xi[i], xr[k], xi[k], t.twiddleRe[half - 1 + j],
                          t.twiddleIm[half - 1 + j]);
            }
        }
    }
}

void FirstStagesOneByOne(const WaveFftTables& t, const float* pointRe, const float* pointIm,
                         float* re, float* im) noexcept {
    for (int32_t g = 0; g < kGroups; ++g) {
        const int32_t r = GroupSource(g);
        float xr[8] = {};
        float xi[8] = {};
        for (int32_t e = 0; e < 4; ++e) {
            xr[2 * e] = pointRe[r + kEvenSource[e]];
            xi[2 * e] = pointIm[r + kEvenSource[e]];
        }
        FirstStages(t, xr, xi);
        for (int32_t j = 0; j < 8; ++j) {
            re[8 * g + j] = xr[j];
            im[8 * g + j] = xi[j];
        }
    }
}

// Turns eight lanes of eight values into eight rows: v[k] takes lane k of every v.
[[gnu::target("avx"), gnu::always_inline]] inline void Transpose8(__m256* v) noexcept {
    const __m256 a0 = _mm256_unpacklo_ps(v[0], v[1]), a1 = _mm256_unpackhi_ps(v[0], v[1]);
    const __m256 a2 = _mm256_unpacklo_ps(v[2], v[3]), a3 = _mm256_unpackhi_ps(v[2], v[3]);
    const __m256 a4 = _mm256_unpacklo_ps(v[4], v[5]), a5 = _mm256_unpackhi_ps(v[4], v[5]);
    const __m256 a6 = _mm256_unpacklo_ps(v[6], v[7]), a7 = _mm256_unpackhi_ps(v[6], v[7]);
    const __m256 b0 = _mm256_shuffle_ps(a0, a2, 0x44), b1 = _mm256_shuffle_ps(a0, a2, 0xEE);
    const __m256 b2 = _mm256_shuffle_ps(a1, a3, 0x44), b3 = _mm256_shuffle_ps(a1, a3, 0xEE);
    const __m256 b4 = _mm256_shuffle_ps(a4, a6, 0x44), b5 = _mm256_shuffle_ps(a4, a6, 0xEE);
    const __m256 b6 = _mm256_shuffle_ps(a5, a7, 0x44), b7 = _mm256_shuffle_ps(a5, a7, 0xEE);
    v[0] = _mm256_permute2f128_ps(b0, b4, 0x20);
    v[1] = _mm256_permute2f128_ps(b1, b5, 0x20);
    v[2] = _mm256_permute2f128_ps(b2, b6, 0x20);
    v[3] = _mm256_permute2f128_ps(b3, b7, 0x20);
    v[4] = _mm256_permute2f128_ps(b0, b4, 0x31);
    v[5] = _mm256_permute2f128_ps(b1, b5, 0x31);
    v[6] = _mm256_permute2f128_ps(b2, b6, 0x31);
    v[7] = _mm256_permute2f128_ps(b3, b7, 0x31);
}

// Eight blocks side by side, one per lane: the blocks whose sources are r0 .. r0 + 7, so
// that every source is read eight at a time; the lanes are then turned into rows, one
// block each, and written to their blocks. The blocks lie an eighth of the table apart;
// taking r0 in bit-reversed order makes each lane's next block the one right after its
// last, so that every lane writes along the table instead of jumping about it.
[[gnu::target("avx")]] void FirstStagesEightWide(const WaveFftTables& t, const float* pointRe,
                                                 const float* pointIm, float* re,
                                                 float* im) noexcept {
    int32_t spread[8];
    for (int32_t lane = 0; lane < 8; ++lane) spread[lane] = 8 * GroupSource(lane);
    for (int32_t q = 0; q < kGroups / 8; ++q) {
        const int32_t r0 = GroupSource(q); // a multiple of 8, as q < kGroups / 8
        __m256 xr[8];
        __m256 xi[8];
        for (int32_t e = 0; e < 4; ++e) {
            xr[2 * e] = _mm256_loadu_ps(pointRe + r0 + kEvenSource[e]);
            xi[2 * e] = _mm256_loadu_ps(pointIm + r0 + kEvenSource[e]);
        }
        FirstStages(t, xr, xi);
        Transpose8(xr);
        Transpose8(xi);
        for (int32_t lane = 0; lane < 8; ++lane) {
            _mm256_storeu_ps(re + 8 * q + spread[lane], xr[lane]);
            _mm256_storeu_ps(im + 8 * q + spread[lane], xi[lane]);
        }
    }
}

// The largest of the values, as WaveRealFromLowerHalf returns it. The strict comparison
// keeps the running value on ties and on NaN, lane by lane; the largest value is the
// same whichever lane, and in whichever order, meets it.
float WavePeak(const float* values) noexcept {
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

// The last stage, one block of the whole table, computing only the real half and taking
// the peak as it goes.
[[gnu::target("avx")]] float LastStageReal(const WaveFftTables& tables, float* re,
                                           const float* im) noexcept {
    constexpr int32_t kHalf = kWaveFftSize / 2;
    const float* wRe = tables.twiddleRe + (kHalf - 1);
    const float* wIm = tables.twiddleIm + (kHalf - 1);
    __m256 peak = _mm256_setzero_ps();
    for (int32_t j = 0; j < kHalf; j += 8) {
        const __m256 ur = _mm256_loadu_ps(wRe + j), ui = _mm256_loadu_ps(wIm + j);
        const __m256 xr = _mm256_loadu_ps(re + kHalf + j), xi = _mm256_loadu_ps(im + kHalf + j);
        const __m256 ar = _mm256_loadu_ps(re + j);
        const __m256 tr = xr * ur - xi * ui;
        const __m256 low = ar - tr;
        const __m256 high = ar + tr;
        _mm256_storeu_ps(re + kHalf + j, low);
        _mm256_storeu_ps(re + j, high);
        // Ordered comparisons: a NaN never takes the place of the running value.
        peak = _mm256_blendv_ps(peak, low, _mm256_cmp_ps(low, peak, _CMP_GT_OQ));
        peak = _mm256_blendv_ps(peak, high, _mm256_cmp_ps(high, peak, _CMP_GT_OQ));
    }
    float lanes[8];
    _mm256_storeu_ps(lanes, peak);
    float result = 0.0f;
    for (float lane : lanes) {
        if (lane > result) result = lane;
    }
    return result;
}

} // namespace

float WaveRealFromLowerHalf(const WaveFftTables& tables, const float* pointRe, const float* pointIm,
                            float* re, float* im) noexcept {
    const bool wide = useAvx.load(std::memory_order_relaxed);
    if (wide) {
        FirstStagesEightWide(tables, pointRe, pointIm, re, im);
    } else {
        FirstStagesOneByOne(tables, pointRe, pointIm, re, im);
    }
    for (int32_t block = 0; block < kWaveFftSize; block += kCacheBlock) {
        RunStages(tables, re, im, 16, kCacheBlock, block, block + kCacheBlock);
    }
    if (!wide) {
        RunStages(tables, re, im, 2 * kCacheBlock, kWaveFftSize, 0, kWaveFftSize);
        return WavePeak(re);
    }
    RunStages(tables, re, im, 2 * kCacheBlock, kWaveFftSize / 2, 0, kWaveFftSize);
    return LastStageReal(tables, re, im);
}

void UseWideVectors(bool use) noexcept {
    useAvx.store(use && __builtin_cpu_supports("avx") != 0, std::memory_order_relaxed);
}

void DivideWave(float* values, float peak) noexcept {
    const Lanes by = {peak, peak, peak, peak};
    for (int32_t i = 0; i < kWaveFftSize; i += 4) Store(values + i, Load(values + i) / by);
}

} // namespace tw
