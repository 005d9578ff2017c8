// Every module type rendered from fixed sources and a fixed note script, compared bit for
// bit with stored renders of the engine as it sounds today. A row names the source of each
// input position; a changed coefficient, table, time or default shows up as a changed hash.
// TW_PRINT_GOLDEN=1 prints fresh values in the form of module_golden.inc.
#include "model/catalogue.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace tw::test {
namespace {

enum SourceKind { kUnwired, kKnob, kGate, kPitch, kVelo, kSquare, kSine, kWhite };
struct Source {
    SourceKind kind = kUnwired;
    float value = 0.0f;
};
constexpr Source K(float v) {
    return {kKnob, v};
}
constexpr Source kNo{kUnwired}, kGateIn{kGate}, kPitchIn{kPitch}, kVeloIn{kVelo};
// An untouched Lfo (a 0/1 square near 19 Hz), A440Hz and white noise.
constexpr Source kSq{kSquare}, kSin{kSine}, kNoise{kWhite};

struct Row {
    const char* name;
    int32_t type;
    std::vector<Source> inputs; // by input position; kNo leaves the position unwired
    double rate = 44100.0;      // the sample rate of the engine reset
};

const Row kRows[] = {
    {"Output", kTypeOutput, {kNo, kSin, kNo, kNo, kNo, K(0.3f)}},
    {"Output loud", kTypeOutput, {K(2.0f), kSq, K(3.0f), kNo, kNo, kNoise}},
    {"Output negative volume", kTypeOutput, {K(-2.0f), kSin}},
    {"Midi2CV", kTypeMidi2CV, {}},
    {"Delay", kTypeDelay, {kSq, K(0.05f), K(0.5f), K(0.7f)}},
    {"Delay short, unwired controls", kTypeDelay, {kSin}},
    {"Delay zero", kTypeDelay, {kSq, K(0.0f), K(0.9f), K(1.0f)}},
    {"Split", kTypeSplit, {kSin}},
    {"Parameter", kTypeParameter, {}},
    {"Amplifier by velocity", kTypeAmplifier, {kSin, kVeloIn}},
    {"Amplifier unwired level", kTypeAmplifier, {kNoise}},
    {"Combine", kTypeCombine, {kSin, K(0.5f)}},
    {"Combine unwired side", kTypeCombine, {kSq}},
    {"Inverter", kTypeInverter, {kSin}},
    {"Volt Meter", kTypeVoltMeter, {kSin}},
    {"2 Pole Low Pass", kTypeLowPass2Pole, {kSq, K(0.1f), K(0.9f)}},
    {"2 Pole Low Pass limits", kTypeLowPass2Pole, {kNoise, kNo, K(5.0f)}},
    {"2 Pole Low Pass slow", kTypeLowPass2Pole, {kSq, K(-1.0f), K(-0.5f)}},
    {"ADSR", kTypeAdsr, {kGateIn, K(0.0f), K(0.02f), K(0.5f), K(0.05f), K(0.8f)}},
    {"ADSR mid times", kTypeAdsr, {kGateIn, K(0.0f), K(0.25f), K(0.6f), K(0.35f)}},
    {"ADSR longer times", kTypeAdsr, {kGateIn, K(0.0f), K(0.45f), K(0.2f), K(0.55f)}},
    {"ADSR long attack", kTypeAdsr, {kGateIn, K(0.2f), K(0.0f), K(0.3f), K(0.0f)}},
    {"ADSR square gate", kTypeAdsr, {kSq, K(0.0f), K(0.0f), K(0.0f), K(0.01f)}},
    {"ADSR swinging gate", kTypeAdsr, {kSin, K(0.01f), K(0.01f), K(0.7f), K(0.01f)}},
    {"ADSR ends of table", kTypeAdsr, {kGateIn, K(-3.0f), K(50.0f), K(0.5f), K(2.0f)}},
    {"Oscilloscope", kTypeOscilloscope, {kSin}},
    {"Fixed Values", kTypeFixedValues, {}},
    {"Oscillator Driver", kTypeOscillatorDriver, {kPitchIn, K(0.6f), K(1.0f), K(0.5f)}},
    {"Oscillator Driver octave only", kTypeOscillatorDriver, {kNo, K(0.3f)}},
    {"PolyMidi", kTypePolyMidi, {}},
    {"Mul", kTypeMul, {kSin, K(-2.0f)}},
    {"Div", kTypeDiv, {kSin, K(0.3f)}},
    {"Div by zero", kTypeDiv, {kSin, K(0.0f)}},
    {"Add", kTypeAdd, {kSin, K(0.25f)}},
    {"Sub", kTypeSub, {kSin, kSq}},
    {"A440Hz", kTypeA440, {}},
    {"Test Module", kTypeTestModule, {}},
    {"Rescale", kTypeRescale, {kSin, K(3.0f), K(-1.0f)}},
    {"Rescale defaults", kTypeRescale, {kSin}},
    {"Oscillator untouched", kTypeOscillator, {}},
    {"Oscillator sine", kTypeOscillator, {K(0.1f), K(5.0f)}},
    {"Oscillator triangle", kTypeOscillator, {K(0.4f), kPitchIn}},
    {"Oscillator triangle high", kTypeOscillator, {K(0.4f), K(7.0f)}},
    {"Oscillator saw", kTypeOscillator, {K(0.6f), K(8.0f)}},
    {"Oscillator pulse", kTypeOscillator, {K(0.9f), K(5.8f), kNo, K(0.7f)}},
    {"Oscillator saw high", kTypeOscillator, {K(0.6f), K(8.6f)}},
    {"Oscillator pulse synced", kTypeOscillator, {K(0.9f), K(6.2f), kSin, K(0.3f)}},
    {"Switch 2In 1Out at half", kTypeSwitch2In1Out, {K(0.5f), kSin, kSq}},
    {"Switch 1In 2Out", kTypeSwitch1In2Out, {kSq, kSin}},
    {"Switch 1In 4Out", kTypeSwitch1In4Out, {kSin, K(0.5f), K(0.5001f), kSq}},
    {"Reverb", kTypeReverb, {kSq, kSin, K(0.5f), K(1.0f), K(0.3f), K(1.0f)}},
    {"Reverb switched, unwired controls", kTypeReverb, {kSin, kNo, kNo, kNo, kNo, kSq}},
    {"Noise", kTypeNoise, {}},
    {"PolyWave", kTypePolyWave, {K(0.6f), K(0.01f), K(0.01f), K(0.5f), K(0.01f), K(0.5f)}},
    {"PolyWave odd", kTypePolyWave, {K(0.9f), K(0.0f), K(0.02f), K(0.3f), K(0.0f), K(0.9f)}},
    {"PolyWave sparse", kTypePolyWave, {K(0.3f), K(0.0f), K(0.0f), K(1.0f), K(0.0f), K(0.1f)}},
    {"Formant", kTypeFormant, {kNoise, K(0.625f)}},
    {"Formant low", kTypeFormant, {kSq, K(0.1f)}},
    {"1 Pole Low Pass", kTypeLowPass1Pole, {kSq}},
    {"1 Pole Low Pass slow", kTypeLowPass1Pole, {kNoise, K(0.05f)}},
    {"1 Pole High Pass", kTypeHighPass1Pole, {kSq}},
    {"1 Pole High Pass slow", kTypeHighPass1Pole, {kNoise, K(0.05f)}},
    {"All Pass Filter", kTypeAllPass, {kSq, K(0.5f)}},
    {"Lfo untouched", kTypeLfo, {}},
    {"Lfo sine bipolar", kTypeLfo, {K(0.1f), K(1.0f), K(0.0f), K(2.0f)}},
    {"Lfo triangle", kTypeLfo, {K(0.4f), K(0.8f), K(1.0f), K(1.0f)}},
    {"Lfo ramp slow", kTypeLfo, {K(0.6f), K(0.02f), K(1.0f), K(1.0f)}},
    {"Patchbay", kTypePatchbay, {K(0.2f), kSin, kSq}},
    {"Oscillator at 48 kHz", kTypeOscillator, {K(0.1f), kPitchIn}, 48000.0},
    {"A440Hz at 48 kHz", kTypeA440, {}, 48000.0},
    {"Lfo at 48 kHz", kTypeLfo, {K(0.4f), K(0.8f), K(1.0f), K(1.0f)}, 48000.0},
    {"ADSR at 48 kHz", kTypeAdsr, {kGateIn, K(0.0f), K(0.02f), K(0.5f), K(0.05f)}, 48000.0},
    {"Delay at 48 kHz", kTypeDelay, {kSq, K(0.05f), K(0.5f), K(0.7f)}, 48000.0},
    {"PolyWave at 48 kHz", kTypePolyWave, {K(0.6f), K(0.0f), K(0.0f), K(1.0f)}, 48000.0},
};

struct Golden {
    const char* name;
    uint64_t hash;
    float samples[3];
};

const Golden kGolden[] = {
#include "engine/module_golden.inc"
};

constexpr uint32_t kFrames = 8192;
constexpr uint32_t kSampleFrames[3] = {64, 1600, 5000};
// Note 60 alone, 64 over it and released, a retrigger during the release, then a chord
// and two notes outside the PolyWave's range.
const NoteEvent kScript[] = {
    {0, kNoteOn, 60, 100},   {500, kNoteOn, 64, 90},   {1000, kNoteOff, 64, 0},
    {1500, kNoteOff, 60, 0}, {1700, kNoteOn, 67, 127}, {2600, kNoteOff, 67, 0},
    {3000, kNoteOn, 40, 50}, {3000, kNoteOn, 45, 60},  {3000, kNoteOn, 52, 70},
    {3200, kNoteOn, 20, 80}, {3200, kNoteOn, 100, 80}, {3500, kNoteOff, 45, 0},
};

struct Result {
    uint64_t hash = 14695981039346656037u;
    float samples[3] = {};
    void Add(float x) { hash = (hash ^ std::bit_cast<uint32_t>(x)) * 1099511628211u; }
};

// Builds the row's sources, then the module, so that the module comes last in the list.
int32_t Build(EngineRig& rig, const Row& row) {
    std::vector<std::pair<int32_t, int32_t>> feeds; // (slot, output port) per input
    for (const Source& s : row.inputs) {
        static constexpr int32_t kTypes[] = {
            0,        kTypeParameter, kTypeMidi2CV, kTypeMidi2CV, kTypeMidi2CV,
            kTypeLfo, kTypeA440,      kTypeNoise};
        static constexpr int32_t kPorts[] = {0, 0, 0, 1, 2, 0, 0, 0};
        const int32_t slot = s.kind == kUnwired ? kNone : rig.Add(kTypes[s.kind]);
        if (s.kind == kKnob) rig.Set(slot, s.value);
        feeds.emplace_back(slot, kPorts[s.kind]);
    }
    const int32_t module = rig.Add(row.type);
    rig.Set(module, 0.75f); // only a Parameter reads it
    for (int32_t k = 0; k < static_cast<int32_t>(feeds.size()); ++k) {
        const auto [slot, port] = feeds[k];
        if (slot != kNone) {
            EXPECT_TRUE(rig.Wire(slot, port, module, k)) << k;
        }
    }
    return module;
}

// Hashes every output, both channels and the display's value on every frame, then the scope's
// capture; keeps a few samples of the first output (the left channel for the Output).
Result Render(EngineRig& rig, const Row& row) {
    const int32_t module = Build(rig, row);
    Result r;
    std::size_t next = 0;
    for (uint32_t frame = 0; frame < kFrames; ++frame) {
        for (; next < std::size(kScript) && kScript[next].frame == frame; ++next) {
            HandleNoteEvent(rig.E(), kScript[next].status, kScript[next].note,
                            kScript[next].velocity);
        }
        float block[2] = {};
        ProcessBlock(rig.E(), block, 1);
        for (int32_t k = 0; k < kPortsPerSlot; ++k) r.Add(rig.Out(module, k));
        r.Add(block[0]);
        r.Add(block[1]);
        r.Add(rig.P().slots[module].displayValue);
        for (int32_t i = 0; i < 3; ++i) {
            if (frame == kSampleFrames[i]) {
                r.samples[i] = row.type == kTypeOutput ? block[0] : rig.Out(module, 0);
            }
        }
    }
    for (const auto& x : rig.E().utility.scope[module]) r.Add(x);
    return r;
}

std::string Literal(float x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(x));
    std::string s = text;
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s + "f";
}

bool Same(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

TEST(ModuleGolden, EveryRowRendersAsStored) {
    const bool print = std::getenv("TW_PRINT_GOLDEN") != nullptr;
    ASSERT_TRUE(print || std::size(kGolden) == std::size(kRows));
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(row.name);
        EngineRig rig(row.rate);
        const Result r = Render(rig, row);
        if (print) {
            std::printf("{\"%s\", 0x%016llxu, {%s, %s, %s}},\n", row.name,
                        static_cast<unsigned long long>(r.hash), Literal(r.samples[0]).c_str(),
                        Literal(r.samples[1]).c_str(), Literal(r.samples[2]).c_str());
            continue;
        }
        const Golden& g = kGolden[i];
        ASSERT_STREQ(g.name, row.name);
        for (int32_t k = 0; k < 3; ++k) {
            EXPECT_TRUE(Same(r.samples[k], g.samples[k]))
                << "frame " << kSampleFrames[k] << ": " << Literal(r.samples[k]) << ", stored "
                << Literal(g.samples[k]);
        }
        EXPECT_EQ(r.hash, g.hash);
    }
}

TEST(ModuleGolden, TheTableCoversTheCatalogue) {
    std::set<int32_t> covered;
    for (const Row& row : kRows) covered.insert(row.type);
    for (const ModuleTypeInfo& info : ModuleTypes()) {
        EXPECT_TRUE(covered.count(info.type)) << info.name;
    }
}

} // namespace
} // namespace tw::test
