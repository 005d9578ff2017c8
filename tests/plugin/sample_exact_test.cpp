// A built plugin, loaded by a host, plays exactly what the editor's engine renders.
#include "designs.h"
#include "plugin_rig.h"

#include <lilv/lilv.h>
#include <lv2/presets/presets.h>

#include <cstdio>
#include <limits>
#include <map>
#include <tuple>

namespace tw::test {
namespace {

using DesignMaker = std::unique_ptr<Design> (*)(double);

struct NamedDesign {
    const char* name;
    DesignMaker make;
};
const NamedDesign kDesigns[] = {
    {"Demo", DemoDesign}, {"EveryFamily", EveryFamilyDesign}, {"Tone", ToneDesign}};

// Notes that land inside blocks, on a block boundary (512 = 8 x 64), on the first frame,
// overlapping, a note-on with velocity 0, and a release of a note that was never held.
const std::vector<NoteEvent> kEvents = {{0, kNoteOn, 57, 64},    {10, kNoteOn, 60, 100},
                                        {512, kNoteOn, 64, 90},  {700, kNoteOff, 57, 0},
                                        {5000, kNoteOff, 60, 0}, {7000, kNoteOff, 64, 0},
                                        {7001, kNoteOn, 67, 0},  {9000, kNoteOn, 72, 127},
                                        {9003, kNoteOff, 40, 0}, {15000, kNoteOff, 72, 0}};
constexpr uint32_t kFrames = 20000;

class SampleExact : public ::testing::TestWithParam<std::tuple<NamedDesign, double, uint32_t>> {};

TEST_P(SampleExact, PluginOutputEqualsTheOfflineRenderBitForBit) {
    const auto& [named, rate, block] = GetParam();
    PluginScratch scratch;
    auto design = named.make(rate);
    const fs::path bundle = BuildInto(design->P(), scratch.path(), named.name);
    const Rendered reference = RenderReference(*design->engine, kEvents, kFrames);

    LilvHost host(bundle);
    ASSERT_TRUE(host.Start(UriOf(design->P()), rate));
    std::vector<float> left, right;
    host.Play(kEvents, kFrames, block, left, right);

    EXPECT_EQ(FirstDifference(left, reference.left), -1);
    EXPECT_EQ(FirstDifference(right, reference.right), -1);
    // Identical silence would prove nothing.
    EXPECT_TRUE(std::any_of(reference.left.begin(), reference.left.end(),
                            [](float s) { return s != 0.0f; }));
}

INSTANTIATE_TEST_SUITE_P(RatesAndBlocks, SampleExact,
                         ::testing::Combine(::testing::ValuesIn(kDesigns),
                                            ::testing::Values(44100.0, 48000.0),
                                            ::testing::Values(64u, 512u)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(static_cast<int>(std::get<1>(info.param))) +
                                    "_" + std::to_string(std::get<2>(info.param));
                         });

TEST(PluginControls, AControlChangeActsAsTurningThePanelKnob) {
    PluginScratch scratch;
    auto design = EveryFamilyDesign(48000.0);
    Project& p = design->P();
    const fs::path bundle = BuildInto(p, scratch.path(), "Controls");
    LilvHost host(bundle);
    ASSERT_TRUE(host.Start(UriOf(p), 48000.0));

    const std::vector<NoteEvent> held = {{5, kNoteOn, 48, 110}};
    Rendered reference = RenderReference(*design->engine, held, 4096);
    std::vector<float> left, right;
    host.Play(held, 4096, 256, left, right);

    // The cutoff Parameter (the second one) goes to step 90, the wave control to 1.
    int32_t cutoff = -1, wave = -1;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        if (p.slots[s].type != kTypeParameter) continue;
        (wave < 0 ? wave : cutoff < 0 ? cutoff : s) = s;
    }
    host.SetControl(lv2::ParameterSymbol(cutoff), 90.0f);
    host.SetControl(lv2::ParameterSymbol(wave), 0.6f); // the nearest step is 1
    p.slots[cutoff].patchValues[0] = 90;
    p.RecomputeParameterValue(cutoff);
    p.slots[wave].patchValues[0] = 1;
    p.RecomputeParameterValue(wave);
    const Rendered after = RenderReference(*design->engine, {}, 4096);
    reference.left.insert(reference.left.end(), after.left.begin(), after.left.end());
    host.Play({}, 4096, 256, left, right);

    EXPECT_EQ(FirstDifference(left, reference.left), -1);
}

TEST(PluginControls, ValuesOutsideTheRangeStopAtItsEnds) {
    PluginScratch scratch;
    auto design = ToneDesign(44100.0);
    Project& p = design->P();
    const fs::path bundle = BuildInto(p, scratch.path(), "Clamped");
    LilvHost host(bundle);
    ASSERT_TRUE(host.Start(UriOf(p), 44100.0));
    int32_t volume = -1;
    for (int32_t s = 0; s < kSlotCount; ++s)
        if (p.slots[s].type == kTypeParameter) volume = s;
    host.SetControl(lv2::ParameterSymbol(volume), 1.0e9f);
    p.slots[volume].patchValues[0] = 100;
    p.RecomputeParameterValue(volume);
    const Rendered reference = RenderReference(*design->engine, {}, 512);
    std::vector<float> left, right;
    host.Play({}, 512, 512, left, right);
    EXPECT_EQ(FirstDifference(left, reference.left), -1);

    // Not-a-number is no position at all: the control stays where it was.
    host.SetControl(lv2::ParameterSymbol(volume), std::numeric_limits<float>::quiet_NaN());
    const Rendered more = RenderReference(*design->engine, {}, 512);
    left.clear();
    right.clear();
    host.Play({}, 512, 512, left, right);
    EXPECT_EQ(FirstDifference(left, more.left), -1);
}

TEST(PluginRun, PlayingAgainAfterDeactivationStartsAfresh) {
    PluginScratch scratch;
    auto design = EveryFamilyDesign(44100.0);
    const fs::path bundle = BuildInto(design->P(), scratch.path(), "Again");
    LilvHost host(bundle);
    ASSERT_TRUE(host.Start(UriOf(design->P()), 44100.0));
    std::vector<float> first, second, right;
    host.Play(kEvents, 6000, 512, first, right);
    host.Restart();
    host.Play(kEvents, 6000, 512, second, right);
    EXPECT_EQ(FirstDifference(first, second), -1);
}

TEST(PluginRun, OnlyNoteMessagesOfChannelOneReachTheEngine) {
    PluginScratch scratch;
    auto design = DemoDesign(44100.0);
    const fs::path bundle = BuildInto(design->P(), scratch.path(), "Channels");
    const std::vector<NoteEvent> note = {{100, kNoteOn, 60, 100}};
    const Rendered reference = RenderReference(*design->engine, note, 2048);
    LilvHost host(bundle);
    ASSERT_TRUE(host.Start(UriOf(design->P()), 44100.0));
    host.ClearSequence();
    host.AppendMidi(10, {0x91, 62, 100}); // channel 2
    host.AppendMidi(20, {0xB0, 7, 0});    // a controller
    host.AppendMidi(30, {0x90, 64});      // cut short
    host.AppendMidi(100, {0x90, 60, 100});
    std::vector<float> l, r;
    host.RunPrepared(2048, l, r);
    EXPECT_EQ(FirstDifference(l, reference.left), -1);
}

TEST(PluginPresets, EveryPatchIsAPresetWithItsNameAndValues) {
    PluginScratch scratch;
    auto design = EveryFamilyDesign(44100.0);
    Project& p = design->P();
    const fs::path bundle = BuildInto(p, scratch.path(), "Presets");
    LilvHost host(bundle);
    const LilvPlugin* plugin = host.Find(UriOf(p));
    ASSERT_NE(plugin, nullptr);
    LilvWorld* world = host.World();
    LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
    EXPECT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(kPatchCount));

    std::map<std::string, int32_t> found;
    LILV_FOREACH(nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world, preset);
        LilvState* state = lilv_state_new_from_world(world, host.UridMap(), preset);
        ASSERT_NE(state, nullptr);
        const std::string uri = lilv_node_as_uri(preset);
        const int32_t patch = std::stoi(uri.substr(uri.rfind("#patch") + 6));
        ASSERT_TRUE(IsPatch(patch)) << uri;
        found[uri] = patch;
        EXPECT_EQ(std::string(lilv_state_get_label(state)), GetText(p.patchNames[patch]));
        std::map<std::string, float> values;
        lilv_state_emit_port_values(
            state,
            [](const char* symbol, void* user, const void* value, uint32_t, uint32_t) {
                (*static_cast<std::map<std::string, float>*>(user))[symbol] =
                    *static_cast<const float*>(value);
            },
            &values);
        for (int32_t s = 0; s < kSlotCount; ++s) {
            if (p.slots[s].type != kTypeParameter) continue;
            EXPECT_EQ(values[lv2::ParameterSymbol(s)],
                      static_cast<float>(p.slots[s].patchValues[patch]))
                << uri << " slot " << s;
        }
        lilv_state_free(state);
    }
    EXPECT_EQ(found.size(), static_cast<std::size_t>(kPatchCount));
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);
}

// Not a check but a measurement for the record: the demo's load time and its cost per
// block of 512 frames while a chord plays.
TEST(PluginCost, DemoLoadTimeAndCpuPerBlock) {
    PluginScratch scratch;
    auto design = DemoDesign(48000.0);
    const fs::path bundle = BuildInto(design->P(), scratch.path(), "Cost");
    LilvHost host(bundle);
    ASSERT_TRUE(host.Start(UriOf(design->P()), 48000.0));
    const std::vector<NoteEvent> chord = {
        {0, kNoteOn, 48, 100}, {0, kNoteOn, 55, 100}, {0, kNoteOn, 60, 100}};
    constexpr uint32_t kBlocks = 400;
    std::vector<float> left, right;
    const double seconds = host.Play(chord, kBlocks * 512, 512, left, right);
    const double perBlock = seconds / kBlocks;
    const double budget = 512.0 / 48000.0;
    std::printf("[ measured ] demo plugin: load %.1f ms, %.1f us per 512-frame block at 48 kHz "
                "(%.2f%% of real time)\n",
                host.loadSeconds * 1e3, perBlock * 1e6, 100.0 * perBlock / budget);
    RecordProperty("load_ms", std::to_string(host.loadSeconds * 1e3));
    RecordProperty("block_us", std::to_string(perBlock * 1e6));
    EXPECT_LT(perBlock, budget);
}

} // namespace
} // namespace tw::test
