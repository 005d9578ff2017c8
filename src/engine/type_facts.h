#pragma once

// What the engine needs to know about a module type beyond its rule, in one table: the
// defaults its rule stores into the unconnected cell, the input it may store back into,
// whether it reads inputs directly, whether its block rule runs several modules side by
// side, and the state it shares with others of its family. The rules store their
// defaults from here and the run plan derives the shared cell from here, so a default is
// stated once.
#include "model/limits.h"
#include "model/ports.h"
#include "model/project.h"

#include <cstdint>
#include <span>

namespace tw {

struct InputDefault {
    int32_t input;
    float value;
};

// A read of `input` that falls below `floor` writes the floor back into the cell it read.
struct StoreBack {
    int32_t input = kNone;
    float floor = 0.0f;
};

// Families whose members share one state and so keep their list order among themselves.
enum SharedFamilyId : int32_t {
    kFamilyDelay = 0,
    kFamilyReverb = 1,
    kFamilyRandom = 2,      // the engine's random generator
    kFamilyOutputBlock = 3, // the block: the last Output in the list wins
};

struct EngineTypeFacts {
    bool readsDirect = false;
    std::span<const InputDefault> defaults; // in the order the rule stores them
    StoreBack storeBack;
    bool batches = false;
    int32_t sharedFamily = kNone;
};

inline constexpr float kMinDelayTime = 0.05f;

inline constexpr InputDefault kOutputDefaults[] = {{output::kVolume, 0.5f}};
inline constexpr InputDefault kDelayDefaults[] = {{delay::kTime, 0.5f}, {delay::kFeedback, 0.0f}};
inline constexpr InputDefault kReverbDefaults[] = {{reverb::kOnOff, 1.0f}, {reverb::kSize, 0.5f}};
inline constexpr InputDefault kOscillatorDefaults[] = {{oscillator::kPitch, 5.0f}};
inline constexpr InputDefault kOnePoleDefaults[] = {{one_pole::kFrequency, 0.8f}};
inline constexpr InputDefault kLfoDefaults[] = {{lfo::kWave, 0.0f}, {lfo::kLevel, 1.0f}};

constexpr EngineTypeFacts FactsOf(int32_t type) noexcept {
    switch (type) {
    case kTypeOutput:
        return {true, kOutputDefaults, {output::kVolume, 0.0f}, false, kFamilyOutputBlock};
    case kTypeDelay:
        return {true, kDelayDefaults, {delay::kTime, kMinDelayTime}, false, kFamilyDelay};
    case kTypeReverb:
        return {true, kReverbDefaults, {}, false, kFamilyReverb};
    case kTypeOscillator:
        return {true, kOscillatorDefaults, {}, true, kNone};
    case kTypeLowPass1Pole:
    case kTypeHighPass1Pole:
        return {true, kOnePoleDefaults, {}, true, kNone};
    case kTypeAllPass:
    case kTypeSplit:
    case kTypeCombine:
    case kTypeFormant:
        return {true, {}, {}, false, kNone};
    case kTypeLfo:
        return {true, kLfoDefaults, {}, true, kNone};
    case kTypePolyWave:
        return {true, {}, {}, false, kFamilyRandom};
    case kTypeNoise:
    case kTypeTestModule:
        return {false, {}, {}, false, kFamilyRandom};
    default:
        return {};
    }
}

} // namespace tw
