#include "oscillators.h"

#include "engine/engine.h"

#include <cmath>

namespace tw {

namespace {

// The sine of a float argument as a float: the double result rounded once, which is the
// correctly rounded value in all but vanishingly rare cases and the same on every libm.
inline float SineF(float x) noexcept {
    return static_cast<float>(std::sin(static_cast<double>(x)));
}

// Every harmonic of every table starts here, whatever its number.
constexpr float kTableStart = -3.141592f;
// The sine table's step; 2048 of them span slightly less than 2 pi.
constexpr float kSineStep = 0.0030664636f;

void BuildSine(OscillatorState& s) noexcept {
    float x = kTableStart;
    for (int32_t j = 0; j < kWaveLength; ++j) {
        s.sine[j] = SineF(x);
        x += kSineStep;
    }
    s.sine[kWaveLength] = s.sine[0].load();
}

// Sums harmonics first..limit-1 (every `stride`-th, alternating sign when `alternate`)
// into a local table, then publishes it, so that the audio thread never reads a
// half-summed table.
void BuildBand(Relaxed<float>* table, int32_t limit, bool triangle) noexcept {
    float sum[kWaveLength] = {};
    float sign = 1.0f;
    for (int32_t k = 1; k < limit; k += triangle ? 2 : 1) {
        const float step = static_cast<float>(6.283184 / (2048.0 / k));
        const float amplitude =
            triangle ? 0.5f / static_cast<float>(k * k) : 0.5f / static_cast<float>(k);
        float x = kTableStart;
        for (int32_t j = 0; j < kWaveLength; ++j) {
            if (sign > 0.0f) {
                sum[j] = sum[j] + SineF(x) * amplitude;
            } else {
                sum[j] = sum[j] - SineF(x) * amplitude;
            }
            x += step;
        }
        if (triangle) sign = -sign;
    }
    for (int32_t j = 0; j < kWaveLength; ++j) table[j] = sum[j];
    table[kWaveLength] = sum[0];
}

// Splits a table position into an index inside 0..2047 and the fraction beyond it.
// Positions from a phase in 0..2 pi never leave the table; anything else (a phase left by
// another module type in the shared cell, a NaN pitch) is wrapped instead of read
// outside it.
inline int32_t TableIndex(float position, float& fraction) noexcept {
    if (position >= 0.0f && position < static_cast<float>(kWaveLength)) {
        const auto i = static_cast<int32_t>(position);
        fraction = position - static_cast<float>(i);
        return i;
    }
    if (!(position == position) || std::fabs(position) > 1.0e9f) {
        fraction = 0.0f;
        return 0;
    }
    const auto i = static_cast<int32_t>(position);
    fraction = position - static_cast<float>(i);
    return i & (kWaveLength - 1);
}

inline float ReadTable(const Relaxed<float>* table, int32_t n, float fraction) noexcept {
    const float a = table[n];
    const float b = table[n + 1];
    return a + (b - a) * fraction;
}

// The pulse's second read position: (i + 1024) - w * 1024, truncated, in double
// precision, wrapped into 0..2047 for any width (one wrap suffices for 0 <= w <= 1).
inline int32_t PulseIndex(int32_t i, float width) noexcept {
    const double j =
        std::trunc(static_cast<double>(i + 1024) - static_cast<double>(width) * 1024.0);
    if (j >= 0.0 && j < 2.0 * kWaveLength) {
        const auto n = static_cast<int32_t>(j);
        return n >= kWaveLength ? n - kWaveLength : n;
    }
    if (!(j == j) || std::fabs(j) > 1.0e15) return 0;
    const double wrapped = j - std::floor(j / kWaveLength) * kWaveLength;
    const auto n = static_cast<int32_t>(wrapped);
    return n >= 0 && n < kWaveLength ? n : 0;
}

// An oscillator's running state, held in locals while it runs.
struct Voice {
    float phase;
    float increment;
    float lastSync;
    float lastPitch;
    int32_t band;
};

Voice LoadVoice(const Engine& e, int32_t slot) noexcept {
    return Voice{e.cells.phase[slot], e.cells.increment[slot], e.cells.lastSeen[slot],
                 e.oscillators.lastPitch[slot], e.oscillators.band[slot]};
}

void StoreVoice(Engine& e, int32_t slot, const Voice& v) noexcept {
    e.cells.phase[slot] = v.phase;
    e.cells.increment[slot] = v.increment;
    e.cells.lastSeen[slot] = v.lastSync;
    e.oscillators.lastPitch[slot] = v.lastPitch;
    e.oscillators.band[slot] = v.band;
}

[[gnu::always_inline]] inline float Oscillate(const OscillatorState& s, Voice& st, int32_t wave,
                                              float v, float sync, float width,
                                              float tableScale) noexcept {
    if (v != st.lastPitch) {
        if (v > 0.95f) v = 0.95f;
        st.lastPitch = v;
        const float frequency =
            static_cast<float>(std::pow(2.0, static_cast<double>(v * 10.0f - 5.0f)) * 440.0);
        st.increment = s.radiansPerHertz * frequency;
        st.band = v > 0.85f ? 0 : v > 0.75f ? 1 : v > 0.65f ? 2 : v > 0.6f ? 3 : v > 0.55f ? 4 : 5;
    }

    if (st.lastSync < 0.0f && sync >= 0.0f) st.phase = 0.0f;
    st.lastSync = sync;

    st.phase += st.increment;
    if (st.phase >= kTwoPi) st.phase -= kTwoPi;

    float f;
    const int32_t i = TableIndex(st.phase * tableScale, f);
    const int32_t band = st.band;
    switch (wave) {
    case 0:
        return ReadTable(s.sine, i, f);
    case 1:
        return ReadTable(s.triangle[band], i, f);
    case 2:
        return ReadTable(s.saw[band], i, f);
    default: {
        const int32_t j = PulseIndex(i, width);
        return ReadTable(s.saw[band], i, f) - ReadTable(s.saw[band], j, f);
    }
    }
}

inline int32_t WaveOf(float w) noexcept {
    return w > 0.75f ? 3 : w > 0.5f ? 2 : w > 0.25f ? 1 : 0;
}

// One Lfo frame; `rising` is its triangle direction.
[[gnu::always_inline]] inline float LfoStep(float& phase, uint8_t& rising, float increment, float u,
                                            float q, float g) noexcept {
    float value;
    if (u > 0.5f) {
        phase += increment;
        if (phase >= 1.0f) phase -= 1.0f;
        value = u > 0.75f ? (phase > 0.5f ? 1.0f : 0.0f) : phase;
    } else {
        phase = rising != 0 ? phase + increment : phase - increment;
        if (phase >= 0.5f) {
            rising = 0;
            phase -= increment;
        } else if (phase <= 0.0f) {
            rising = 1;
            phase += increment;
        }
        value = u > 0.25f ? phase * 2.0f : SineF(phase) * 2.0f;
    }
    if (q <= 0.5f) value -= 0.5f;
    return value * g;
}

// The Lfo's phase increment for a rate value.
inline float LfoIncrement(const Engine& e, float r, float rate) noexcept {
    if (r < 0.01f) r = 0.01f;
    // The index product is formed in double: 0.01f * 100 is just below 1 and selects
    // entry 0. Rates above 1 stay on the last entry.
    const double scaled = static_cast<double>(r) * 100.0;
    const int32_t n = scaled >= 100.0 ? 100 : scaled > 0.0 ? static_cast<int32_t>(scaled) : 0;
    const float t = e.envelopes.timeTable[n];
    return (rate * 1.0e-8f) * (t * 0.1f);
}

} // namespace

void ResetOscillators(Engine& e) noexcept {
    OscillatorState& s = e.oscillators;
    s.tableScale = 325.9494f;
    s.radiansPerHertz = (1.0f / static_cast<float>(e.sampleRate)) * kTwoPi;
    BuildSine(s);
    for (int32_t b = 0; b < kBandCount; ++b) {
        BuildBand(s.saw[b], kBandLimit[b], false);
        BuildBand(s.triangle[b], kBandLimit[b], true);
    }
    for (int32_t slot = 0; slot < kSlotCount; ++slot) s.lastPitch[slot] = -99.0f;
}

void RunOscillator(Engine& e, int32_t slot) noexcept {
    using namespace oscillator;
    const int32_t p = PortIndex(slot, 0);
    // An unconnected Wave plays a saw whatever the shared cell holds.
    int32_t wave = 2;
    if (IsConnected(e, p + kWave)) {
        wave = WaveOf(DirectCell(e, p + kWave));
    }
    StoreDirectDefaults<kTypeOscillator>(e, p);
    const float v = DirectCell(e, p + kPitch) * 0.1f;
    const float sync = DirectCell(e, p + kSync);
    const float width = DirectCell(e, p + kPulseWidth);
    Voice voice = LoadVoice(e, slot);
    e.outputs[p + kOut] =
        Oscillate(e.oscillators, voice, wave, v, sync, width, e.oscillators.tableScale);
    StoreVoice(e, slot, voice);
}

namespace {

template <int32_t kCount>
void OscillatorBatch(Engine& e, const BlockModule* m, uint32_t n) noexcept {
    using namespace oscillator;
    const float* wave[kCount];
    const float* pitch[kCount];
    const float* sync[kCount];
    const float* width[kCount];
    float* out[kCount];
    Voice voice[kCount];
    for (int32_t j = 0; j < kCount; ++j) {
        auto in = [&m, j](int32_t k) { return m[j].view[k] != nullptr ? m[j].view[k] : m[j].cell; };
        wave[j] = m[j].view[kWave];
        pitch[j] = in(kPitch);
        sync[j] = in(kSync);
        width[j] = in(kPulseWidth);
        out[j] = m[j].out[kOut];
        voice[j] = LoadVoice(e, m[j].slot);
    }
    const OscillatorState& s = e.oscillators;
    const float tableScale = s.tableScale;
    bool steady = true;
    for (int32_t j = 0; j < kCount; ++j) {
        constexpr uint32_t kNeeded = 1u << kWave | 1u << kPitch | 1u << kSync | 1u << kPulseWidth;
        steady = steady && (m[j].steady & kNeeded) == kNeeded;
    }
    const uint32_t general = steady ? 1 : n;
    for (uint32_t f = 0; f < general && f < n; ++f) {
#pragma GCC unroll 4
        for (int32_t j = 0; j < kCount; ++j) {
            // An unconnected Wave plays a saw.
            const int32_t w = wave[j] == nullptr ? 2 : WaveOf(wave[j][f]);
            out[j][f] =
                Oscillate(s, voice[j], w, pitch[j][f] * 0.1f, sync[j][f], width[j][f], tableScale);
        }
    }
    if (general < n) {
        // With every input holding still (an unconnected Wave plays a saw), the first frame
        // has settled the increment, the
        // band and the sync memory: the pitch and sync checks cannot change anything on
        // the frames after it, which only move the phase and read the table.
        const Relaxed<float>* table[kCount];
        int32_t shape[kCount];
        int32_t pulse[kCount];
        for (int32_t j = 0; j < kCount; ++j) {
            shape[j] = wave[j] == nullptr ? 2 : WaveOf(wave[j][0]);
            const int32_t band = voice[j].band;
            table[j] = shape[j] == 0 ? s.sine : shape[j] == 1 ? s.triangle[band] : s.saw[band];
            pulse[j] = shape[j] == 3 ? 1 : 0;
        }
        for (uint32_t f = 1; f < n; ++f) {
#pragma GCC unroll 4
            for (int32_t j = 0; j < kCount; ++j) {
                float phase = voice[j].phase + voice[j].increment;
                if (phase >= kTwoPi) phase -= kTwoPi;
                voice[j].phase = phase;
                float fraction;
                const int32_t i = TableIndex(phase * tableScale, fraction);
                float value = ReadTable(table[j], i, fraction);
                if (pulse[j] != 0) {
                    value -= ReadTable(table[j], PulseIndex(i, width[j][0]), fraction);
                }
                out[j][f] = value;
            }
        }
    }
    for (int32_t j = 0; j < kCount; ++j) StoreVoice(e, m[j].slot, voice[j]);
}

template <int32_t kCount> void LfoBatch(Engine& e, const BlockModule* m, uint32_t n) noexcept {
    using namespace lfo;
    const float* u[kCount];
    const float* r[kCount];
    const float* q[kCount];
    const float* g[kCount];
    float* out[kCount];
    float phase[kCount];
    uint8_t rising[kCount];
    float lastRate[kCount];
    float increment[kCount];
    const float rate = e.sampleRate;
    for (int32_t j = 0; j < kCount; ++j) {
        auto in = [&m, j](int32_t k) { return m[j].view[k] != nullptr ? m[j].view[k] : m[j].cell; };
        u[j] = in(kWave);
        r[j] = in(kRate);
        q[j] = in(kPolarity);
        g[j] = in(kLevel);
        out[j] = m[j].out[kOut];
        phase[j] = e.cells.phase[m[j].slot];
        rising[j] = e.oscillators.rising[m[j].slot];
        // The increment depends on the rate alone: worked out again only when it moves.
        lastRate[j] = r[j][0];
        increment[j] = LfoIncrement(e, lastRate[j], rate);
    }
    bool steady = true;
    for (int32_t j = 0; j < kCount; ++j) {
        constexpr uint32_t kNeeded = 1u << kWave | 1u << kRate | 1u << kPolarity | 1u << kLevel;
        steady = steady && (m[j].steady & kNeeded) == kNeeded && u[j][0] > 0.75f;
    }
    if (steady) {
        // Squares with every input holding still: the increment, the shape, polarity and
        // level are fixed for the run.
        for (uint32_t f = 0; f < n; ++f) {
#pragma GCC unroll 4
            for (int32_t j = 0; j < kCount; ++j) {
                float p = phase[j] + increment[j];
                if (p >= 1.0f) p -= 1.0f;
                phase[j] = p;
                float value = p > 0.5f ? 1.0f : 0.0f;
                if (q[j][0] <= 0.5f) value -= 0.5f;
                out[j][f] = value * g[j][0];
            }
        }
        n = 0;
    }
    for (uint32_t f = 0; f < n; ++f) {
#pragma GCC unroll 4
        for (int32_t j = 0; j < kCount; ++j) {
            if (!(r[j][f] == lastRate[j])) {
                lastRate[j] = r[j][f];
                increment[j] = LfoIncrement(e, lastRate[j], rate);
            }
            out[j][f] = LfoStep(phase[j], rising[j], increment[j], u[j][f], q[j][f], g[j][f]);
        }
    }
    for (int32_t j = 0; j < kCount; ++j) {
        e.cells.phase[m[j].slot] = phase[j];
        e.oscillators.rising[m[j].slot] = rising[j];
        e.cells.increment[m[j].slot] = increment[j];
    }
}

} // namespace

void RunOscillatorBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept {
    switch (count) {
    case 1:
        return OscillatorBatch<1>(e, m, n);
    case 2:
        return OscillatorBatch<2>(e, m, n);
    case 3:
        return OscillatorBatch<3>(e, m, n);
    default:
        return OscillatorBatch<kBatch>(e, m, n);
    }
}

void RunLfoBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept {
    switch (count) {
    case 1:
        return LfoBatch<1>(e, m, n);
    case 2:
        return LfoBatch<2>(e, m, n);
    case 3:
        return LfoBatch<3>(e, m, n);
    default:
        return LfoBatch<kBatch>(e, m, n);
    }
}

namespace {

[[gnu::always_inline]] inline float Drive(bool octaveCable, bool pitchCable, float octave,
                                          float pitch, float coarse, float fine) noexcept {
    int32_t offset = 5;
    if (octaveCable) offset = octave < 0.25f ? 3 : octave < 0.5f ? 4 : octave < 0.75f ? 5 : 6;
    // With a pitch to follow, the octave control moves it -2..+1 octaves; without one the
    // offset is itself the pitch in volts.
    if (pitchCable) offset -= 5;
    return pitch + static_cast<float>(offset) + coarse + fine * 0.1f;
}

} // namespace

void RunOscillatorDriver(Engine& e, int32_t slot) noexcept {
    using namespace oscillator_driver;
    const int32_t p = PortIndex(slot, 0);
    const bool octaveCable = IsConnected(e, p + kOctave);
    const float octave = octaveCable ? CachedCell(e, p + kOctave) : 0.0f;
    e.outputs[p + kOut] =
        Drive(octaveCable, IsConnected(e, p + kPitch), octave, CachedCell(e, p + kPitch),
              CachedCell(e, p + kCoarse), CachedCell(e, p + kFine));
}

void RunOscillatorDriverBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept {
    using namespace oscillator_driver;
    const bool octaveCable = m.view[kOctave] != nullptr;
    const bool pitchCable = m.view[kPitch] != nullptr;
    float octave[kRunFrames], pitch[kRunFrames], coarse[kRunFrames], fine[kRunFrames];
    CachedStream(e, m, kOctave, n, octave);
    CachedStream(e, m, kPitch, n, pitch);
    CachedStream(e, m, kCoarse, n, coarse);
    CachedStream(e, m, kFine, n, fine);
    float* out = m.out[kOut];
    for (uint32_t f = 0; f < n; ++f) {
        out[f] = Drive(octaveCable, pitchCable, octave[f], pitch[f], coarse[f], fine[f]);
    }
}

void RunLfo(Engine& e, int32_t slot) noexcept {
    using namespace lfo;
    const int32_t p = PortIndex(slot, 0);
    // Level's default is stored last, so with several inputs unconnected they all read
    // 1.0: an untouched Lfo is a unipolar square at the fastest rate.
    StoreDirectDefaults<kTypeLfo>(e, p);
    const float u = DirectCell(e, p + kWave);
    const float r = DirectCell(e, p + kRate);
    const float q = DirectCell(e, p + kPolarity);
    const float g = DirectCell(e, p + kLevel);
    const float increment = LfoIncrement(e, r, e.sampleRate);
    e.cells.increment[slot] = increment;
    e.outputs[p + kOut] =
        LfoStep(e.cells.phase[slot], e.oscillators.rising[slot], increment, u, q, g);
}

void RunA440(Engine& e, int32_t slot) noexcept {
    float& phase = e.cells.phase[slot];
    phase += e.notes.frequencyPerSample[69];
    if (phase >= 1.0f) phase -= 1.0f;
    e.outputs[PortIndex(slot, a440::kOut)] = SineF(phase * kTwoPi);
}

} // namespace tw
