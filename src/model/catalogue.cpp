#include "catalogue.h"

#include "project.h"

#include <array>

namespace tw {
namespace {

using P = CataloguePort;

constexpr P kOutputIn[] = {
    {0, "Volume", kPortControl, 2}, {1, "Left", kPortSignal, 6},   {2, "Left", kPortSignal, 10},
    {3, "Left", kPortSignal, 14},   {4, "Left", kPortSignal, 18},  {5, "Right", kPortSignal, 22},
    {6, "Right", kPortSignal, 26},  {7, "Right", kPortSignal, 30}, {8, "Right", kPortSignal, 34}};

constexpr P kHiddenIn[] = {{0, "", kPortHidden, 2}};
constexpr P kMidi2CvOut[] = {
    {0, "Gate", kPortGate, 2}, {1, "Pitch", kPortControl, 6}, {2, "Velo", kPortControl, 10}};

constexpr P kDelayIn[] = {{0, "In", kPortSignal, 2},
                          {1, "Delay", kPortSignal, 6},
                          {2, "Feedback", kPortControl, 10},
                          {3, "Mix", kPortControl, 14}};
constexpr P kDelayOut[] = {{0, "Out", kPortSignal, 14}, {1, "Status", kPortStatus, 18}};

constexpr P kSplitIn[] = {{0, "", kPortAny, 4}};
constexpr P kSplitOut[] = {{0, "", kPortAny, 2}, {1, "", kPortAny, 6}};

constexpr P kParameterOut[] = {{0, "Out", kPortControl, 2}};

constexpr P kAmplifierIn[] = {{0, "In", kPortSignal, 2}, {1, "Level", kPortSignal, 6}};
constexpr P kOut10[] = {{0, "Out", kPortSignal, 10}};

constexpr P kCombineIn[] = {{0, "", kPortAny, 2}, {1, "", kPortAny, 6}};
constexpr P kCombineOut[] = {{0, "", kPortAny, 4}};

constexpr P kIn2[] = {{0, "In", kPortSignal, 2}};
constexpr P kOut2[] = {{0, "Out", kPortSignal, 2}};

constexpr P kVoltMeterIn[] = {{0, "In", kPortSignal, 2}, {1, "", kPortHidden, 6}};

constexpr P kLowPass2In[] = {
    {0, "In", kPortSignal, 2}, {1, "Freq", kPortControl, 6}, {2, "Res", kPortControl, 10}};
constexpr P kOut14[] = {{0, "Out", kPortSignal, 14}};

constexpr P kAdsrIn[] = {{0, "Gate", kPortGate, 2},        {1, "Attack", kPortControl, 6},
                         {2, "Decay", kPortControl, 10},   {3, "Sustain", kPortControl, 14},
                         {4, "Release", kPortControl, 18}, {5, "Level", kPortControl, 22}};
constexpr P kAdsrOut[] = {{0, "Out", kPortSignal, 26}};

constexpr P kFixedOut[] = {{0, "10.0", kPortControl, 2},
                           {1, "5.0", kPortControl, 6},
                           {2, "1.0", kPortControl, 10},
                           {3, "0.083", kPortControl, 14},
                           {4, "0.01", kPortControl, 18}};

constexpr P kDriverIn[] = {{0, "Pitch", kPortControl, 2},
                           {1, "Octave", kPortGate, 6},
                           {2, "Course", kPortControl, 10},
                           {3, "Fine", kPortControl, 14}};
constexpr P kDriverOut[] = {{0, "Out", kPortControl, 18}};

constexpr P kPolyMidiOut[] = {{0, "Gate 1", kPortGate, 2},   {1, "Pitch 1", kPortControl, 6},
                              {2, "Gate 2", kPortGate, 10},  {3, "Pitch 2", kPortControl, 14},
                              {4, "Gate 3", kPortGate, 18},  {5, "Pitch 3", kPortControl, 22},
                              {6, "Gate 4", kPortGate, 26},  {7, "Pitch 4", kPortControl, 30},
                              {8, "Gate 5", kPortGate, 34},  {9, "Pitch 5", kPortControl, 38},
                              {10, "Gate 6", kPortGate, 42}, {11, "Pitch 6", kPortControl, 46},
                              {12, "Gate 7", kPortGate, 50}, {13, "Pitch 7", kPortControl, 54},
                              {14, "Gate 8", kPortGate, 58}, {15, "Pitch 8", kPortControl, 62}};

constexpr P kMathIn[] = {{0, "", kPortSignal, 2}, {1, "", kPortSignal, 6}};
constexpr P kMathOut[] = {{0, "", kPortSignal, 4}};

constexpr P kTestIn[] = {{0, "In 1", kPortSignal, 2},
                         {1, "In 2", kPortSignal, 6},
                         {2, "In 3", kPortSignal, 10},
                         {3, "In 4", kPortSignal, 14}};
constexpr P kTestOut[] = {{0, "Out 1", kPortSignal, 2},
                          {1, "Out 2", kPortSignal, 6},
                          {2, "Out 3", kPortSignal, 10},
                          {3, "Out 4", kPortSignal, 14}};

constexpr P kRescaleIn[] = {
    {0, "In", kPortSignal, 2}, {1, "High", kPortControl, 6}, {2, "Low", kPortGate, 10}};

constexpr P kOscillatorIn[] = {{0, "Wave", kPortGate, 2},
                               {1, "Pitch", kPortControl, 6},
                               {2, "Sync", kPortSignal, 10},
                               {3, "Pwm", kPortControl, 14}};
constexpr P kOut18[] = {{0, "Out", kPortSignal, 18}};

constexpr P kSwitch2In1OutIn[] = {
    {0, "Switch", kPortGate, 2}, {1, "In 1", kPortSignal, 6}, {2, "In 2", kPortSignal, 10}};

constexpr P kSwitch1In2OutIn[] = {{0, "Switch", kPortGate, 2}, {1, "In", kPortSignal, 6}};
constexpr P kSwitch1In2OutOut[] = {{0, "Out 1", kPortSignal, 10}, {1, "Out 2", kPortSignal, 14}};

constexpr P kSwitch1In4OutIn[] = {{0, "In", kPortSignal, 2},
                                  {1, "On/Off", kPortSignal, 6},
                                  {2, "On/Off", kPortSignal, 10},
                                  {3, "On/Off", kPortSignal, 14},
                                  {4, "On/Off", kPortSignal, 18}};
constexpr P kSwitch1In4OutOut[] = {{1, "Out", kPortSignal, 6},
                                   {2, "Out", kPortSignal, 10},
                                   {3, "Out", kPortSignal, 14},
                                   {4, "Out", kPortSignal, 18}};

constexpr P kReverbIn[] = {{0, "In L", kPortSignal, 2},    {1, "In R", kPortSignal, 6},
                           {2, "Size", kPortSignal, 10},   {3, "Mix", kPortSignal, 14},
                           {4, "Hi Cut", kPortSignal, 18}, {5, "On/Off", kPortGate, 22}};
constexpr P kReverbOut[] = {
    {0, "Out L", kPortSignal, 2}, {1, "Out R", kPortSignal, 6}, {2, "Status", kPortStatus, 10}};

constexpr P kNoiseOut[] = {{0, "White", kPortSignal, 2}, {1, "Pink", kPortSignal, 6}};

constexpr P kPolyWaveIn[] = {{0, "Wave", kPortControl, 2},     {1, "Attack", kPortControl, 10},
                             {2, "Decay", kPortControl, 14},   {3, "Sustain", kPortControl, 18},
                             {4, "Release", kPortControl, 22}, {5, "Density", kPortControl, 6}};
constexpr P kPolyWaveOut[] = {
    {0, "Out L", kPortSignal, 26}, {1, "Out R", kPortSignal, 30}, {2, "Status", kPortStatus, 34}};

constexpr P kFormantIn[] = {{0, "In", kPortSignal, 2}, {1, "Formant", kPortControl, 6}};
constexpr P kFilterIn[] = {{0, "In", kPortSignal, 2}, {1, "Freq", kPortControl, 6}};

constexpr P kLfoIn[] = {{0, "Wave", kPortGate, 2},
                        {1, "Rate", kPortControl, 6},
                        {2, "Polarity", kPortSignal, 10},
                        {3, "Level", kPortSignal, 14}};

// The Patchbay's first ports; the rest are laid out from its cables.
constexpr P kPatchbayIn[] = {{0, "In", kPortSignal, 2}};
constexpr P kPatchbayOut[] = {{0, "Out", kPortSignal, 2}};

constexpr std::span<const P> kNoPorts{};

constexpr ModuleTypeInfo kTypes[] = {
    {1, "Output", "Audio I/O", "Audio Out", 8, 36, "audio_out.htm", true, false, kOutputIn,
     kNoPorts},
    {2, "Midi2CV", "Midi", "Midi To CV", 9, 12, "midi2cv.htm", false, false, kHiddenIn,
     kMidi2CvOut},
    {3, "Delay", "Effect", "Delay", 9, 20, "delay.htm", true, false, kDelayIn, kDelayOut},
    {4, "Split", "Flow Control", "Split", 4, 8, "split.htm", false, false, kSplitIn, kSplitOut},
    {5, "Parameter", "Control", "Parameter", 9, 4, "parameter.htm", false, false, kHiddenIn,
     kParameterOut},
    {6, "Amplifier", "Modifier", "Amplifier", 8, 12, "amplifier.htm", false, false, kAmplifierIn,
     kOut10},
    {7, "Combine", "Flow Control", "Combine", 4, 8, "combine.htm", false, false, kCombineIn,
     kCombineOut},
    {8, "Inverter", "Modifier", "Inverter", 8, 4, "inverter.htm", false, false, kIn2, kOut2},
    {9, "Volt Meter", "Diagnostic", "Volt Meter", 8, 8, "volt_meter.htm", false, false,
     kVoltMeterIn, kOut2},
    {10, "2 Pole Low Pass", "Filter", "2 Pole Low Pass", 9, 16, "filter_2pole_lp.htm", false, false,
     kLowPass2In, kOut14},
    {11, "ADSR", "Modifier", "ADSR", 10, 28, "adsr.htm", false, false, kAdsrIn, kAdsrOut},
    {12, "Oscilloscope", "Diagnostic", "Oscilloscope", 8, 16, "oscilloscope.htm", false, false,
     kIn2, kOut2},
    {13, "Fixed Values", "Control", "Fixed Values", 8, 20, "fixed_values.htm", false, false,
     kNoPorts, kFixedOut},
    {14, "Oscillator Driver", "Control", "Oscillator Driver", 9, 20, "oscillator_driver.htm", false,
     false, kDriverIn, kDriverOut},
    {15, "PolyMidi NO COMPILE", "Midi", "Poly Midi To CV", 11, 64, "todo.htm", false, true,
     kHiddenIn, kPolyMidiOut},
    {16, "Mul", "Math", "Multiply", 4, 8, "mul.htm", false, false, kMathIn, kMathOut},
    {17, "Div", "Math", "Divide", 4, 8, "div.htm", false, false, kMathIn, kMathOut},
    {18, "Add", "Math", "Add", 4, 8, "add.htm", false, false, kMathIn, kMathOut},
    {19, "Sub", "Math", "Subtract", 4, 8, "sub.htm", false, false, kMathIn, kMathOut},
    {26, "A440Hz", "Diagnostic", "A440Hz", 5, 4, "a440hz.htm", false, false, kNoPorts, kOut2},
    {27, "Test Module", "", "", 10, 16, nullptr, false, false, kTestIn, kTestOut},
    {28, "Rescale", "Modifier", "Rescale", 9, 16, "rescale.htm", false, false, kRescaleIn, kOut14},
    {29, "Oscillator", "Waveform", "Oscillator", 9, 20, "oscillator.htm", false, false,
     kOscillatorIn, kOut18},
    {30, "Switch 2In 1Out", "Flow Control", "Switch 2 In 1 Out", 9, 16, "switch_2in1out.htm", false,
     false, kSwitch2In1OutIn, kOut14},
    {31, "Switch 1In 2Out", "Flow Control", "Switch 1 In 2 Out", 9, 16, "switch_1in2out.htm", false,
     false, kSwitch1In2OutIn, kSwitch1In2OutOut},
    {32, "Switch 1In 4Out", "Flow Control", "Switch 1 In 4 Out", 11, 20, "switch_1in4out.htm",
     false, false, kSwitch1In4OutIn, kSwitch1In4OutOut},
    {33, "Reverb", "Effect", "Reverb", 11, 25, "reverb.htm", true, false, kReverbIn, kReverbOut},
    {34, "Noise", "Waveform", "Noise", 8, 8, "noise.htm", false, false, kNoPorts, kNoiseOut},
    {35, "PolyWave", "Waveform", "PolyWave", 10, 36, "todo.htm", true, false, kPolyWaveIn,
     kPolyWaveOut},
    {36, "Formant", "Filter", "Formant", 9, 12, "filter_formant.htm", false, false, kFormantIn,
     kOut10},
    {37, "1 Pole Low Pass", "Filter", "1 Pole Low Pass", 9, 12, "filter_1pole_lp.htm", false, false,
     kFilterIn, kOut10},
    {38, "1 Pole High Pass", "Filter", "1 Pole High Pass", 9, 12, "filter_1pole_hp.htm", false,
     false, kFilterIn, kOut10},
    {39, "All Pass Filter", "Filter", "Allpass", 9, 12, "filter_allpass.htm", false, false,
     kFilterIn, kOut10},
    {40, "Lfo", "Waveform", "Lfo", 9, 20, "todo.htm", false, false, kLfoIn, kOut18},
    {41, "Patchbay", "Flow Control", "Patchbay", 8, 0, "patchbay.htm", false, false, kPatchbayIn,
     kPatchbayOut},
};

constexpr std::array<const ModuleTypeInfo*, kMaxModuleType + 1> MakeIndex() {
    std::array<const ModuleTypeInfo*, kMaxModuleType + 1> index{};
    for (const ModuleTypeInfo& info : kTypes) index[static_cast<std::size_t>(info.type)] = &info;
    return index;
}

constexpr auto kIndex = MakeIndex();

constexpr int32_t kMenuAudio[] = {1};
constexpr int32_t kMenuControl[] = {5, 14, 13};
constexpr int32_t kMenuDiagnostic[] = {26, 12, 9};
constexpr int32_t kMenuEffect[] = {3, 33};
constexpr int32_t kMenuFilter[] = {39, 36, 38, 37, 10};
constexpr int32_t kMenuFlow[] = {7, 41, 4, 31, 30, 32};
constexpr int32_t kMenuMath[] = {18, 17, 16, 19};
constexpr int32_t kMenuMidi[] = {2, 15};
constexpr int32_t kMenuModifier[] = {11, 6, 8, 28};
constexpr int32_t kMenuWaveform[] = {40, 29, 34, 35};

constexpr MenuCategory kMenu[] = {
    {"Audio I/O", kMenuAudio},   {"Control", kMenuControl}, {"Diagnostic", kMenuDiagnostic},
    {"Effect", kMenuEffect},     {"Filter", kMenuFilter},   {"Flow Control", kMenuFlow},
    {"Math", kMenuMath},         {"Midi", kMenuMidi},       {"Modifier", kMenuModifier},
    {"Waveform", kMenuWaveform},
};

} // namespace

const ModuleTypeInfo* FindModuleType(int32_t type) noexcept {
    if (type < 1 || type > kMaxModuleType) return nullptr;
    return kIndex[static_cast<std::size_t>(type)];
}

std::span<const ModuleTypeInfo> ModuleTypes() noexcept {
    return kTypes;
}

std::span<const MenuCategory> InsertMenu() noexcept {
    return kMenu;
}

} // namespace tw
