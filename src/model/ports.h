#pragma once

// The port numbers of every module type, by name. The catalogue builds its port tables
// from these and the engine's rules read and write their cells through them, so a label
// on the canvas and the cell a rule uses cannot drift apart.
//
// A slot's inputs and outputs are numbered separately (input k and output k are
// different cells), so each type's namespace holds an `Input` and an `Output` list.
// Hidden inputs take no cable; they only mark the row the canvas prints a live value on.
#include <cstdint>

namespace tw {

namespace output {
enum Input : int32_t {
    kVolume = 0,
    kLeft1 = 1,
    kLeft2 = 2,
    kLeft3 = 3,
    kLeft4 = 4,
    kRight1 = 5,
    kRight2 = 6,
    kRight3 = 7,
    kRight4 = 8,
};
} // namespace output

namespace midi2cv {
enum Input : int32_t { kDisplayRow = 0 };
enum Output : int32_t { kGate = 0, kPitch = 1, kVelocity = 2 };
} // namespace midi2cv

namespace delay {
enum Input : int32_t { kIn = 0, kTime = 1, kFeedback = 2, kMix = 3 };
enum Output : int32_t { kOut = 0, kStatus = 1 };
} // namespace delay

namespace split {
enum Input : int32_t { kIn = 0 };
enum Output : int32_t { kOut1 = 0, kOut2 = 1 };
} // namespace split

namespace parameter {
enum Input : int32_t { kDisplayRow = 0 };
enum Output : int32_t { kOut = 0 };
} // namespace parameter

namespace amplifier {
enum Input : int32_t { kIn = 0, kLevel = 1 };
enum Output : int32_t { kOut = 0 };
} // namespace amplifier

namespace combine {
enum Input : int32_t { kIn1 = 0, kIn2 = 1 };
enum Output : int32_t { kOut = 0 };
} // namespace combine

namespace inverter {
enum Input : int32_t { kIn = 0 };
enum Output : int32_t { kOut = 0 };
} // namespace inverter

namespace volt_meter {
enum Input : int32_t { kIn = 0, kDisplayRow = 1 };
enum Output : int32_t { kOut = 0 };
} // namespace volt_meter

namespace low_pass_2pole {
enum Input : int32_t { kIn = 0, kFrequency = 1, kResonance = 2 };
enum Output : int32_t { kOut = 0 };
} // namespace low_pass_2pole

namespace adsr {
enum Input : int32_t {
    kGate = 0,
    kAttack = 1,
    kDecay = 2,
    kSustain = 3,
    kRelease = 4,
    kLevel = 5,
};
enum Output : int32_t { kOut = 0 };
} // namespace adsr

namespace oscilloscope {
enum Input : int32_t { kIn = 0 };
enum Output : int32_t { kOut = 0 };
} // namespace oscilloscope

namespace fixed_values {
enum Output : int32_t { kTen = 0, kFive = 1, kOne = 2, kSemitone = 3, kHundredth = 4 };
} // namespace fixed_values

namespace oscillator_driver {
enum Input : int32_t { kPitch = 0, kOctave = 1, kCoarse = 2, kFine = 3 };
enum Output : int32_t { kOut = 0 };
} // namespace oscillator_driver

namespace poly_midi {
enum Input : int32_t { kDisplayRow = 0 };
// Each voice has a gate and a pitch output, side by side.
inline constexpr int32_t kVoices = 8;
constexpr int32_t GateOf(int32_t voice) noexcept {
    return 2 * voice;
}
constexpr int32_t PitchOf(int32_t voice) noexcept {
    return 2 * voice + 1;
}
} // namespace poly_midi

// Mul, Div, Add and Sub: out = in1 (op) in2.
namespace math {
enum Input : int32_t { kIn1 = 0, kIn2 = 1 };
enum Output : int32_t { kOut = 0 };
} // namespace math

namespace a440 {
enum Output : int32_t { kOut = 0 };
} // namespace a440

namespace test_module {
enum Input : int32_t { kIn1 = 0, kIn2 = 1, kIn3 = 2, kIn4 = 3 };
enum Output : int32_t { kOut1 = 0, kOut2 = 1, kOut3 = 2, kOut4 = 3 };
} // namespace test_module

namespace rescale {
enum Input : int32_t { kIn = 0, kHigh = 1, kLow = 2 };
enum Output : int32_t { kOut = 0 };
} // namespace rescale

namespace oscillator {
enum Input : int32_t { kWave = 0, kPitch = 1, kSync = 2, kPulseWidth = 3 };
enum Output : int32_t { kOut = 0 };
} // namespace oscillator

namespace switch_2in1out {
enum Input : int32_t { kSwitch = 0, kIn1 = 1, kIn2 = 2 };
enum Output : int32_t { kOut = 0 };
} // namespace switch_2in1out

namespace switch_1in2out {
enum Input : int32_t { kSwitch = 0, kIn = 1 };
enum Output : int32_t { kOut1 = 0, kOut2 = 1 };
} // namespace switch_1in2out

// Output n follows On/Off input n; output 0 does not exist.
namespace switch_1in4out {
enum Input : int32_t { kIn = 0, kOn1 = 1, kOn2 = 2, kOn3 = 3, kOn4 = 4 };
enum Output : int32_t { kOut1 = 1, kOut2 = 2, kOut3 = 3, kOut4 = 4 };
} // namespace switch_1in4out

namespace reverb {
enum Input : int32_t { kInL = 0, kInR = 1, kSize = 2, kMix = 3, kHighCut = 4, kOnOff = 5 };
enum Output : int32_t { kOutL = 0, kOutR = 1, kStatus = 2 };
} // namespace reverb

namespace noise {
enum Output : int32_t { kWhite = 0, kPink = 1 };
} // namespace noise

namespace poly_wave {
enum Input : int32_t {
    kWave = 0,
    kAttack = 1,
    kDecay = 2,
    kSustain = 3,
    kRelease = 4,
    kDensity = 5,
};
enum Output : int32_t { kOutL = 0, kOutR = 1, kStatus = 2 };
} // namespace poly_wave

namespace formant {
enum Input : int32_t { kIn = 0, kFormant = 1 };
enum Output : int32_t { kOut = 0 };
} // namespace formant

// The one-pole low and high pass and the all-pass filter.
namespace one_pole {
enum Input : int32_t { kIn = 0, kFrequency = 1 };
enum Output : int32_t { kOut = 0 };
} // namespace one_pole

namespace lfo {
enum Input : int32_t { kWave = 0, kRate = 1, kPolarity = 2, kLevel = 3 };
enum Output : int32_t { kOut = 0 };
} // namespace lfo

// Every one of a Patchbay's sixteen inputs feeds every output; these are the first.
namespace patchbay {
enum Input : int32_t { kIn = 0 };
enum Output : int32_t { kOut = 0 };
} // namespace patchbay

} // namespace tw
