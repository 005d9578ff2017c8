// Writes "Demo Synth.tw1", the project a first start opens: a monophonic subtractive
// voice with a tidy DSP canvas, a labelled panel and a few named patches.
//
//   tw_demo_project OUTPUT.tw1
//   tw_demo_project --full OUTPUT.tw1   (1024 chained modules, for measuring the editor)
//   tw_demo_project --preferences APPFOLDER PROJECT.tw1
//                                       (preferences that reopen PROJECT at start, so that
//                                        a measured start shows no first-start notice)
#include "devices/preferences.h"
#include "model/ports.h"
#include "model/project.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

using namespace tw;

// Skin image types and the step counts of the Default skin's strips.
enum Image : int32_t {
    kKnob10 = 0,
    kKnob100 = 1,
    kKnobPlusMinus = 2,
    kKnob1234 = 3,
    kKnobWave = 4
};
int32_t StepsOf(int32_t image) {
    switch (image) {
    case kKnob10:
        return 10;
    case kKnob1234:
    case kKnobWave:
        return 3;
    default:
        return 100;
    }
}

struct Knob {
    const char* name;
    int32_t image;
    int32_t panelX;
    int32_t panelY;
};

// Panel layout for the 384 x 261 panel of a 400 x 300 Gui Editor: two rows of grouped
// knobs, 52 pixels apart (62 for the longer names of the second row).
constexpr Knob kKnobs[] = {
    {"Wave", kKnobWave, 22, 46},     {"Octave", kKnob1234, 74, 46},
    {"Cutoff", kKnob100, 144, 46},   {"Reso", kKnob100, 196, 46},
    {"Rate", kKnob100, 266, 46},     {"Depth", kKnob100, 318, 46},
    {"Attack", kKnob100, 17, 150},   {"Decay", kKnob100, 79, 150},
    {"Sustain", kKnob100, 141, 150}, {"Release", kKnob100, 203, 150},
    {"Reverb", kKnob100, 266, 150},  {"Volume", kKnob100, 326, 150},
};
constexpr int32_t kKnobCount = sizeof kKnobs / sizeof kKnobs[0];

// Values of the twelve knobs, in the order above, for each named patch.
struct Preset {
    const char* name;
    int32_t values[kKnobCount];
};
constexpr Preset kPresets[] = {
    //  wave oct cut res rate dep   A   D   S   R  rev vol
    {"Warm Saw Lead", {2, 2, 38, 45, 30, 12, 4, 40, 65, 40, 35, 60}},
    {"Square Pluck", {3, 2, 30, 55, 20, 0, 0, 30, 0, 35, 25, 60}},
    {"Soft Sine Pad", {0, 2, 70, 10, 18, 8, 45, 60, 80, 60, 70, 70}},
    {"Triangle Bass", {1, 1, 25, 30, 10, 0, 0, 35, 50, 20, 10, 70}},
    {"Wobble Saw", {2, 1, 30, 70, 45, 35, 2, 50, 70, 30, 30, 55}},
};

void Fail(const char* what) {
    std::fprintf(stderr, "tw_demo_project: %s\n", what);
    std::exit(1);
}

int32_t Add(Project& p, int32_t type, int32_t x, int32_t y) {
    const int32_t slot = p.InsertModule(type, x, y, 400, 300);
    if (slot < 0) Fail("a module could not be inserted");
    return slot;
}

void Wire(Project& p, int32_t from, int32_t out, int32_t to, int32_t in) {
    if (!p.Connect(PortIndex(from, out), PortIndex(to, in), /*nameParameter=*/false)) {
        Fail("a cable was refused");
    }
}

void Group(Project& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int32_t i = p.InsertPolygon(x1, y1);
    if (i < 0) Fail("no room for a polygon");
    PanelPolygon& g = p.polygons[i];
    g.x2 = x2;
    g.y2 = y2;
    g.lineWidth = 2;
    g.cornerRadius = 14;
    g.red = 96;
    g.green = 100;
    g.blue = 110;
    g.alpha = 255;
    g.solid = 0;
}

void Label(Project& p, int32_t x, int32_t y, const char* text, int32_t size, int32_t r, int32_t g,
           int32_t b) {
    const int32_t i = p.InsertText(x, y);
    if (i < 0) Fail("no room for a text");
    PanelText& t = p.texts[i];
    SetText(t.text, text);
    t.size = size;
    t.red = r;
    t.green = g;
    t.blue = b;
    t.alpha = 255;
}

void Comment(Project& p, int32_t x, int32_t y, const char* text) {
    const int32_t i = p.InsertComment(x, y);
    if (i < 0) Fail("no room for a comment");
    SetText(p.comments[i].text, text);
}

// Every slot taken by a mix of types, each module feeding the next one's first free
// input: the heaviest canvas a project can hold.
void FillProject(Project& p) {
    constexpr int32_t kTypes[] = {kTypeOscillator, kTypeAmplifier, kTypeLowPass2Pole, kTypeAdd,
                                  kTypeParameter,  kTypeVoltMeter, kTypeLfo,          kTypeMul};
    for (int32_t i = 0; i < kSlotCount; ++i)
        Add(p, kTypes[i % 8], 40 + (i % 32) * 60, 40 + (i / 32) * 40);
    for (int32_t s = 0; s + 1 < kSlotCount; ++s) {
        for (int32_t n = 0; n < kPortsPerSlot; ++n)
            if (p.Connect(PortIndex(s, 0), PortIndex(s + 1, n), false)) break;
    }
}

} // namespace

int main(int argc, char** argv) {
    const bool full = argc == 3 && std::string(argv[1]) == "--full";
    const bool preferences = argc == 4 && std::string(argv[1]) == "--preferences";
    if (argc != 2 && !full && !preferences) {
        std::fprintf(stderr, "usage: tw_demo_project [--full] OUTPUT.tw1\n"
                             "       tw_demo_project --preferences APPFOLDER PROJECT.tw1\n");
        return 2;
    }
    auto project = std::make_unique<Project>();
    Project& p = *project;
    if (preferences) {
        p.openLastProject = 1;
        SetText(p.projectPath, argv[3]);
        std::ofstream file(PreferencesPath(argv[2]), std::ios::binary);
        file << EncodePreferences(p, DevicePreferences{});
        if (!file.flush()) Fail("the preferences could not be written");
        return 0;
    }
    if (full) {
        FillProject(p);
        HeadlessPlatform platform;
        if (!SaveProject(p, platform, argv[2])) Fail("the project could not be saved");
        return 0;
    }
    SetText(p.pluginName, "Demo Synth");
    SetText(p.author, kProductName);
    SetText(p.versionText, "1000");
    SetText(p.uniqueId, "TwDm");

    // The panel knobs come first, so that every module reads this frame's settings.
    int32_t knob[kKnobCount];
    for (int32_t i = 0; i < kKnobCount; ++i) {
        knob[i] = Add(p, kTypeParameter, 80, 40 + 40 * i);
        ModuleSlot& s = p.slots[knob[i]];
        SetText(s.name, kKnobs[i].name);
        s.imageType = kKnobs[i].image;
        s.steps = StepsOf(kKnobs[i].image);
        s.panelX = kKnobs[i].panelX;
        s.panelY = kKnobs[i].panelY;
        s.mouseResponse = kKnobs[i].image == kKnob1234 || kKnobs[i].image == kKnobWave ? 4 : 0;
        s.showLabel = 1;
        s.labelColour[0] = 205;
        s.labelColour[1] = 208;
        s.labelColour[2] = 214;
    }
    enum {
        kWave,
        kOctave,
        kCutoff,
        kReso,
        kRate,
        kDepth,
        kAttack,
        kDecay,
        kSustain,
        kRelease,
        kReverb,
        kVolume
    };

    const int32_t midi = Add(p, kTypeMidi2CV, 260, 40);
    const int32_t driver = Add(p, kTypeOscillatorDriver, 260, 140);
    const int32_t osc = Add(p, kTypeOscillator, 260, 260);
    const int32_t sum = Add(p, kTypeAdd, 440, 40);
    const int32_t filter = Add(p, kTypeLowPass2Pole, 440, 120);
    const int32_t env = Add(p, kTypeAdsr, 620, 40);
    const int32_t amp = Add(p, kTypeAmplifier, 620, 200);
    const int32_t gain = Add(p, kTypeFixedValues, 620, 300);
    const int32_t boost = Add(p, kTypeMul, 800, 40);
    const int32_t split = Add(p, kTypeSplit, 800, 120);
    const int32_t reverb = Add(p, kTypeReverb, 800, 200);
    // The Lfo sits just before the Output: its "Wave" default leaves 0 in the shared cell
    // that the Output's unused inputs read, so they add nothing.
    const int32_t lfo = Add(p, kTypeLfo, 440, 240);
    const int32_t out = Add(p, kTypeOutput, 980, 40);

    constexpr int32_t knobOut = parameter::kOut;
    Wire(p, midi, midi2cv::kPitch, driver, oscillator_driver::kPitch);
    Wire(p, knob[kOctave], knobOut, driver, oscillator_driver::kOctave);
    Wire(p, knob[kWave], knobOut, osc, oscillator::kWave);
    Wire(p, driver, oscillator_driver::kOut, osc, oscillator::kPitch);
    Wire(p, knob[kCutoff], knobOut, sum, math::kIn1);
    Wire(p, lfo, lfo::kOut, sum, math::kIn2);
    Wire(p, osc, oscillator::kOut, filter, low_pass_2pole::kIn);
    Wire(p, sum, math::kOut, filter, low_pass_2pole::kFrequency);
    Wire(p, knob[kReso], knobOut, filter, low_pass_2pole::kResonance);
    Wire(p, knob[kRate], knobOut, lfo, lfo::kRate);
    Wire(p, knob[kDepth], knobOut, lfo, lfo::kLevel);
    Wire(p, midi, midi2cv::kGate, env, adsr::kGate);
    Wire(p, knob[kAttack], knobOut, env, adsr::kAttack);
    Wire(p, knob[kDecay], knobOut, env, adsr::kDecay);
    Wire(p, knob[kSustain], knobOut, env, adsr::kSustain);
    Wire(p, knob[kRelease], knobOut, env, adsr::kRelease);
    Wire(p, filter, low_pass_2pole::kOut, amp, amplifier::kIn);
    Wire(p, env, adsr::kOut, amp, amplifier::kLevel);
    Wire(p, amp, amplifier::kOut, boost, math::kIn1);
    Wire(p, gain, fixed_values::kFive, boost, math::kIn2);
    Wire(p, boost, math::kOut, split, split::kIn);
    Wire(p, split, split::kOut1, reverb, reverb::kInL);
    Wire(p, split, split::kOut2, reverb, reverb::kInR);
    Wire(p, knob[kReverb], knobOut, reverb, reverb::kMix);
    Wire(p, reverb, reverb::kOutL, out, output::kLeft1);
    Wire(p, reverb, reverb::kOutR, out, output::kRight1);
    Wire(p, knob[kVolume], knobOut, out, output::kVolume);

    // A comment box holds about three short lines at the default zoom.
    Comment(p, 120, 536, "Each Parameter is one knob on the Gui Editor.");
    Comment(p, 200, 384, "Midi2CV turns a note into pitch and gate.");
    Comment(p, 384, 352, "Cutoff plus the Lfo sweeps the filter.");
    Comment(p, 560, 408, "The ADSR shapes the level, x 5 lifts it.");
    Comment(p, 744, 336, "Split feeds both reverb inputs.");

    // The panel: two rows of grouped knobs, a title and a hint.
    Group(p, 8, 26, 128, 120);
    Group(p, 134, 26, 250, 120);
    Group(p, 256, 26, 377, 120);
    Group(p, 8, 130, 255, 224);
    Group(p, 259, 130, 377, 224);
    Label(p, 30, 5, "DEMO SYNTH", 10, 255, 160, 40);
    Label(p, 22, 30, "OSCILLATOR", 7, 255, 160, 40);
    Label(p, 144, 30, "FILTER", 7, 255, 160, 40);
    Label(p, 266, 30, "LFO", 7, 255, 160, 40);
    Label(p, 22, 134, "ENVELOPE", 7, 255, 160, 40);
    Label(p, 266, 134, "OUTPUT", 7, 255, 160, 40);
    Label(p, 14, 234, "Play a note on the keyboard.", 7, 150, 154, 162);

    constexpr int32_t presets = sizeof kPresets / sizeof kPresets[0];
    for (int32_t patch = 0; patch < kPatchCount; ++patch) {
        const Preset& preset = kPresets[patch < presets ? patch : 0];
        if (patch < presets) SetText(p.patchNames[patch], preset.name);
        for (int32_t i = 0; i < kKnobCount; ++i) {
            p.slots[knob[i]].patchValues[patch] = preset.values[i];
        }
    }
    p.currentPatch = 0;
    p.RecomputeParameterValues();

    // The first start looks tidy on a 1600 x 1000 screen: the editors side by side without
    // overlap in the work area right of the Properties column and below the toolbar.
    HeadlessPlatform platform;
    platform.windows[static_cast<int>(EditorWindow::DspEditor)].rect = {160, 39, 1000, 640};
    platform.windows[static_cast<int>(EditorWindow::GuiEditor)].rect = {1168, 39, 400, 300};
    platform.windows[static_cast<int>(EditorWindow::MidiMonitor)].rect = {1168, 347, kMonitorWidth,
                                                                          kMonitorHeight};
    platform.windows[static_cast<int>(EditorWindow::VirtualKeyboard)].rect = {
        160, 687, kKeyboardWidth, kKeyboardHeight};
    if (!SaveProject(p, platform, argv[1])) Fail("the project could not be saved");
    return 0;
}
