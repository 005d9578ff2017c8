#include "polywave.h"

#include "engine/engine.h"
#include "model/checks.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>

namespace tw {

namespace {

// The wavetable is always synthesised at this rate, whatever the device runs at.
constexpr float kReferenceRate = 44100.0f;
constexpr float kFundamental = 440.0f;
constexpr float kFullTurn = 6.283184f;
// The phases whose cosine is negative: the first float above pi / 2 up to the last below
// 3 pi / 2; and the first float above pi, from which on the sine is negative.
constexpr uint32_t kCosineNegativeFrom = std::bit_cast<uint32_t>(1.57079637050628662109375f);
constexpr uint32_t kCosineNegativeSpan =
    std::bit_cast<uint32_t>(4.7123885154724121f) - kCosineNegativeFrom + 1;
constexpr uint32_t kSineNegativeFrom = std::bit_cast<uint32_t>(3.1415927410125732421875f);
// exp(-y) is negligible beyond this y; the profile is 0 there.
constexpr float kProfileLimit = 14.71280574798584f;

float BandwidthCents(float density) noexcept {
    if (density < 0.25f) return 5.0f;
    if (density < 0.5f) return 25.0f;
    if (density < 0.75f) return 45.0f;
    return 80.0f;
}

void SetAmplitudes(float* a, float wave) noexcept {
    for (int32_t k = 0; k < kWaveHarmonics; ++k) a[k] = 0.0f;
    a[1] = 1.0f;
    float s = 0.5f;
    if (wave < 0.25f) {
        a[1] = 0.5f; // fundamental only
    } else if (wave < 0.5f) {
        for (int32_t k = 1; k <= 7; k += 3) {
            a[k] = s;
            s = s * 0.5f;
        }
    }
    if (wave >= 0.5f && wave < 0.75f) {
        for (int32_t k = 1; k <= 9; ++k) {
            a[k] = s;
            s = s * 0.9f;
        }
    }
    if (wave >= 0.75f) {
        for (int32_t k = 1; k <= 9; k += 2) {
            a[k] = s;
            s = s * 0.9f;
        }
    }
}

// Adds one Gaussian-widened partial to the amplitude spectrum. Outside a few widths of
// its centre the profile is exactly 0, so only the bins near the centre are visited; the
// window is generous and each bin inside it still applies the exact cut-off test.
void AddPartial(float* spectrum, float amplitude, float fi, float bwi) noexcept {
    const double centre = static_cast<double>(fi) * kWaveTableSize;
    const double reach = static_cast<double>(bwi) * kWaveTableSize * 4.0 + 2.0;
    double first = std::floor(centre - reach);
    double last = std::ceil(centre + reach);
    if (first < 0.0) first = 0.0;
    if (last > kWaveSpectrumSize - 1) last = kWaveSpectrumSize - 1;
    for (int32_t i = static_cast<int32_t>(first); i <= static_cast<int32_t>(last); ++i) {
        const float x = static_cast<float>(i) / static_cast<float>(kWaveTableSize) - fi;
        const float t = x / bwi;
        const float y = t * t;
        if (y <= kProfileLimit) spectrum[i] += std::exp(-y) / bwi * amplitude;
    }
}

// Two values differ when they compare unequal, except that NaN does not differ from NaN:
// a stuck NaN on Wave must not rebuild the table on every frame.
bool Differs(float a, float b) noexcept {
    return a != b && !(std::isnan(a) && std::isnan(b));
}

// Eight steps of the generator from state x, by its bytes' entries in the table.
inline uint32_t EightStepsOf(const PolyWaveState& s, uint32_t x) noexcept {
    const auto& table = s.eightSteps;
    return table[0][x & 0xFFu] ^ table[1][(x >> 8) & 0xFFu] ^ table[2][(x >> 16) & 0xFFu] ^
           table[3][x >> 24];
}

// The generator's next kWaveSpectrumSize numbers, in order, into `draws`: eight running
// side by side, each eight steps ahead of the one before, so that no step waits for the
// last. Leaves the generator where drawing them one by one would.
void DrawPhases(PolyWaveState& s, EngineRandom& random) noexcept {
    uint32_t lanes[8];
    for (uint32_t& lane : lanes) lane = random.Next();
    for (int32_t i = 0; i < kWaveSpectrumSize; i += 8) {
        for (int32_t t = 0; t < 8; ++t) {
            const uint32_t x = lanes[t];
            s.draws[i + t] = x;
            lanes[t] = EightStepsOf(s, x);
        }
    }
    random.state = s.draws[kWaveSpectrumSize - 1];
}

// Leaves the generator where a rebuild would, eight steps at a time.
void SkipDraws(const PolyWaveState& s, EngineRandom& random) noexcept {
    static_assert(kWaveSpectrumSize % 8 == 0);
    for (int32_t i = 0; i < kWaveSpectrumSize; i += 8) random.state = EightStepsOf(s, random.state);
}

using Words = uint32_t __attribute__((vector_size(16)));
using Floats = float __attribute__((vector_size(16)));
using Masks = int32_t __attribute__((vector_size(16)));

// Each bin's random phase makes it a point: the amplitude times the phase's cosine and
// sine. The amplitudes are replaced by the real parts as they go.
void MakePoints(float* spectrum, float* pointIm, const uint32_t* draws) noexcept {
    // Most bins lie outside every partial. Their point is 0 times the cosine and sine: a
    // zero that carries the sign of each. No phase a bin can draw lies between a root of
    // either and the float next to it, so the sign follows from comparing the phase's bits
    // (positive floats order as integers) with the first float past each root. Every bin
    // gets that first, four at a time, and the others keep their amplitude and phase.
    const Floats unit = {1.0f / 16777216.0f, 1.0f / 16777216.0f, 1.0f / 16777216.0f,
                         1.0f / 16777216.0f};
    const Floats turn = {kFullTurn, kFullTurn, kFullTurn, kFullTurn};
    for (int32_t i = 0; i < kWaveSpectrumSize; i += 4) {
        Words raw;
        Floats amplitude;
        std::memcpy(&raw, draws + i, sizeof raw);
        std::memcpy(&amplitude, spectrum + i, sizeof amplitude);
        const Floats phase =
            __builtin_convertvector(reinterpret_cast<Masks>(raw >> 8), Floats) * unit * turn;
        const Words bits = reinterpret_cast<Words>(phase);
        const Words cosineBelow = (bits - kCosineNegativeFrom) < kCosineNegativeSpan;
        const Words sineBelow = bits >= kSineNegativeFrom;
        const Masks silent = amplitude == 0.0f;
        const Floats zeroRe = reinterpret_cast<Floats>(cosineBelow << 31);
        const Floats zeroIm = reinterpret_cast<Floats>(sineBelow << 31);
        const Floats re = silent ? zeroRe : amplitude;
        const Floats im = silent ? zeroIm : phase;
        std::memcpy(spectrum + i, &re, sizeof re);
        std::memcpy(pointIm + i, &im, sizeof im);
    }
    for (int32_t i = 0; i < kWaveSpectrumSize; ++i) {
        // A zero (of either sign) is a silent bin's point; anything else is an amplitude.
        const float amplitude = spectrum[i];
        if (amplitude == 0.0f) continue;
        const float phase = pointIm[i];
        spectrum[i] = amplitude * std::cos(phase);
        pointIm[i] = amplitude * std::sin(phase);
    }
}

} // namespace

void RebuildWavetable(Engine& e, float wave, float density) noexcept {
    PolyWaveState& s = e.onceOnly->polywave;
    TW_ASSERT(s.fft.ready);
    float bandwidth = BandwidthCents(density);
    SetAmplitudes(s.amplitudes, wave);
    if (bandwidth < 1.0f) bandwidth = 1.0f;
    float a[kWaveHarmonics];
    for (int32_t k = 0; k < kWaveHarmonics; ++k)
        a[k] = s.amplitudes[k] < 0.0f ? 0.0f : s.amplitudes[k];
    a[0] = 0.0f;

    float* spectrum = s.spectrum;
    for (int32_t i = 0; i < kWaveSpectrumSize; ++i) spectrum[i] = 0.0f;
    const float spread = std::pow(2.0f, bandwidth / 1200.0f) - 1.0f;
    for (int32_t k = 1; k < kWaveHarmonics; ++k) {
        // A silent harmonic would add exact zeros.
        if (a[k] == 0.0f) continue;
        const float harmonic = static_cast<float>(k);
        const float bandwidthHz = spread * kFundamental * harmonic;
        const float bwi = bandwidthHz / (2.0f * kReferenceRate);
        const float fi = kFundamental * harmonic / kReferenceRate;
        AddPartial(spectrum, a[k], fi, bwi);
    }

    DrawPhases(s, e.random);
    MakePoints(spectrum, s.pointIm, s.draws);
    float* re = s.wavetable;
    const float peak = WaveRealFromLowerHalf(s.fft, spectrum, s.pointIm, re, s.imaginary);

    // A table with nothing above 0 cannot be normalised; it is left silent.
    if (peak <= 0.0f) {
        for (int32_t i = 0; i < kWaveTableSize; ++i) re[i] = 0.0f;
        return;
    }
    DivideWave(re, peak);
}

void PreparePolyWave(PolyWaveState& s) noexcept {
    PrepareWaveFft(s.fft);
    for (int32_t byte = 0; byte < 4; ++byte) {
        s.eightSteps[byte][0] = 0;
        for (uint32_t v = 1; v < 256; ++v) {
            uint32_t x = v << (8 * byte);
            for (int32_t step = 0; step < 8; ++step) NextXorShift(x);
            s.eightSteps[byte][v] = x;
        }
    }
}

void ResetPolyWave(Engine& e) noexcept {
    if (e.onceOnly == nullptr) return;
    PolyWaveState& s = e.onceOnly->polywave;
    const float rate = static_cast<float>(e.sampleRate);
    s.envelopeScale = 4.0f * rate;
    s.stepScale = static_cast<float>(kWaveTableSize) / rate * 100.0f;
    for (int32_t n = 0; n < kPolyWaveNotes; ++n) {
        s.active[n] = 0;
        s.stage[n] = kPadIdle;
        s.level[n] = 0.0f;
    }
}

namespace {

struct PadEnvelope {
    float attack;
    float decay;
    float sustain;
    float release;
    float scale;
    float stepScale;
};

// The running sums of one frame, kept out of the shared state while they add up.
struct PadSums {
    float left = 0.0f;
    float right = 0.0f;
    float status = 0.0f;
};

// Steps note n's envelope with its gate as read once by the caller, moves its two table
// positions and adds its reads to the sums.
[[gnu::always_inline]] inline void PlayNote(Engine& e, const PadEnvelope& env, int32_t n,
                                            float gate, PadSums& sums) noexcept {
    PolyWaveState& s = e.onceOnly->polywave;
    const float scale = env.scale;
    float level = s.level[n];
    switch (s.stage[n]) {
    case kPadAttack:
        level = level + 1.0f / (scale * env.attack);
        if (level >= 1.0f) s.stage[n] = kPadDecay;
        if (gate == 0.0f) s.stage[n] = kPadRelease;
        break;
    case kPadDecay:
        level = level - 1.0f / (scale * env.decay);
        if (level <= env.sustain) s.stage[n] = kPadSustain;
        if (gate == 0.0f) {
            level = env.sustain;
            s.stage[n] = kPadRelease;
        }
        break;
    case kPadSustain:
        level = env.sustain;
        if (gate == 0.0f) s.stage[n] = kPadRelease;
        break;
    case kPadRelease:
        level = level - 1.0f / (scale * env.release);
        if (level <= 0.0f) s.stage[n] = kPadIdle;
        break;
    default:
        // The note finished on an earlier frame; it still reads the table once more
        // at level 0 so that its positions keep moving.
        s.active[n] = 0;
        level = 0.0f;
        break;
    }
    s.level[n] = level;

    const float step = e.notes.frequency[n] / static_cast<float>(kWaveTableSize) * env.stepScale;
    s.step[n] = step;
    float forward = s.forward[n] + step;
    if (forward >= static_cast<float>(kWaveTableSize)) forward -= kWaveTableSize;
    float backward = s.backward[n] - step;
    // The backward wrap adds one sample less than the table length.
    if (backward < 0.0f) backward += static_cast<float>(kWaveTableSize - 1);
    s.forward[n] = forward;
    s.backward[n] = backward;
    // The masks only matter if a position ever left the table; they cost nothing.
    sums.left += s.wavetable[static_cast<int32_t>(forward) & (kWaveTableSize - 1)] * level;
    sums.right += s.wavetable[static_cast<int32_t>(backward) & (kWaveTableSize - 1)] * level;
    if (std::fabs(sums.left) > 0.001f) sums.status = 1.0f;
}

// Plays every held note from 24 to 96 with its own linear envelope; returns the Status.
// Notes are played in ascending order either way, so the sums come out the same to the bit.
float RenderNotes(Engine& e, float attack, float decay, float sustain, float release) noexcept {
    PolyWaveState& s = e.onceOnly->polywave;
    PadSums sums;
    // NaN falls to the lower limit like a value below it: a NaN level would never finish.
    auto limit = [](float v, float low) { return !(v >= low) ? low : v > 1.0f ? 1.0f : v; };
    const PadEnvelope env{limit(attack, 0.001f),  limit(decay, 0.001f), limit(sustain, 0.0f),
                          limit(release, 0.001f), s.envelopeScale,      s.stepScale};

    const uint32_t changes = e.notes.gateChanges.load(std::memory_order_acquire);
    if (changes != s.scannedGateChanges) {
        // A gate was written since the last scan: look at every note for a new key-down.
        s.scannedGateChanges = changes;
        uint64_t mask[kPolyWaveNotes / 64] = {};
        for (int32_t n = kPolyWaveLowNote; n <= kPolyWaveHighNote; ++n) {
            const float gate = e.notes.gate[n];
            if (gate != 0.0f && s.lastGate[n] == 0) {
                // The level is kept, so a retriggered note carries on from where it is.
                s.active[n] = 1;
                s.stage[n] = kPadAttack;
            }
            s.lastGate[n] = static_cast<int32_t>(gate);
            if (s.active[n] == 0) continue;
            PlayNote(e, env, n, gate, sums);
            // A note that finishes here is passed over until the next scan.
            mask[n / 64] |= uint64_t{1} << (n % 64);
        }
        std::copy(std::begin(mask), std::end(mask), std::begin(s.activeMask));
    } else {
        // Every gate is as the scan found it, so no note can start: only the notes marked
        // at the scan are visited. Some may have finished since (or been stopped by a
        // reset); they stay marked until the next scan and are passed over.
        for (int32_t word = 0; word < kPolyWaveNotes / 64; ++word) {
            for (uint64_t bits = s.activeMask[word]; bits != 0; bits &= bits - 1) {
                const int32_t n = word * 64 + std::countr_zero(bits);
                if (s.active[n] != 0) PlayNote(e, env, n, e.notes.gate[n], sums);
            }
        }
    }
    s.leftSum = sums.left;
    s.rightSum = sums.right;
    return sums.status;
}

} // namespace

void RunPolyWave(Engine& e, int32_t slot) noexcept {
    using namespace poly_wave;
    if (e.onceOnly == nullptr) return;
    const int32_t p = PortIndex(slot, 0);
    const float wave = DirectCell(e, p + kWave);
    const float density = DirectCell(e, p + kDensity);
    const bool waveMoved = Differs(wave, e.previous[p + kWave]);
    const bool densityMoved = Differs(density, e.previous[p + kDensity]);
    // Each control that moved rebuilds the table, Wave first. When both moved on the
    // same frame, the first table is replaced before anything reads it: only its draws
    // from the generator count, so they are skipped instead of made into a table.
    if (waveMoved && densityMoved) {
        SkipDraws(e.onceOnly->polywave, e.random);
    } else if (waveMoved) {
        RebuildWavetable(e, wave, density);
    }
    if (densityMoved) RebuildWavetable(e, wave, density);
    e.previous[p + kWave] = wave;
    e.previous[p + kDensity] = density;
    e.outputs[p + kStatus] = RenderNotes(e, DirectCell(e, p + kAttack), DirectCell(e, p + kDecay),
                                         DirectCell(e, p + kSustain), DirectCell(e, p + kRelease));
    e.outputs[p + kOutL] = e.onceOnly->polywave.leftSum;
    e.outputs[p + kOutR] = e.onceOnly->polywave.rightSum;
}

} // namespace tw
