// Utility and display modules: arithmetic, switches, splitting and summing, constants,
// Parameter and the two displays.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tw::test {
namespace {

int32_t AddSource(EngineRig& rig, float value) {
    const int32_t s = rig.Add(kTypeParameter);
    rig.P().slots[s].value = value;
    return s;
}

// A module of `type` fed by sources on the given inputs, run until cached reads settle.
struct Fed {
    EngineRig rig;
    int32_t module;
    Fed(int32_t type, std::initializer_list<std::pair<int, float>> inputs) {
        std::vector<int32_t> sources;
        for (const auto& in : inputs) sources.push_back(AddSource(rig, in.second));
        module = rig.Add(type);
        int i = 0;
        for (const auto& in : inputs) EXPECT_TRUE(rig.Wire(sources[i++], 0, module, in.first));
        rig.Step();
        rig.Step();
    }
    float Out(int port = 0) const { return rig.Out(module, port); }
};

TEST(Arithmetic, TwoInputMathModules) {
    EXPECT_EQ(Fed(kTypeMul, {{0, 3.0f}, {1, -2.0f}}).Out(), -6.0f);
    EXPECT_EQ(Fed(kTypeDiv, {{0, 3.0f}, {1, -2.0f}}).Out(), -1.5f);
    EXPECT_EQ(Fed(kTypeAdd, {{0, 3.0f}, {1, -2.0f}}).Out(), 1.0f);
    EXPECT_EQ(Fed(kTypeSub, {{0, 3.0f}, {1, -2.0f}}).Out(), 5.0f);
    EXPECT_EQ(Fed(kTypeInverter, {{0, 0.25f}}).Out(), -0.25f);
}

TEST(Arithmetic, DivisionByZeroPassesTheDividend) {
    EXPECT_EQ(Fed(kTypeDiv, {{0, 3.0f}}).Out(), 3.0f);
    EXPECT_EQ(Fed(kTypeDiv, {{0, 3.0f}, {1, 0.0f}}).Out(), 3.0f);
}

TEST(Arithmetic, AmplifierDefaultsToUnityGain) {
    EXPECT_EQ(Fed(kTypeAmplifier, {{0, 0.7f}}).Out(), 0.7f);
    EXPECT_EQ(Fed(kTypeAmplifier, {{0, 0.5f}, {1, 3.0f}}).Out(), 1.5f);
}

TEST(Arithmetic, RescaleMapsZeroToOneOntoLowToHigh) {
    EXPECT_EQ(Fed(kTypeRescale, {{0, 0.25f}}).Out(), 0.25f);
    EXPECT_EQ(Fed(kTypeRescale, {{0, 0.5f}, {1, 10.0f}, {2, 2.0f}}).Out(), 6.0f);
    EXPECT_EQ(Fed(kTypeRescale, {{0, 0.5f}, {2, -1.0f}}).Out(), 0.0f);
}

TEST(Switches, TwoWaySwitchesTreatExactlyHalfAsOn) {
    EXPECT_EQ(Fed(kTypeSwitch2In1Out, {{0, 0.4999f}, {1, 1.0f}, {2, 2.0f}}).Out(), 1.0f);
    EXPECT_EQ(Fed(kTypeSwitch2In1Out, {{0, 0.5f}, {1, 1.0f}, {2, 2.0f}}).Out(), 2.0f);
    Fed off(kTypeSwitch1In2Out, {{0, 0.4999f}, {1, 7.0f}});
    EXPECT_EQ(off.Out(0), 7.0f);
    EXPECT_EQ(off.Out(1), 0.0f);
    Fed on(kTypeSwitch1In2Out, {{0, 0.5f}, {1, 7.0f}});
    EXPECT_EQ(on.Out(0), 0.0f);
    EXPECT_EQ(on.Out(1), 7.0f);
}

TEST(Switches, FourWaySwitchTreatsExactlyHalfAsOff) {
    Fed sw(kTypeSwitch1In4Out, {{0, 4.0f}, {1, 0.5f}, {2, 0.5001f}, {3, 1.0f}});
    EXPECT_EQ(sw.Out(1), 0.0f);
    EXPECT_EQ(sw.Out(2), 4.0f);
    EXPECT_EQ(sw.Out(3), 4.0f);
    EXPECT_EQ(sw.Out(4), 0.0f); // unconnected: reads 0
}

TEST(Routing, SplitCopiesItsInputOrTheSharedCell) {
    Fed split(kTypeSplit, {{0, -3.5f}});
    EXPECT_EQ(split.Out(0), -3.5f);
    EXPECT_EQ(split.Out(1), -3.5f);
    EngineRig rig;
    rig.Add(kTypeAmplifier);  // cached defaults never touch the shared cell
    rig.Add(kTypeOscillator); // stores its Pitch default 5.0 there
    const int32_t idle = rig.Add(kTypeSplit);
    rig.Step();
    EXPECT_EQ(rig.Out(idle, 0), 5.0f);
    EXPECT_EQ(rig.Out(idle, 1), 5.0f);
}

TEST(Routing, PatchbaySumsAllInputsOntoEveryOutput) {
    Fed bay(kTypePatchbay, {{0, 0.2f}, {1, 0.0f}, {2, 0.0f}, {3, 0.3f}});
    for (int k = 0; k < kPortsPerSlot; ++k) EXPECT_FLOAT_EQ(bay.Out(k), 0.5f) << k;
}

TEST(Sources, FixedValues) {
    EngineRig rig;
    const int32_t f = rig.Add(kTypeFixedValues);
    rig.Step();
    EXPECT_EQ(rig.Out(f, 0), 10.0f);
    EXPECT_EQ(rig.Out(f, 1), 5.0f);
    EXPECT_EQ(rig.Out(f, 2), 1.0f);
    EXPECT_EQ(rig.Out(f, 3), 0.083f);
    EXPECT_EQ(rig.Out(f, 4), 0.01f);
}

TEST(Displays, ParameterAndVoltMeterShowTheirValue) {
    EngineRig rig;
    const int32_t param = AddSource(rig, 0.42f);
    const int32_t meter = rig.Add(kTypeVoltMeter);
    rig.Wire(param, 0, meter, 0);
    rig.Step();
    EXPECT_EQ(rig.P().slots[param].displayValue.load(), 0.42f);
    EXPECT_EQ(rig.Out(param, 0), 0.42f);
    rig.Step();
    EXPECT_EQ(rig.P().slots[meter].displayValue.load(), 0.42f);
    EXPECT_EQ(rig.Out(meter, 0), 0.42f);
}

struct Scope {
    EngineRig rig;
    int32_t a440 = rig.Add(kTypeA440);
    int32_t scope = rig.Add(kTypeOscilloscope);
    Scope() { rig.Wire(a440, 0, scope, 0); }
    int32_t Count() const { return rig.E().utility.scopeCount[scope]; }
    bool Capturing() const { return rig.E().utility.scopeCapturing[scope] != 0; }
};

TEST(Oscilloscope, CapturesOneHundredAndOneSamplesFromARisingCrossing) {
    Scope s;
    std::vector<float> in;
    int32_t startFrame = -1, endFrame = -1;
    for (int32_t frame = 0; frame < 2000 && endFrame < 0; ++frame) {
        const bool before = s.Capturing();
        s.rig.Step();
        in.push_back(s.rig.E().inputs[PortIndex(s.scope, 0)]); // next frame's value
        if (!before && s.Capturing() && startFrame < 0) startFrame = frame;
        if (startFrame >= 0 && before && !s.Capturing()) endFrame = frame;
    }
    ASSERT_GE(startFrame, 0);
    ASSERT_GE(endFrame, 0);
    EXPECT_EQ(endFrame - startFrame + 1, 101);
    EXPECT_EQ(s.Count(), 0);
    // The first captured value is the first non-negative one after a negative one.
    const auto& buffer = s.rig.E().utility.scope[s.scope];
    EXPECT_GE(buffer[0].load(), 0.0f);
    EXPECT_LT(buffer[0].load(), 0.1f);
    EXPECT_GT(buffer[25].load(), 0.9f); // 441 Hz-ish sine: a quarter period later
}

TEST(Oscilloscope, ACrossingDuringACaptureDoesNotRestartIt) {
    EngineRig rig;
    const int32_t src = AddSource(rig, -1.0f);
    const int32_t scope = rig.Add(kTypeOscilloscope);
    rig.Wire(src, 0, scope, 0);
    const UtilityState& u = rig.E().utility;
    auto run = [&](float value, int frames) {
        rig.P().slots[src].value = value;
        for (int i = 0; i < frames; ++i) rig.Step();
    };
    run(-1.0f, 3);
    EXPECT_EQ(u.scopeCapturing[scope], 0);
    // The scope reads its input cached, one frame after the source changes.
    run(1.0f, 41);
    EXPECT_EQ(u.scopeCount[scope], 40);
    run(-1.0f, 5);
    run(1.0f, 30); // a second rising crossing, 46 samples into the capture
    EXPECT_EQ(u.scopeCount[scope], 75);
    EXPECT_EQ(u.scopeCapturing[scope], 1);
    run(1.0f, 26);
    EXPECT_EQ(u.scopeCapturing[scope], 0);
    EXPECT_EQ(u.scopeCount[scope], 0);
    // Positions 0..100 hold the 101 values the scope read, one frame behind the source.
    for (int k = 0; k < 41; ++k) EXPECT_EQ(u.scope[scope][k].load(), 1.0f) << k;
    for (int k = 41; k < 46; ++k) EXPECT_EQ(u.scope[scope][k].load(), -1.0f) << k;
    for (int k = 46; k < kScopeLength; ++k) EXPECT_EQ(u.scope[scope][k].load(), 1.0f) << k;
    // Staying above zero starts nothing; the next rising crossing does.
    run(1.0f, 200);
    EXPECT_EQ(u.scopeCapturing[scope], 0);
    run(-1.0f, 2);
    run(1.0f, 2);
    EXPECT_EQ(u.scopeCapturing[scope], 1);
    EXPECT_EQ(u.scopeCount[scope], 1);
}

TEST(Oscilloscope, PassesItsInputThrough) {
    Fed scope(kTypeOscilloscope, {{0, -0.3f}});
    EXPECT_EQ(scope.Out(), -0.3f);
}

} // namespace
} // namespace tw::test
