#include "filters.h"

#include "engine/engine.h"

#include <cmath>

namespace tw {

const double kFormantTable[kFormantRows][kFormantCoefficients] = {
    {3.11044e-06, 8.943665402, -36.83889529, 92.01697887, -154.337906, 181.6233289, -151.8651235,
     89.09614114, -35.10298511, 8.388101016, -0.923313471},
    {4.36215e-06, 8.90438318, -36.55179099, 91.05750846, -152.422234, 179.1170248, -149.6496211,
     87.78352223, -34.60687431, 8.282228154, -0.914150747},
    {3.33819e-06, 8.893102966, -36.49532826, 90.96543286, -152.4545478, 179.4835618, -150.315433,
     88.43409371, -34.98612086, 8.407803364, -0.932568035},
    {1.13572e-06, 8.994734087, -37.2084849, 93.22900521, -156.6929844, 184.596544, -154.3755513,
     90.49663749, -35.58964535, 8.478996281, -0.929252233},
    {4.09431e-07, 8.997322763, -37.20218544, 93.11385476, -156.2530937, 183.7080141, -153.2631681,
     89.59539726, -35.12454591, 8.338655623, -0.910251753},
};

namespace {

// One-pole cutoff: b1 = e^(-2 pi fc / fs) with fc / fs = x * 0.1. The product is formed
// in double from the float 0.1 so that the coefficient matches stored renders.
float OnePoleFeedback(float x) noexcept {
    constexpr float kTenth = 0.1f;
    const double exponent = static_cast<double>(x) * static_cast<double>(kTenth) * -6.283184;
    return static_cast<float>(std::exp(exponent));
}

} // namespace

void RunLowPass2Pole(Engine& e, int32_t slot) noexcept {
    using namespace low_pass_2pole;
    const int32_t p = PortIndex(slot, 0);
    FilterState& s = e.filters;
    float f = IsConnected(e, p + kFrequency) ? CachedCell(e, p + kFrequency) : 1.0f;
    float q = CachedCell(e, p + kResonance);
    if (f < 0.001f) {
        f = 0.001f;
    } else if (f > 0.925f) {
        f = 0.925f;
    }
    // No lower limit on the resonance: negative values damp the filter further.
    if (q > 0.965f) q = 0.965f;
    const float feedback = q / (1.0f - f) + q;
    const float in = CachedCell(e, p + kIn);
    float b0 = s.lp2Stage0[slot];
    float b1 = s.lp2Stage1[slot];
    b0 = b0 + ((in - b0) + (b0 - b1) * feedback) * f;
    b1 = b1 + (b0 - b1) * f;
    s.lp2Stage0[slot] = b0;
    s.lp2Stage1[slot] = b1;
    s.lp2Feedback[slot] = feedback;
    e.outputs[p + kOut] = b1;
}

namespace {

// One-pole filters over a run, up to kBatch side by side. The feedback depends on the
// frequency alone and costs an exponential, so it is worked out again only when the
// frequency moves.
template <bool kHighPass, int32_t kCount>
void OnePoleBatch(Engine& e, const BlockModule* m, uint32_t n) noexcept {
    using namespace one_pole;
    FilterState& s = e.filters;
    const float* frequency[kCount];
    const float* in[kCount];
    float* out[kCount];
    float last[kCount];
    float a0[kCount];
    float b1[kCount];
    float y[kCount];
    for (int32_t j = 0; j < kCount; ++j) {
        frequency[j] = m[j].view[kFrequency] != nullptr ? m[j].view[kFrequency] : m[j].cell;
        in[j] = m[j].view[kIn] != nullptr ? m[j].view[kIn] : m[j].cell;
        out[j] = m[j].out[kOut];
        last[j] = frequency[j][0];
        b1[j] = OnePoleFeedback(last[j]);
        a0[j] = 1.0f - b1[j];
        y[j] = kHighPass ? s.hpY[m[j].slot] : s.lpY[m[j].slot];
    }
    for (uint32_t f = 0; f < n; ++f) {
#pragma GCC unroll 4
        for (int32_t j = 0; j < kCount; ++j) {
            if (!(frequency[j][f] == last[j])) {
                last[j] = frequency[j][f];
                b1[j] = OnePoleFeedback(last[j]);
                a0[j] = 1.0f - b1[j];
            }
            const float x = in[j][f];
            y[j] = x * a0[j] + y[j] * b1[j];
            out[j][f] = kHighPass ? x - y[j] : y[j];
        }
    }
    for (int32_t j = 0; j < kCount; ++j) {
        const int32_t slot = m[j].slot;
        (kHighPass ? s.hpB1 : s.lpB1)[slot] = b1[j];
        (kHighPass ? s.hpA0 : s.lpA0)[slot] = a0[j];
        (kHighPass ? s.hpY : s.lpY)[slot] = y[j];
    }
}

template <bool kHighPass>
void RunOnePoleBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept {
    switch (count) {
    case 1:
        return OnePoleBatch<kHighPass, 1>(e, m, n);
    case 2:
        return OnePoleBatch<kHighPass, 2>(e, m, n);
    case 3:
        return OnePoleBatch<kHighPass, 3>(e, m, n);
    default:
        return OnePoleBatch<kHighPass, kBatch>(e, m, n);
    }
}

} // namespace

void RunLowPass1PoleBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept {
    RunOnePoleBlock<false>(e, m, count, n);
}

void RunHighPass1PoleBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept {
    RunOnePoleBlock<true>(e, m, count, n);
}

void RunLowPass1Pole(Engine& e, int32_t slot) noexcept {
    using namespace one_pole;
    const int32_t p = PortIndex(slot, 0);
    FilterState& s = e.filters;
    StoreDirectDefaults<kTypeLowPass1Pole>(e, p);
    const float b1 = OnePoleFeedback(DirectCell(e, p + kFrequency));
    const float a0 = 1.0f - b1;
    const float y = DirectCell(e, p + kIn) * a0 + s.lpY[slot] * b1;
    s.lpB1[slot] = b1;
    s.lpA0[slot] = a0;
    s.lpY[slot] = y;
    e.outputs[p + kOut] = y;
}

void RunHighPass1Pole(Engine& e, int32_t slot) noexcept {
    using namespace one_pole;
    const int32_t p = PortIndex(slot, 0);
    FilterState& s = e.filters;
    StoreDirectDefaults<kTypeHighPass1Pole>(e, p);
    const float b1 = OnePoleFeedback(DirectCell(e, p + kFrequency));
    const float a0 = 1.0f - b1;
    const float in = DirectCell(e, p + kIn);
    const float y = in * a0 + s.hpY[slot] * b1;
    s.hpB1[slot] = b1;
    s.hpA0[slot] = a0;
    s.hpY[slot] = y;
    e.outputs[p + kOut] = in - y;
}

void RunAllPass(Engine& e, int32_t slot) noexcept {
    using namespace one_pole;
    const int32_t p = PortIndex(slot, 0);
    float a = DirectCell(e, p + kFrequency);
    // A NaN coefficient would stick in the memory for ever; it falls to 0 with the negatives.
    if (!(a >= 0.0f)) {
        a = 0.0f;
    } else if (a > 0.99f) {
        a = 0.99f;
    }
    const float zOld = e.filters.allPassZ[slot];
    const float z = a * zOld + DirectCell(e, p + kIn);
    e.filters.allPassZ[slot] = z;
    e.outputs[p + kOut] = zOld - a * z;
}

void RunFormant(Engine& e, int32_t slot) noexcept {
    using namespace formant;
    const int32_t p = PortIndex(slot, 0);
    float g = DirectCell(e, p + kFormant);
    // NaN must not reach the integer conversion below; it selects row 0 like a negative.
    if (!(g >= 0.0f)) g = 0.0f;
    if (g > 1.0f) g = 1.0f;
    int32_t v = static_cast<int32_t>(std::floor(g * 4.0f));
    if (v < 0) v = 0;
    if (v > 3) v = 3;
    const float wHi = g * 4.0f - static_cast<float>(v);
    const float wLo = 1.0f - wHi;
    const double* lo = kFormantTable[v];
    const double* hi = kFormantTable[v + 1];
    double c[kFormantCoefficients];
    for (int32_t n = 0; n < kFormantCoefficients; ++n) {
        c[n] = static_cast<double>(wLo) * lo[n] + static_cast<double>(wHi) * hi[n];
    }
    Relaxed<double>* m = e.filters.formantMemory[slot];
    double sum = static_cast<double>(DirectCell(e, p + kIn)) * c[0];
    for (int32_t n = 0; n < kFormantMemories; ++n) sum += c[n + 1] * m[n];
    const double r = static_cast<float>(sum);
    for (int32_t n = kFormantMemories - 1; n > 0; --n) m[n] = m[n - 1].load();
    m[0] = r;
    // The output snaps to silence while the memories keep decaying underneath.
    const double out = std::fabs(r) < static_cast<double>(0.0001f) ? 0.0 : r;
    e.filters.formantResult[slot] = out;
    e.outputs[p + kOut] = static_cast<float>(out);
}

void ResetFilters(Engine& e) noexcept {
    FilterState& s = e.filters;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        s.lp2Stage0[slot] = 0.0f;
        s.lp2Stage1[slot] = 0.0f;
        s.lpA0[slot] = 1.0f;
        s.lpB1[slot] = 0.0f;
        s.lpY[slot] = 0.0f;
        s.hpA0[slot] = 1.0f;
        s.hpB1[slot] = 0.0f;
        s.hpY[slot] = 0.0f;
        s.allPassZ[slot] = 0.0f;
        for (Relaxed<double>& m : s.formantMemory[slot]) m = 0.0;
        s.formantResult[slot] = 0.0;
    }
}

} // namespace tw
