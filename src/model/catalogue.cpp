#include "catalogue.h"

#include "ports.h"
#include "project.h"

#include <array>

namespace tw {
namespace {

using P = CataloguePort;

constexpr P kOutputIn[] = {
    {output::kVolume, "Volume", kPortControl, 2}, {output::kLeft1, "Left", kPortSignal, 6},
    {output::kLeft2, "Left", kPortSignal, 10},    {output::kLeft3, "Left", kPortSignal, 14},
    {output::kLeft4, "Left", kPortSignal, 18},    {output::kRight1, "Right", kPortSignal, 22},
    {output::kRight2, "Right", kPortSignal, 26},  {output::kRight3, "Right", kPortSignal, 30},
    {output::kRight4, "Right", kPortSignal, 34}};

constexpr P kMidi2CvIn[] = {{midi2cv::kDisplayRow, "", kPortHidden, 2}};
constexpr P kMidi2CvOut[] = {{midi2cv::kGate, "Gate", kPortGate, 2},
                             {midi2cv::kPitch, "Pitch", kPortControl, 6},
                             {midi2cv::kVelocity, "Velo", kPortControl, 10}};

constexpr P kDelayIn[] = {{delay::kIn, "In", kPortSignal, 2},
                          {delay::kTime, "Delay", kPortSignal, 6},
                          {delay::kFeedback, "Feedback", kPortControl, 10},
                          {delay::kMix, "Mix", kPortControl, 14}};
constexpr P kDelayOut[] = {{delay::kOut, "Out", kPortSignal, 14},
                           {delay::kStatus, "Status", kPortStatus, 18}};

constexpr P kSplitIn[] = {{split::kIn, "", kPortAny, 4}};
constexpr P kSplitOut[] = {{split::kOut1, "", kPortAny, 2}, {split::kOut2, "", kPortAny, 6}};

constexpr P kParameterIn[] = {{parameter::kDisplayRow, "", kPortHidden, 2}};
constexpr P kParameterOut[] = {{parameter::kOut, "Out", kPortControl, 2}};

constexpr P kAmplifierIn[] = {{amplifier::kIn, "In", kPortSignal, 2},
                              {amplifier::kLevel, "Level", kPortSignal, 6}};
constexpr P kAmplifierOut[] = {{amplifier::kOut, "Out", kPortSignal, 10}};

constexpr P kCombineIn[] = {{combine::kIn1, "", kPortAny, 2}, {combine::kIn2, "", kPortAny, 6}};
constexpr P kCombineOut[] = {{combine::kOut, "", kPortAny, 4}};

constexpr P kInverterIn[] = {{inverter::kIn, "In", kPortSignal, 2}};
constexpr P kInverterOut[] = {{inverter::kOut, "Out", kPortSignal, 2}};

constexpr P kVoltMeterIn[] = {{volt_meter::kIn, "In", kPortSignal, 2},
                              {volt_meter::kDisplayRow, "", kPortHidden, 6}};
constexpr P kVoltMeterOut[] = {{volt_meter::kOut, "Out", kPortSignal, 2}};

constexpr P kLowPass2In[] = {{low_pass_2pole::kIn, "In", kPortSignal, 2},
                             {low_pass_2pole::kFrequency, "Freq", kPortControl, 6},
                             {low_pass_2pole::kResonance, "Res", kPortControl, 10}};
constexpr P kLowPass2Out[] = {{low_pass_2pole::kOut, "Out", kPortSignal, 14}};

constexpr P kAdsrIn[] = {
    {adsr::kGate, "Gate", kPortGate, 2},           {adsr::kAttack, "Attack", kPortControl, 6},
    {adsr::kDecay, "Decay", kPortControl, 10},     {adsr::kSustain, "Sustain", kPortControl, 14},
    {adsr::kRelease, "Release", kPortControl, 18}, {adsr::kLevel, "Level", kPortControl, 22}};
constexpr P kAdsrOut[] = {{adsr::kOut, "Out", kPortSignal, 26}};

constexpr P kOscilloscopeIn[] = {{oscilloscope::kIn, "In", kPortSignal, 2}};
constexpr P kOscilloscopeOut[] = {{oscilloscope::kOut, "Out", kPortSignal, 2}};

constexpr P kFixedOut[] = {{fixed_values::kTen, "10.0", kPortControl, 2},
                           {fixed_values::kFive, "5.0", kPortControl, 6},
                           {fixed_values::kOne, "1.0", kPortControl, 10},
                           {fixed_values::kSemitone, "0.083", kPortControl, 14},
                           {fixed_values::kHundredth, "0.01", kPortControl, 18}};

constexpr P kDriverIn[] = {{oscillator_driver::kPitch, "Pitch", kPortControl, 2},
                           {oscillator_driver::kOctave, "Octave", kPortGate, 6},
                           {oscillator_driver::kCoarse, "Course", kPortControl, 10},
                           {oscillator_driver::kFine, "Fine", kPortControl, 14}};
constexpr P kDriverOut[] = {{oscillator_driver::kOut, "Out", kPortControl, 18}};

constexpr P kPolyMidiIn[] = {{poly_midi::kDisplayRow, "", kPortHidden, 2}};
constexpr P kPolyMidiOut[] = {{poly_midi::GateOf(0), "Gate 1", kPortGate, 2},
                              {poly_midi::PitchOf(0), "Pitch 1", kPortControl, 6},
                              {poly_midi::GateOf(1), "Gate 2", kPortGate, 10},
                              {poly_midi::PitchOf(1), "Pitch 2", kPortControl, 14},
                              {poly_midi::GateOf(2), "Gate 3", kPortGate, 18},
                              {poly_midi::PitchOf(2), "Pitch 3", kPortControl, 22},
                              {poly_midi::GateOf(3), "Gate 4", kPortGate, 26},
                              {poly_midi::PitchOf(3), "Pitch 4", kPortControl, 30},
                              {poly_midi::GateOf(4), "Gate 5", kPortGate, 34},
                              {poly_midi::PitchOf(4), "Pitch 5", kPortControl, 38},
                              {poly_midi::GateOf(5), "Gate 6", kPortGate, 42},
                              {poly_midi::PitchOf(5), "Pitch 6", kPortControl, 46},
                              {poly_midi::GateOf(6), "Gate 7", kPortGate, 50},
                              {poly_midi::PitchOf(6), "Pitch 7", kPortControl, 54},
                              {poly_midi::GateOf(7), "Gate 8", kPortGate, 58},
                              {poly_midi::PitchOf(7), "Pitch 8", kPortControl, 62}};

constexpr P kMathIn[] = {{math::kIn1, "", kPortSignal, 2}, {math::kIn2, "", kPortSignal, 6}};
constexpr P kMathOut[] = {{math::kOut, "", kPortSignal, 4}};

constexpr P kA440Out[] = {{a440::kOut, "Out", kPortSignal, 2}};

constexpr P kTestIn[] = {{test_module::kIn1, "In 1", kPortSignal, 2},
                         {test_module::kIn2, "In 2", kPortSignal, 6},
                         {test_module::kIn3, "In 3", kPortSignal, 10},
                         {test_module::kIn4, "In 4", kPortSignal, 14}};
constexpr P kTestOut[] = {{test_module::kOut1, "Out 1", kPortSignal, 2},
                          {test_module::kOut2, "Out 2", kPortSignal, 6},
                          {test_module::kOut3, "Out 3", kPortSignal, 10},
                          {test_module::kOut4, "Out 4", kPortSignal, 14}};

constexpr P kRescaleIn[] = {{rescale::kIn, "In", kPortSignal, 2},
                            {rescale::kHigh, "High", kPortControl, 6},
                            {rescale::kLow, "Low", kPortGate, 10}};
constexpr P kRescaleOut[] = {{rescale::kOut, "Out", kPortSignal, 14}};

constexpr P kOscillatorIn[] = {{oscillator::kWave, "Wave", kPortGate, 2},
                               {oscillator::kPitch, "Pitch", kPortControl, 6},
                               {oscillator::kSync, "Sync", kPortSignal, 10},
                               {oscillator::kPulseWidth, "Pwm", kPortControl, 14}};
constexpr P kOscillatorOut[] = {{oscillator::kOut, "Out", kPortSignal, 18}};

constexpr P kSwitch2In1OutIn[] = {{switch_2in1out::kSwitch, "Switch", kPortGate, 2},
                                  {switch_2in1out::kIn1, "In 1", kPortSignal, 6},
                                  {switch_2in1out::kIn2, "In 2", kPortSignal, 10}};
constexpr P kSwitch2In1OutOut[] = {{switch_2in1out::kOut, "Out", kPortSignal, 14}};

constexpr P kSwitch1In2OutIn[] = {{switch_1in2out::kSwitch, "Switch", kPortGate, 2},
                                  {switch_1in2out::kIn, "In", kPortSignal, 6}};
constexpr P kSwitch1In2OutOut[] = {{switch_1in2out::kOut1, "Out 1", kPortSignal, 10},
                                   {switch_1in2out::kOut2, "Out 2", kPortSignal, 14}};

constexpr P kSwitch1In4OutIn[] = {{switch_1in4out::kIn, "In", kPortSignal, 2},
                                  {switch_1in4out::kOn1, "On/Off", kPortSignal, 6},
                                  {switch_1in4out::kOn2, "On/Off", kPortSignal, 10},
                                  {switch_1in4out::kOn3, "On/Off", kPortSignal, 14},
                                  {switch_1in4out::kOn4, "On/Off", kPortSignal, 18}};
constexpr P kSwitch1In4OutOut[] = {{switch_1in4out::kOut1, "Out", kPortSignal, 6},
                                   {switch_1in4out::kOut2, "Out", kPortSignal, 10},
                                   {switch_1in4out::kOut3, "Out", kPortSignal, 14},
                                   {switch_1in4out::kOut4, "Out", kPortSignal, 18}};

constexpr P kReverbIn[] = {
    {reverb::kInL, "In L", kPortSignal, 2},        {reverb::kInR, "In R", kPortSignal, 6},
    {reverb::kSize, "Size", kPortSignal, 10},      {reverb::kMix, "Mix", kPortSignal, 14},
    {reverb::kHighCut, "Hi Cut", kPortSignal, 18}, {reverb::kOnOff, "On/Off", kPortGate, 22}};
constexpr P kReverbOut[] = {{reverb::kOutL, "Out L", kPortSignal, 2},
                            {reverb::kOutR, "Out R", kPortSignal, 6},
                            {reverb::kStatus, "Status", kPortStatus, 10}};

constexpr P kNoiseOut[] = {{noise::kWhite, "White", kPortSignal, 2},
                           {noise::kPink, "Pink", kPortSignal, 6}};

// Density sits below Wave on the box, out of number order.
constexpr P kPolyWaveIn[] = {{poly_wave::kWave, "Wave", kPortControl, 2},
                             {poly_wave::kAttack, "Attack", kPortControl, 10},
                             {poly_wave::kDecay, "Decay", kPortControl, 14},
                             {poly_wave::kSustain, "Sustain", kPortControl, 18},
                             {poly_wave::kRelease, "Release", kPortControl, 22},
                             {poly_wave::kDensity, "Density", kPortControl, 6}};
constexpr P kPolyWaveOut[] = {{poly_wave::kOutL, "Out L", kPortSignal, 26},
                              {poly_wave::kOutR, "Out R", kPortSignal, 30},
                              {poly_wave::kStatus, "Status", kPortStatus, 34}};

constexpr P kFormantIn[] = {{formant::kIn, "In", kPortSignal, 2},
                            {formant::kFormant, "Formant", kPortControl, 6}};
constexpr P kFormantOut[] = {{formant::kOut, "Out", kPortSignal, 10}};

constexpr P kOnePoleIn[] = {{one_pole::kIn, "In", kPortSignal, 2},
                            {one_pole::kFrequency, "Freq", kPortControl, 6}};
constexpr P kOnePoleOut[] = {{one_pole::kOut, "Out", kPortSignal, 10}};

constexpr P kLfoIn[] = {{lfo::kWave, "Wave", kPortGate, 2},
                        {lfo::kRate, "Rate", kPortControl, 6},
                        {lfo::kPolarity, "Polarity", kPortSignal, 10},
                        {lfo::kLevel, "Level", kPortSignal, 14}};
constexpr P kLfoOut[] = {{lfo::kOut, "Out", kPortSignal, 18}};

// The Patchbay's first ports; the rest are laid out from its cables.
constexpr P kPatchbayIn[] = {{patchbay::kIn, "In", kPortSignal, 2}};
constexpr P kPatchbayOut[] = {{patchbay::kOut, "Out", kPortSignal, 2}};

constexpr std::span<const P> kNoPorts{};

constexpr ModuleTypeInfo kTypes[] = {
    {1, "Output", "Audio I/O", "Audio Out", 8, 36, "audio_out.htm", true, false, kOutputIn,
     kNoPorts},
    {2, "Midi2CV", "Midi", "Midi To CV", 9, 12, "midi2cv.htm", false, false, kMidi2CvIn,
     kMidi2CvOut},
    {3, "Delay", "Effect", "Delay", 9, 20, "delay.htm", true, false, kDelayIn, kDelayOut},
    {4, "Split", "Flow Control", "Split", 4, 8, "split.htm", false, false, kSplitIn, kSplitOut},
    {5, "Parameter", "Control", "Parameter", 9, 4, "parameter.htm", false, false, kParameterIn,
     kParameterOut},
    {6, "Amplifier", "Modifier", "Amplifier", 8, 12, "amplifier.htm", false, false, kAmplifierIn,
     kAmplifierOut},
    {7, "Combine", "Flow Control", "Combine", 4, 8, "combine.htm", false, false, kCombineIn,
     kCombineOut},
    {8, "Inverter", "Modifier", "Inverter", 8, 4, "inverter.htm", false, false, kInverterIn,
     kInverterOut},
    {9, "Volt Meter", "Diagnostic", "Volt Meter", 8, 8, "volt_meter.htm", false, false,
     kVoltMeterIn, kVoltMeterOut},
    {10, "2 Pole Low Pass", "Filter", "2 Pole Low Pass", 9, 16, "filter_2pole_lp.htm", false, false,
     kLowPass2In, kLowPass2Out},
    {11, "ADSR", "Modifier", "ADSR", 10, 28, "adsr.htm", false, false, kAdsrIn, kAdsrOut},
    {12, "Oscilloscope", "Diagnostic", "Oscilloscope", 8, 16, "oscilloscope.htm", false, false,
     kOscilloscopeIn, kOscilloscopeOut},
    {13, "Fixed Values", "Control", "Fixed Values", 8, 20, "fixed_values.htm", false, false,
     kNoPorts, kFixedOut},
    {14, "Oscillator Driver", "Control", "Oscillator Driver", 9, 20, "oscillator_driver.htm", false,
     false, kDriverIn, kDriverOut},
    {15, "PolyMidi NO COMPILE", "Midi", "Poly Midi To CV", 11, 64, "todo.htm", false, true,
     kPolyMidiIn, kPolyMidiOut},
    {16, "Mul", "Math", "Multiply", 4, 8, "mul.htm", false, false, kMathIn, kMathOut},
    {17, "Div", "Math", "Divide", 4, 8, "div.htm", false, false, kMathIn, kMathOut},
    {18, "Add", "Math", "Add", 4, 8, "add.htm", false, false, kMathIn, kMathOut},
    {19, "Sub", "Math", "Subtract", 4, 8, "sub.htm", false, false, kMathIn, kMathOut},
    {26, "A440Hz", "Diagnostic", "A440Hz", 5, 4, "a440hz.htm", false, false, kNoPorts, kA440Out},
    {27, "Test Module", "", "", 10, 16, nullptr, false, false, kTestIn, kTestOut},
    {28, "Rescale", "Modifier", "Rescale", 9, 16, "rescale.htm", false, false, kRescaleIn,
     kRescaleOut},
    {29, "Oscillator", "Waveform", "Oscillator", 9, 20, "oscillator.htm", false, false,
     kOscillatorIn, kOscillatorOut},
    {30, "Switch 2In 1Out", "Flow Control", "Switch 2 In 1 Out", 9, 16, "switch_2in1out.htm", false,
     false, kSwitch2In1OutIn, kSwitch2In1OutOut},
    {31, "Switch 1In 2Out", "Flow Control", "Switch 1 In 2 Out", 9, 16, "switch_1in2out.htm", false,
     false, kSwitch1In2OutIn, kSwitch1In2OutOut},
    {32, "Switch 1In 4Out", "Flow Control", "Switch 1 In 4 Out", 11, 20, "switch_1in4out.htm",
     false, false, kSwitch1In4OutIn, kSwitch1In4OutOut},
    {33, "Reverb", "Effect", "Reverb", 11, 25, "reverb.htm", true, false, kReverbIn, kReverbOut},
    {34, "Noise", "Waveform", "Noise", 8, 8, "noise.htm", false, false, kNoPorts, kNoiseOut},
    {35, "PolyWave", "Waveform", "PolyWave", 10, 36, "todo.htm", true, false, kPolyWaveIn,
     kPolyWaveOut},
    {36, "Formant", "Filter", "Formant", 9, 12, "filter_formant.htm", false, false, kFormantIn,
     kFormantOut},
    {37, "1 Pole Low Pass", "Filter", "1 Pole Low Pass", 9, 12, "filter_1pole_lp.htm", false, false,
     kOnePoleIn, kOnePoleOut},
    {38, "1 Pole High Pass", "Filter", "1 Pole High Pass", 9, 12, "filter_1pole_hp.htm", false,
     false, kOnePoleIn, kOnePoleOut},
    {39, "All Pass Filter", "Filter", "Allpass", 9, 12, "filter_allpass.htm", false, false,
     kOnePoleIn, kOnePoleOut},
    {40, "Lfo", "Waveform", "Lfo", 9, 20, "todo.htm", false, false, kLfoIn, kLfoOut},
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
