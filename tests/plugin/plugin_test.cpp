// Built plugins in a host play exactly what the editor renders offline; controls act as the
// knobs; the description is what hosts need; a damaged plugin loads, plays silence, says why.
#include "engine/controls.h"
#include "engine/engine.h"
#include "engine/render.h"
#include "export/plugin_build.h"
#include "mini_host.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "plugin/manifest_reader.h"
#include "support/builders.h"
#include "support/files.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/presets/presets.h>

#include <array>
#include <elf.h>
#include <limits>
#include <map>
#include <sys/wait.h>
#include <tuple>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

struct Design {
    std::unique_ptr<Project> project = std::make_unique<Project>();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;

    // An empty project, or the demo project as the program opens it at start-up.
    explicit Design(double rate, bool demo = false) {
        engine->sampleRate = rate;
        SetText(project->appFolder, TW_APP_DIR);
        ResetEngine(*engine);
        EXPECT_TRUE(!demo || OpenProject(*project, *engine, platform, TW_DEMO_PROJECT) ==
                                 LoadResult::Loaded);
    }
    Project& P() { return *project; }
};

// A bit of every family, three panel Parameters (slots 15 to 17) with values in every
// patch, and the gap of a deleted module, so that slots are not dense.
std::unique_ptr<Design> EveryFamilyDesign(double rate) {
    auto d = std::make_unique<Design>(rate);
    Project& p = d->P();
    for (const int32_t type : {kTypeMidi2CV, kTypeOscillatorDriver, kTypeInverter, kTypeOscillator,
                               kTypeAdsr, kTypeAmplifier, kTypeNoise, kTypeLowPass2Pole, kTypeAdd,
                               kTypePatchbay, kTypeDelay, kTypeReverb, kTypePolyWave, kTypeLfo,
                               kTypeOutput, kTypeParameter, kTypeParameter, kTypeParameter})
        AddModule(p, type);
    p.DeleteModule(2);
    // From slot and output to slot and input. Patchbay output 1 appears once output 0 has a
    // cable.
    const int32_t cables[][4] = {{0, 1, 1, 0},   {1, 0, 3, 1},   {15, 0, 3, 0},  {0, 0, 4, 0},
                                 {3, 0, 5, 0},   {4, 0, 5, 1},   {6, 1, 7, 0},   {16, 0, 7, 1},
                                 {13, 0, 7, 2},  {5, 0, 8, 0},   {7, 0, 8, 1},   {8, 0, 9, 0},
                                 {9, 0, 10, 0},  {9, 1, 11, 1},  {10, 0, 11, 0}, {11, 0, 14, 1},
                                 {11, 1, 14, 5}, {12, 0, 14, 2}, {12, 1, 14, 6}, {17, 0, 14, 0}};
    for (const auto& c : cables) EXPECT_TRUE(Wire(p, c[0], c[1], c[2], c[3]));
    for (const auto& [slot, steps, start] : {std::tuple{15, 3, 2}, {16, 100, 37}, {17, 10, 7}}) {
        p.slots[slot].steps = steps;
        for (int32_t patch = 0; patch < kPatchCount; ++patch)
            p.slots[slot].patchValues[patch] = patch == 0 ? start : patch % (steps + 1);
        p.RecomputeParameterValue(slot);
    }
    SetText(p.patchNames[5], "Dark \"Pad\" 100%");
    // The wave and the cutoff follow MIDI controllers 1 and 74.
    EXPECT_TRUE(p.BindMidiCc(15, 1) && p.BindMidiCc(16, 74));
    return d;
}

struct QuietBuildHost final : BuildHost {
    void ShowError(std::string_view) override {}
    void ShowWarning(std::string_view) override {}
    void Pause(int) override {}
    Bitmap CapturePanel(int32_t, int32_t) override { return {}; }
};

// Builds the project as the Build Project dialog does into `target`; returns the plugin file.
std::string BuildInto(Project& project, const fs::path& target, std::string_view name,
                      int32_t platform = kTarget64Bit) {
    SetText(project.outputFolder, target.string());
    SetText(project.pluginName, name);
    project.targetPlatform = platform;
    std::string lines;
    BuildLog log{[&](std::string_view line) { lines.append(line).append("\n"); }};
    QuietBuildHost host;
    EXPECT_TRUE(BuildPlugin(project, {384, 261}, log, host));
    EXPECT_EQ(log.errorCount, 0) << lines;
    return (target / (std::string(name) + ".dll")).string();
}

std::string UriOf(const Project& project) {
    return lv2::PluginUri(GetText(project.uniqueId), GetText(project.pluginName));
}

// The editor's reference: RenderOffline of the engine the project was loaded with, left and
// right. Only the complete channel-1 notes and Control Changes of the events play.
using Rendered = std::array<std::vector<float>, 2>;
Rendered RenderReference(Engine& engine, const std::vector<Midi>& events, uint32_t frames) {
    std::vector<NoteEvent> notes;
    for (const auto& [frame, b] : events)
        if (b.size() == 3 && (b[0] == kNoteOn || b[0] == kNoteOff || b[0] == kControlChange))
            notes.push_back({frame, b[0], b[1], b[2]});
    Rendered r{std::vector<float>(frames), std::vector<float>(frames)};
    RenderOffline(engine, notes, frames, 512, r[0].data(), r[1].data());
    return r;
}

// Index of the first sample whose bits differ, or -1 when all are identical.
long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    return -1;
}

// Notes inside 64-frame blocks, on a boundary, on frame 0, overlapping, velocity 0, a release
// never held; bound controllers inside blocks; channel 2's and an unbound one do nothing.
const std::vector<Midi> kEvents = {
    {0, {0x90, 57, 64}},     {10, {0x90, 60, 100}},    {300, {0xB0, 74, 20}},
    {512, {0x90, 64, 90}},   {700, {0x80, 57, 0}},     {2001, {0xB0, 1, 90}},
    {2002, {0xB1, 74, 127}}, {3333, {0xB0, 9, 5}},     {5000, {0x80, 60, 0}},
    {7000, {0x80, 64, 0}},   {7001, {0x90, 67, 0}},    {9000, {0x90, 72, 127}},
    {9003, {0x80, 40, 0}},   {11111, {0xB0, 74, 127}}, {15000, {0x80, 72, 0}}};

// The demo design or the every-family one, and the rate.
class SampleExact : public ::testing::TestWithParam<std::tuple<bool, double>> {};

TEST_P(SampleExact, PluginOutputEqualsTheOfflineRenderBitForBit) {
    const auto [demo, rate] = GetParam();
    TempDir dir;
    auto d = demo ? std::make_unique<Design>(rate, true) : EveryFamilyDesign(rate);
    MiniHost host(BuildInto(d->P(), dir.Path(), "Exact"));
    ASSERT_TRUE(host.Start(rate));
    std::vector<float> left, right;
    host.Play(kEvents, 20000, 64, left, right);
    const Rendered want = RenderReference(*d->engine, kEvents, 20000);
    EXPECT_EQ(FirstDifference(left, want[0]), -1);
    EXPECT_EQ(FirstDifference(right, want[1]), -1);
    // Identical silence would prove nothing.
    EXPECT_TRUE(std::any_of(left.begin(), left.end(), [](float s) { return s != 0.0f; }));
}

INSTANTIATE_TEST_SUITE_P(DesignsAndRates, SampleExact,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(44100.0, 48000.0)));

// A polyphonic design listening to every channel: a chord, the pedal, a bend and panic
// play in the plugin as in the editor, and the manifest carries the voices and channel.
TEST(PluginVoices, AChordWithPedalBendAndPanicPlaysAsTheEditorDoes) {
    TempDir dir;
    auto d = std::make_unique<Design>(44100.0, true);
    d->P().voiceCount = 8;
    d->P().midiChannel = kAllChannels;
    const std::string plugin = BuildInto(d->P(), dir.Path(), "Poly");
    const plugin::Manifest m = plugin::FindManifest(ReadFileBytes(plugin));
    ASSERT_TRUE(m.hasDesign) << m.problem;
    EXPECT_EQ(m.design.instrument.voiceCount, 8);
    EXPECT_EQ(m.design.instrument.midiChannel, kAllChannels);
    MiniHost host(plugin);
    ASSERT_TRUE(host.Start(44100.0));
    const std::vector<Midi> sent = {
        {0, {0x90, 60, 100}},    {0, {0x93, 64, 90}},     {5, {0x90, 67, 80}},
        {700, {0xB0, 64, 127}},  {900, {0x80, 60, 0}},    {1000, {0xE5, 0, 96}},
        {3000, {0xB0, 64, 0}},   {5000, {0x90, 72, 100}}, {7000, {0xB0, 123, 0}},
        {7500, {0x90, 48, 100}}, {9000, {0xB0, 120, 0}}};
    std::vector<float> left, right;
    host.Play(sent, 12000, 64, left, right);
    std::vector<NoteEvent> events;
    for (const auto& [frame, b] : sent) events.push_back({frame, b[0], b[1], b[2]});
    Rendered want{std::vector<float>(12000), std::vector<float>(12000)};
    RenderOffline(*d->engine, events, 12000, 512, want[0].data(), want[1].data());
    EXPECT_EQ(FirstDifference(left, want[0]), -1);
    EXPECT_EQ(FirstDifference(right, want[1]), -1);
    EXPECT_TRUE(std::any_of(left.begin(), left.end(), [](float s) { return s != 0.0f; }));
    // All Sound Off at frame 9000 leaves silence.
    EXPECT_TRUE(std::all_of(left.begin() + 9100, left.end(), [](float s) { return s == 0.0f; }));
}

// Only complete channel-1 notes play; a pause restarts afresh. A control acts as the knob:
// nearest step, held at the range's ends; not-a-number leaves the control alone.
TEST(PluginRun, OnlyChannelOneNotesPlayAndControlsActAsTheKnobs) {
    TempDir dir;
    auto d = EveryFamilyDesign(48000.0);
    Project& p = d->P();
    MiniHost host(BuildInto(p, dir.Path(), "Run"));
    ASSERT_TRUE(host.Start(48000.0));
    const std::vector<Midi> sent = {
        {10, {0x91, 62, 100}}, {20, {0xB0, 7, 0}}, {30, {0x90, 64}}, {100, {0x90, 60, 100}}};
    std::vector<float> first, second, right;
    host.Play(sent, 4096, 256, first, right);
    if (host.descriptor->deactivate != nullptr) host.descriptor->deactivate(host.handle);
    host.descriptor->activate(host.handle);
    host.Play(sent, 4096, 256, second, right);
    EXPECT_EQ(FirstDifference(second, first), -1);
    Rendered want = RenderReference(*d->engine, sent, 4096);
    EXPECT_EQ(FirstDifference(first, want[0]), -1);

    // Wave (slot 15) to step 1, cutoff (16) to step 90, volume (17) to its top step, 10.
    float controls[3] = {0.6f, 90.0f, 1.0e9f};
    for (uint32_t i = 0; i < 3; ++i)
        host.descriptor->connect_port(host.handle, lv2::kFirstParameterPort + i, &controls[i]);
    for (const auto& [slot, step] : {std::pair{15, 1}, {16, 90}, {17, 10}}) {
        p.slots[slot].patchValues[0] = step;
        p.RecomputeParameterValue(slot);
    }
    host.Play({}, 4096, 256, first, right);
    controls[2] = std::numeric_limits<float>::quiet_NaN();
    host.Play({}, 2048, 256, first, right);
    const Rendered after = RenderReference(*d->engine, {}, 6144);
    want[0].insert(want[0].end(), after[0].begin(), after[0].end());
    EXPECT_EQ(FirstDifference(first, want[0]), -1);
}

// A learnt controller's move shows on its control's output, from where the window passes
// it to the host; the host writing it back and then its earlier value both take effect.
TEST(PluginRun, LearntMovesReachTheOutputsAndLaterHostValuesAct) {
    TempDir dir;
    auto d = EveryFamilyDesign(48000.0);
    MiniHost host(BuildInto(d->P(), dir.Path(), "Outputs"));
    ASSERT_TRUE(host.Start(48000.0));
    float in[3] = {2, 37, 7}, out[3] = {-1, -1, -1};
    for (uint32_t i = 0; i < 3; ++i) {
        host.descriptor->connect_port(host.handle, lv2::kFirstParameterPort + i, &in[i]);
        host.descriptor->connect_port(host.handle, lv2::ParameterOutputPort(3, i), &out[i]);
    }
    std::vector<float> l, r;
    const auto play = [&](std::vector<Midi> events) {
        host.Play(events, 256, 256, l, r);
        return std::vector<float>(out, out + 3);
    };
    EXPECT_EQ(play({}), (std::vector<float>{2, 37, 7}));
    const float learnt = play({{5, {0xB0, 74, 127}}})[1]; // the cutoff follows controller 74
    EXPECT_EQ(learnt, 100.0f);
    EXPECT_EQ(play({})[1], learnt); // the host's unchanged 37 does not undo the move
    in[1] = learnt;                 // the window passed the move on
    EXPECT_EQ(play({})[1], learnt);
    in[1] = 37; // then the host's earlier value, from a preset or automation
    EXPECT_EQ(play({})[1], 37.0f);
}

// The description passes the LV2 validator and reads back through lilv as the design:
// names whatever their characters, ports, clamped ranges, presets, window and version.
TEST(PluginDescription, IsValidAndReadsBackAsTheDesign) {
    TempDir dir;
    auto d = EveryFamilyDesign(44100.0);
    Project& p = d->P();
    SetText(p.slots[16].name, "Cut \"off\" \\ 100%");
    SetText(p.author, "Caf\xE9");            // Latin-1, not UTF-8
    SetText(p.patchNames[3], "Gr\xC3\xBCn"); // UTF-8 stays as it is
    p.slots[16].patchValues[0] = 250;        // more than its 100 steps
    p.slots[17].patchValues[1] = -3;
    // Patch 44 repeats patch 1 under its default name, so no preset; patch 88 repeats it too
    // but has a name of its own.
    for (int32_t slot = 15; slot <= 17; ++slot)
        p.slots[slot].patchValues[44] = p.slots[slot].patchValues[88] =
            p.slots[slot].patchValues[1];
    SetText(p.patchNames[88], "Quiet");
    // The three-step control is a wave selector; the others are plain knobs.
    p.slots[15].imageType = 4;
    SetText(p.versionText, "2.17");
    const std::string name = "Every Family #1 100%";
    const fs::path bundle = fs::path(BuildInto(p, dir.Path(), name)).replace_extension();
    // lv2_validate does not quote its arguments, so it runs from inside the bundle.
    const std::string said = dir.File("said"),
                      validate =
                          "cd '" + bundle.string() + "' && lv2_validate *.ttl >" + said + " 2>&1";
    EXPECT_EQ(std::system(validate.c_str()), 0) << ReadFileText(said);

    setenv("LV2_PATH", dir.Path().c_str(), 1); // where hosts look for plugins
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* node = lilv_new_uri(world, UriOf(p).c_str());
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
    lilv_node_free(node);
    ASSERT_NE(plugin, nullptr);
    const auto text = [](LilvNode* n) {
        const std::string s = lilv_node_as_string(n);
        lilv_node_free(n);
        return s;
    };
    char* binary =
        lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_library_uri(plugin)), nullptr);
    EXPECT_TRUE(fs::equivalent(binary, dir.Path() / (name + ".dll"))) << binary;
    lilv_free(binary);
    EXPECT_EQ(text(lilv_plugin_get_name(plugin)), name);
    EXPECT_EQ(text(lilv_plugin_get_author_name(plugin)), "Caf\xC3\xA9");
    // Three inputs, their three outputs, then the latency report after every earlier port.
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), lv2::kFirstParameterPort + 6 + 1);
    const LilvPort* latency = lilv_plugin_get_port_by_index(plugin, lv2::LatencyPort(3));
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, latency)), lv2::kLatencySymbol);
    EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), lv2::LatencyPort(3));
    float mins[10], maxs[10], defs[10];
    lilv_plugin_get_port_ranges_float(plugin, mins, maxs, defs);
    const auto clamped = [&](int32_t slot, int32_t patch) {
        return static_cast<float>(
            std::clamp(p.slots[slot].patchValues[patch], 0, p.slots[slot].steps));
    };
    for (uint32_t i = 0; i < 3; ++i) {
        const int32_t slot = 15 + static_cast<int32_t>(i);
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, lv2::kFirstParameterPort + i);
        EXPECT_EQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)),
                  lv2::ParameterSymbol(slot));
        EXPECT_EQ(text(lilv_port_get_name(plugin, port)), p.slots[slot].name);
        EXPECT_EQ((std::tuple(mins[3 + i], maxs[3 + i], defs[3 + i])),
                  std::tuple(0.0f, static_cast<float>(p.slots[slot].steps), clamped(slot, 0)));
        // After every input: what the control plays, for the window and the host to follow.
        const LilvPort* output =
            lilv_plugin_get_port_by_index(plugin, lv2::ParameterOutputPort(3, i));
        EXPECT_EQ(lilv_node_as_string(lilv_port_get_symbol(plugin, output)),
                  lv2::ParameterOutputSymbol(slot));
    }
    // The plugin's window: an X11 window in its own binary inside the bundle.
    LilvUIs* uis = lilv_plugin_get_uis(plugin);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    EXPECT_EQ(lilv_node_as_uri(lilv_ui_get_uri(ui)), lv2::UiUri(UriOf(p)));
    LilvNode* x11 = lilv_new_uri(world, "http://lv2plug.in/ns/extensions/ui#X11UI");
    EXPECT_TRUE(lilv_ui_is_a(ui, x11));
    lilv_node_free(x11);
    char* window = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    EXPECT_TRUE(fs::equivalent(window, bundle / lv2::UiFileName(name))) << window;
    lilv_free(window);
    lilv_uis_free(uis);

    // Hosts show the wave selector's positions by name, and see the version.
    const LilvPort* wave = lilv_plugin_get_port_by_index(plugin, lv2::kFirstParameterPort);
    LilvScalePoints* points = lilv_port_get_scale_points(plugin, wave);
    std::map<float, std::string> named;
    LILV_FOREACH(scale_points, i, points) {
        const LilvScalePoint* point = lilv_scale_points_get(points, i);
        named[lilv_node_as_float(lilv_scale_point_get_value(point))] =
            lilv_node_as_string(lilv_scale_point_get_label(point));
    }
    lilv_scale_points_free(points);
    EXPECT_EQ(named, (std::map<float, std::string>{
                         {0.0f, "Sine"}, {1.0f, "Triangle"}, {2.0f, "Saw"}, {3.0f, "Pulse"}}));
    LilvNode* enumeration = lilv_new_uri(world, LV2_CORE__enumeration);
    EXPECT_TRUE(lilv_port_has_property(plugin, wave, enumeration));
    EXPECT_FALSE(lilv_port_has_property(
        plugin, lilv_plugin_get_port_by_index(plugin, lv2::kFirstParameterPort + 1), enumeration));
    lilv_node_free(enumeration);
    for (const auto& [predicate, value] :
         {std::pair{LV2_CORE__minorVersion, 2}, std::pair{LV2_CORE__microVersion, 17}}) {
        LilvNode* key = lilv_new_uri(world, predicate);
        LilvNodes* got = lilv_plugin_get_value(plugin, key);
        EXPECT_TRUE(got != nullptr && lilv_node_as_int(lilv_nodes_get_first(got)) == value);
        lilv_nodes_free(got);
        lilv_node_free(key);
    }

    LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
    ASSERT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(kPatchCount - 1));
    MiniHost mapper("");
    LILV_FOREACH(nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world, preset);
        LilvState* state = lilv_state_new_from_world(world, &mapper.map, preset);
        const std::string uri = lilv_node_as_uri(preset);
        const int32_t patch = std::stoi(uri.substr(uri.rfind("#patch") + 6));
        ASSERT_TRUE(state != nullptr && IsPatch(patch) && patch != 44) << uri;
        EXPECT_EQ(lilv_state_get_label(state), GetText(p.patchNames[patch]));
        std::map<std::string, float> values;
        lilv_state_emit_port_values(
            state,
            [](const char* symbol, void* user, const void* value, uint32_t, uint32_t) {
                (*static_cast<std::map<std::string, float>*>(user))[symbol] =
                    *static_cast<const float*>(value);
            },
            &values);
        for (int32_t s = 15; s <= 17; ++s)
            EXPECT_EQ(values[lv2::ParameterSymbol(s)], clamped(s, patch)) << uri;
        lilv_state_free(state);
    }
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);
    lilv_world_free(world);
}

// "Install for LV2 hosts": a bundle alone in the LV2 folder (made when missing) that hosts'
// scans find without a word on standard error, whose <name>.so plays wherever it is moved.
TEST(PluginBundle, StandsAloneInTheLv2Folder) {
    TempDir dir;
    auto d = EveryFamilyDesign(48000.0);
    Project& p = d->P();
    SetText(p.pluginName, "Alone");
    const fs::path lv2 = dir.Path() / "home/.lv2";
    std::string lines;
    BuildLog log{[&](std::string_view line) { lines.append(line).append("\n"); }};
    QuietBuildHost quiet;
    const BuildFields fields{"Alone", "Me", "1.0", "AlNe"};
    EXPECT_EQ(RunBuild(p, fields, {384, 261}, log, quiet, {false, lv2.string()}),
              BuildOutcome::Ran);
    EXPECT_EQ(log.errorCount, 0) << lines;
    std::vector<fs::path> entries(fs::directory_iterator(lv2), fs::directory_iterator{});
    ASSERT_EQ(entries, std::vector{lv2 / "Alone.lv2"});

    const std::string out = dir.File("out"), err = dir.File("err");
    const std::string scan = "LV2_PATH='" + lv2.string() + "' lv2ls >" + out + " 2>" + err +
                             " && LV2_PATH='" + lv2.string() + "' lv2info '" + UriOf(p) + "' >>" +
                             out + " 2>>" + err;
    ASSERT_EQ(std::system(scan.c_str()), 0) << ReadFileText(err);
    EXPECT_EQ(ReadFileText(err), "");
    const std::string said = ReadFileText(out);
    EXPECT_EQ(said.rfind(UriOf(p) + "\n", 0), 0u) << said;
    EXPECT_NE(said.find("/home/.lv2/Alone.lv2/Alone.so"), std::string::npos) << said;
    EXPECT_NE(ReadFileText(lv2 / "Alone.lv2/plugin.ttl").find("MIDI channel 1"), std::string::npos);

    fs::rename(lv2 / "Alone.lv2", dir.Path() / "Moved.lv2");
    MiniHost host((dir.Path() / "Moved.lv2/Alone.so").string());
    ASSERT_TRUE(host.Start(48000.0));
    std::vector<float> left, right;
    host.Play(kEvents, 8192, 256, left, right);
    EXPECT_EQ(FirstDifference(left, RenderReference(*d->engine, kEvents, 8192)[0]), -1);
}

// Offset of a chunk's tag in a manifest, or in a plugin file from its manifest on (the
// plugin's code holds the tags too). No text of the test designs holds a tag.
std::size_t TagAt(const std::vector<uint8_t>& bytes, const char* tag) {
    const auto from =
        bytes.begin() + static_cast<std::ptrdiff_t>(plugin::FindManifest(bytes).offset);
    return static_cast<std::size_t>(std::search(from, bytes.end(), tag, tag + 4) - bytes.begin());
}

// A plugin file whose manifest is damaged after the build (cut, extended, or with values out
// of range) is found under its description's URI, loads, plays silence and says why.
TEST(DamagedPlugin, LoadsPlaysSilenceAndSaysWhy) {
    TempDir built;
    auto d = EveryFamilyDesign(44100.0);
    const std::vector<uint8_t> bytes = ReadFileBytes(BuildInto(d->P(), built.Path(), "Damaged"));
    const std::size_t templateSize = fs::file_size(TW_APP_DIR "/Resources/64Bit.dat");
    const std::size_t head = plugin::FindManifest(bytes).offset, mod = TagAt(bytes, "MOD#") + 4;
    const std::size_t plg = TagAt(bytes, "PLG#") + 4, pat = TagAt(bytes, "PAT#") + 4;
    const std::size_t par = TagAt(bytes, "PAR#") + 4;
    const std::size_t mcc = TagAt(bytes, "MCC#");
    // Cut short anywhere the manifest is damage, and keeps its header once that is whole;
    // only without its last chunk, which a design without controllers does not have, it is
    // a whole design.
    for (std::size_t length = 0; head + length < bytes.size(); ++length) {
        const plugin::Manifest cut = plugin::ParseManifest(std::span(bytes.data() + head, length));
        ASSERT_EQ(cut.hasDesign, head + length == mcc) << length;
        ASSERT_EQ(cut.problem.empty(), cut.hasDesign) << length;
        ASSERT_EQ(cut.hasIdentity, head + length >= mod - 4) << length;
    }
    // Each: where a word is written and its value, or else how many bytes are kept; whether
    // the description stays beside the file.
    std::vector<std::tuple<std::size_t, int64_t, std::size_t, bool, const char*>> cases = {
        {0, 0, templateSize, true, "cut back to the template"},
        {0, 0, templateSize, false, "the bare template alone"},
        {0, 0, bytes.size() + 1, true, "a byte after the manifest"},
        {head + 50, 0x7FFFFFF0, 0, true, "the plugin name's length"},
        {pat, 129, 0, true, "patch count"},
        {pat + 4, 0x40000000, 0, true, "Parameter count"},
        {TagAt(bytes, "GUI#") + 4, 3, 0, true, "panel words"},
        {mod + 4, 42, 0, true, "type 42"},
        {mod + 8, 1024, 0, true, "slot 1024"},
        {mod + 8, -1, 0, true, "slot -1"},
        {mod + 16, 0, 0, true, "slots out of order"}, // the second pair's slot below the first's
        {plg + 4, 16384, 0, true, "input 16384"},
        {plg + 8, -2, 0, true, "output -2"},
        {plg + 12, 0, 0, true, "inputs out of order"},
        {pat + 8 + 4 + 7, 3, 0, true, "a patch naming another slot"},
        {par + 4, 1, 0, true, "PAR# naming another slot"},
        {par + 12, 6, 0, true, "PAR# of a module that is no Parameter"},
        {TagAt(bytes, "PAX#") + 8, 0, 0, true, "PAX# naming another slot"},
        {mcc + 4, 4, 0, true, "more controllers than Parameters"},
        {mcc + 8, 14, 0, true, "a controller for a module that is no Parameter"},
        {mcc + 16, 15, 0, true, "controller slots out of order"},
        {mcc + 12, 128, 0, true, "controller 128"},
    };
    for (const char* tag : {"MOD#", "PLG#", "PAR#", "PAX#"})
        for (const int64_t count : {int64_t{0x7FFFFFFF}, int64_t{-1}, int64_t{1025 * 16 + 1}})
            cases.push_back({TagAt(bytes, tag) + 4, count, 0, true, tag});
    for (const auto& [at, value, keep, described, what] : cases) {
        SCOPED_TRACE(std::string(what) + " " + std::to_string(value));
        TempDir dir; // a file of its own: the plugin reads its file once per load
        std::vector<uint8_t> damaged = bytes;
        damaged.resize(keep != 0 ? keep : bytes.size());
        for (int i = 0; keep == 0 && i < 4; ++i)
            damaged[at + i] = static_cast<uint8_t>(value >> (8 * i));
        WriteFileBytes(dir.File("Damaged.dll"), damaged);
        if (described) fs::copy(built.Path() / "Damaged", dir.Path() / "Damaged");
        ::testing::internal::CaptureStderr();
        MiniHost host(dir.File("Damaged.dll"));
        ASSERT_NE(host.descriptor, nullptr);
        // Without a URID map the plugin cannot read MIDI events: it refuses to start.
        EXPECT_EQ(host.descriptor->instantiate(host.descriptor, 44100.0, "", nullptr), nullptr);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(host.descriptor->URI, described ? UriOf(d->P()) : lv2::kUnknownPluginUri);
        EXPECT_NE(said.find(keep == templateSize ? "holds no manifest" : "damaged manifest"),
                  std::string::npos)
            << said;
        ASSERT_TRUE(host.Start(44100.0));
        float ignored = 1.0f; // a port the description might have
        host.descriptor->connect_port(host.handle, lv2::kFirstParameterPort + 4, &ignored);
        std::vector<float> left, right;
        host.Play({{0, {0x90, 60, 100}}}, 1024, 512, left, right);
        left.insert(left.end(), right.begin(), right.end());
        EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](float s) { return s == 0.0f; }));
    }
}

#ifdef TW_HOST32_PATH
TEST(Plugin32, IsA32BitLibraryThatPlaysTheEditorsSound) {
    TempDir dir;
    Design d(44100.0, true);
    const std::string plugin = BuildInto(d.P(), dir.Path(), "Demo32", kTarget32Bit);
    // An ELF file of class 32 for the 386 that shows the entry point and nothing else.
    const std::string file = ReadFileText(plugin), exports = dir.File("exports");
    EXPECT_EQ(file.substr(0, 5), std::string(ELFMAG) + char{ELFCLASS32});
    EXPECT_EQ(file.substr(18, 2), std::string({EM_386, 0}));
    EXPECT_EQ(std::system(
                  ("nm -D --defined-only '" + plugin + "' | awk '{print $3}' >" + exports).c_str()),
              0);
    EXPECT_EQ(ReadFileText(exports), "lv2_descriptor\n");

    // Some kernels are built without 32-bit support: the host then cannot even start.
    if (WEXITSTATUS(std::system("'" TW_HOST32_PATH "' 2>/dev/null")) == 126) {
        GTEST_SKIP() << "the kernel cannot run 32-bit programs: the plugin is checked, not played";
    }
    const std::string raw = dir.File("out.raw");
    const std::string command =
        "'" TW_HOST32_PATH "' '" + plugin + "' '" + UriOf(d.P()) + "' '" + raw + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    // The left channel's 4096 samples, then the right's. Both templates do their arithmetic
    // in SSE single and double precision.
    const std::string bytes = ReadFileText(raw);
    std::vector<float> played(bytes.size() / sizeof(float));
    std::memcpy(played.data(), bytes.data(), bytes.size());
    Rendered want = RenderReference(*d.engine, {{10, {0x90, 60, 100}}}, 4096);
    want[0].insert(want[0].end(), want[1].begin(), want[1].end());
    EXPECT_EQ(FirstDifference(played, want[0]), -1);
}
#endif

} // namespace
} // namespace tw::test
