// Every device rate from 22.05 to 192 kHz hears the design as it sounds at 44.1 or 48 kHz:
// the engine keeps its own rate and the bridge resamples. Checked where the plugin, live
// play and the offline render meet: the engine's device-frame renderer.
#include "engine/engine.h"
#include "engine/render.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <gtest/gtest.h>
#include <soxr.h>

#include <cmath>
#include <complex>
#include <malloc.h>
#include <numbers>

namespace tw::test {
namespace {

using Design = void (*)(Project&, Engine&, HeadlessPlatform&);

void Demo(Project& p, Engine& engine, HeadlessPlatform& platform) {
    SetText(p.appFolder, TW_APP_DIR);
    ASSERT_EQ(OpenProject(p, engine, platform, TW_DEMO_PROJECT), LoadResult::Loaded);
}

// White noise through a resonant low pass whose cutoff an LFO sweeps.
void FilterSweep(Project& p, Engine&, HeadlessPlatform&) {
    const int32_t noise = AddModule(p, kTypeNoise), lfo = AddModule(p, kTypeLfo);
    const int32_t filter = AddModule(p, kTypeLowPass2Pole), out = AddModule(p, kTypeOutput);
    ASSERT_TRUE(Wire(p, noise, 0, filter, 0) && Wire(p, lfo, 0, filter, 1) &&
                Wire(p, filter, 0, out, 1));
}

// Noise through every filter, an envelope on the note gate, delay and reverb, beside a
// tuned oscillator, a PolyWave pad and a switch.
void EveryType(Project& p, Engine&, HeadlessPlatform&) {
    int32_t previous = kNone, amp = kNone;
    for (const int32_t type :
         {kTypeTestModule, kTypeLowPass2Pole, kTypeLowPass1Pole, kTypeHighPass1Pole, kTypeAllPass,
          kTypeFormant, kTypeAmplifier, kTypeDelay, kTypeReverb}) {
        const int32_t slot = AddModule(p, type);
        if (previous != kNone) {
            ASSERT_TRUE(Wire(p, previous, 0, slot, 0));
        }
        if (type == kTypeAmplifier) amp = slot;
        previous = slot;
    }
    const int32_t midi = AddModule(p, kTypeMidi2CV), adsr = AddModule(p, kTypeAdsr);
    const int32_t driver = AddModule(p, kTypeOscillatorDriver), osc = AddModule(p, kTypeOscillator);
    const int32_t pad = AddModule(p, kTypePolyWave), sw = AddModule(p, kTypeSwitch2In1Out);
    const int32_t out = AddModule(p, kTypeOutput);
    ASSERT_TRUE(Wire(p, midi, 0, adsr, 0) && Wire(p, adsr, 0, amp, 1));
    ASSERT_TRUE(Wire(p, midi, 1, driver, 0) && Wire(p, driver, 0, osc, 1));
    ASSERT_TRUE(Wire(p, osc, 0, sw, 1) && Wire(p, pad, 0, sw, 2));
    ASSERT_TRUE(Wire(p, previous, 0, out, 1) && Wire(p, sw, 0, out, 2) &&
                Wire(p, previous, 1, out, 5) && Wire(p, pad, 1, out, 6));
}

struct Render {
    std::vector<float> left, right;
    uint32_t latency = 0;
    uint64_t shortfalls = 0;
};

constexpr double kSeconds = 1.0;

// Notes at moments that are whole frames at every rate, in uneven device blocks.
Render RenderAt(Design design, uint32_t rate) {
    auto project = std::make_unique<Project>();
    auto engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;
    engine->sampleRate = static_cast<float>(OpenBridgeFor(*engine, rate));
    ResetEngine(*engine);
    design(*project, *engine, platform);
    const auto at = [rate](double seconds) { return static_cast<uint32_t>(seconds * rate); };
    const NoteEvent events[] = {
        {at(0.02), kNoteOn, 57, 100}, {at(0.5), kNoteOn, 64, 90}, {at(0.52), kNoteOff, 57, 0}};
    Render r;
    r.left.resize(at(kSeconds));
    r.right.resize(r.left.size());
    RenderOffline(*engine, events, at(kSeconds), 333, r.left.data(), r.right.data());
    r.latency = engine->bridge.Latency();
    r.shortfalls = engine->bridge.Shortfalls();
    return r;
}

void Fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi / len);
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (std::size_t k = 0; k < len / 2; ++k, w *= step) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// The whole signal under one Hann window, zero-padded: its energy density per bin.
struct Spectrum {
    std::vector<double> energy;
    double binWidth = 0.0;
};

Spectrum SpectrumOf(const std::vector<float>& x, double rate) {
    std::size_t n = 1;
    while (n < 2 * x.size()) n <<= 1;
    std::vector<std::complex<double>> a(n);
    for (std::size_t i = 0; i < x.size(); ++i)
        a[i] = x[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / x.size()));
    Fft(a);
    Spectrum s{std::vector<double>(n / 2), rate / n};
    for (std::size_t k = 0; k < n / 2; ++k) s.energy[k] = std::norm(a[k]) / (rate * n);
    return s;
}

// Level per third of an octave from 100 Hz up to `top`, in dB.
std::vector<double> BandLevels(const Spectrum& s, double top) {
    std::vector<double> bands;
    for (double low = 100.0; low * std::cbrt(2.0) <= top; low *= std::cbrt(2.0)) {
        double sum = 1e-30;
        for (std::size_t k = static_cast<std::size_t>(std::ceil(low / s.binWidth));
             k * s.binWidth < low * std::cbrt(2.0); ++k)
            sum += s.energy[k];
        bands.push_back(10.0 * std::log10(sum));
    }
    return bands;
}

// The strongest frequency below `top`, or the peak nearest `near`, placed between bins by a
// parabola through the log levels around it (well below a cent on a second of sound).
double Pitch(const std::vector<float>& x, double rate, double top, double near = 0.0) {
    const Spectrum s = SpectrumOf(x, rate);
    std::size_t peak = 1;
    if (near > 0.0) top = near * 1.01;
    for (auto k = static_cast<std::size_t>(near * 0.99 / s.binWidth) + 1; k * s.binWidth < top; ++k)
        if (s.energy[k] > s.energy[peak] || peak * s.binWidth < near * 0.99) peak = k;
    const double a = std::log(s.energy[peak - 1]), b = std::log(s.energy[peak]);
    const double c = std::log(s.energy[peak + 1]);
    return (static_cast<double>(peak) + 0.5 * (a - c) / (a - 2 * b + c)) * s.binWidth;
}

// The reference resampled in one piece: what the device must play, `latency` frames later.
// A second of silence goes first, as the device's stream has silence before the sound.
std::vector<float> Resampled(std::vector<float> x, uint32_t from, uint32_t to) {
    x.insert(x.begin(), from, 0.0f);
    std::vector<float> out(static_cast<std::size_t>(x.size() * to / from) + 16);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    quality.passband_end = kPassbandEnd;
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    runtime.log2_min_dft_size = runtime.log2_large_dft_size = 8;
    soxr_t soxr = soxr_create(from, to, 1, nullptr, &io, &quality, &runtime);
    std::size_t used = 0, made = 0, more = 0;
    soxr_process(soxr, x.data(), x.size(), &used, out.data(), out.size(), &made);
    soxr_process(soxr, nullptr, 0, nullptr, out.data() + made, out.size() - made, &more);
    soxr_delete(soxr);
    out.resize(made + more);
    out.erase(out.begin(), out.begin() + to);
    return out;
}

class RateTable : public ::testing::TestWithParam<std::tuple<int, uint32_t>> {};

constexpr Design kDesigns[] = {Demo, FilterSweep, EveryType};

TEST_P(RateTable, SoundsAsAtTheDesignRate) {
    const auto [which, rate] = GetParam();
    const Design design = kDesigns[which];
    const uint32_t own = EngineRateFor(rate);
    const Render reference = RenderAt(design, own);
    const Render device = RenderAt(design, rate);
    ASSERT_GT(*std::max_element(reference.left.begin(), reference.left.end()), 0.001f);
    if (rate == own) {
        EXPECT_EQ(device.latency, 0u);
        EXPECT_EQ(device.left, reference.left);
        EXPECT_EQ(device.right, reference.right);
        return;
    }
    EXPECT_EQ(device.shortfalls, 0u);
    ASSERT_GT(device.latency, 0u);
    // The device hears the reference, resampled, exactly the reported latency later (short of
    // the end, where the one-piece resampling runs out of input).
    const std::vector<float> expected = Resampled(reference.left, own, rate);
    const std::size_t compared = std::min(device.left.size() - device.latency, expected.size());
    double worst = 0.0, peak = 0.0;
    for (std::size_t t = 0; t + rate / 20 < compared; ++t) {
        worst = std::max(worst, std::fabs(device.left[t + device.latency] - expected[t]) + 0.0);
        peak = std::max(peak, std::fabs(expected[t]) + 0.0);
    }
    EXPECT_LT(worst, 1e-4 * peak) << "latency " << device.latency;

    // Same pitch and the same spectrum, as far as the lower rate carries sound.
    const std::vector<float> heard(device.left.begin() + device.latency, device.left.end());
    const std::vector<float> made(reference.left.begin(),
                                  reference.left.begin() + heard.size() * own / rate);
    const double top = std::min(18000.0, 0.98 * kPassbandEnd * std::min(own, rate) / 2.0);
    const auto a = BandLevels(SpectrumOf(made, own), top);
    const auto b = BandLevels(SpectrumOf(heard, rate), top);
    ASSERT_EQ(a.size(), b.size());
    const double loudest = *std::max_element(a.begin(), a.end());
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (a[k] > loudest - 60.0) {
            EXPECT_NEAR(b[k], a[k], 0.5) << "band " << k;
        }
    }
    if (which == 0) {
        const double madePitch = Pitch(made, own, top);
        const double cents = 1200.0 * std::log2(Pitch(heard, rate, top, madePitch) / madePitch);
        EXPECT_LT(std::fabs(cents), 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(DesignsAndDeviceRates, RateTable,
                         ::testing::Combine(::testing::Values(0, 1, 2),
                                            ::testing::Values(22050u, 32000u, 44100u, 48000u,
                                                              88200u, 96000u, 176400u, 192000u)));

TEST(RateBridge, PicksTheDesignRateThatDividesOrIsNearer) {
    const std::pair<uint32_t, uint32_t> table[] = {
        {22050, 44100}, {32000, 44100}, {44100, 44100},  {48000, 48000},
        {88200, 44100}, {96000, 48000}, {176400, 44100}, {192000, 48000},
        {24000, 48000}, {64000, 48000}, {8000, 8000},    {384000, 384000}};
    for (const auto& [device, engine] : table) EXPECT_EQ(EngineRateFor(device), engine) << device;
}

// Running allocates nothing: everything the bridge needs was set up when it opened.
TEST(RateBridge, PlayingAllocatesNothing) {
    auto project = std::make_unique<Project>();
    auto engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;
    AdoptSampleRate(*engine, 32000);
    FilterSweep(*project, *engine, platform);
    std::vector<float> left(4096), right(4096);
    const std::size_t before = mallinfo2().uordblks;
    for (const uint32_t block : {1u, 7u, 64u, 512u, 4096u, 333u})
        for (int i = 0; i < 40; ++i) RenderDeviceFrames(*engine, left.data(), right.data(), block);
    EXPECT_EQ(mallinfo2().uordblks, before);
}

} // namespace
} // namespace tw::test
