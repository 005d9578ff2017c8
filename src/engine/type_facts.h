#pragma once

// Everything the engine knows of a module type, in one record per type: the rule that runs
// a module for one frame, the block rule that runs it over a run of frames and the outputs
// that rule writes, the defaults its rule stores into the unconnected cell, the input it
// may store back into, whether it reads inputs directly, whether its block rule runs
// several modules side by side, and the state it shares with others of its family.
//
// The frame loop and the run plan read these records instead of switching on the type,
// and the rules store their defaults from here, so that a new type is its catalogue row,
// its rules in its family's file and its row below.
#include "engine/block.h"
#include "model/limits.h"
#include "model/ports.h"
#include "model/project.h"

#include <array>
#include <cstdint>
#include <span>
#include <type_traits>

namespace tw {

struct Engine;

// Evaluates the module in `slot` for frame `frame`; only the Output module writes into
// the block (left at block[frame], right at block[frames + frame]).
using FrameRule = void (*)(Engine& e, int32_t slot, float* block, uint32_t frames,
                           uint32_t frame) noexcept;

// Runs `count` modules of one type (1 to kBatch; 1 unless the type batches) over n frames,
// side by side: the modules are independent of each other. It leaves each module's state
// as n calls of its frame rule would and writes out[k][0 .. n-1] for the outputs in the
// type's block output mask.
using BlockRule = void (*)(Engine& e, const BlockModule* m, int32_t count, uint32_t n,
                           const RunTarget& t) noexcept;

// ---- The rules, each defined in its family's file ----

void RunOutput(Engine& e, int32_t slot, float* block, uint32_t frames, uint32_t frame) noexcept;
void RunOutputBlock(Engine& e, const BlockModule& m, uint32_t n, const RunTarget& t) noexcept;

void RunMidi2CV(Engine& e, int32_t slot) noexcept;
void RunPolyMidi(Engine& e, int32_t slot) noexcept;

void RunDelay(Engine& e, int32_t slot) noexcept;
void RunReverb(Engine& e, int32_t slot) noexcept;

void RunAdsr(Engine& e, int32_t slot) noexcept;

void RunLowPass2Pole(Engine& e, int32_t slot) noexcept;
void RunLowPass1Pole(Engine& e, int32_t slot) noexcept;
void RunLowPass1PoleBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept;
void RunHighPass1Pole(Engine& e, int32_t slot) noexcept;
void RunHighPass1PoleBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept;
void RunAllPass(Engine& e, int32_t slot) noexcept;
void RunFormant(Engine& e, int32_t slot) noexcept;

void RunNoise(Engine& e, int32_t slot) noexcept;
void RunTestModule(Engine& e, int32_t slot) noexcept;

void RunOscillator(Engine& e, int32_t slot) noexcept;
void RunOscillatorBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept;
void RunOscillatorDriver(Engine& e, int32_t slot) noexcept;
void RunOscillatorDriverBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunLfo(Engine& e, int32_t slot) noexcept;
void RunLfoBlock(Engine& e, const BlockModule* m, int32_t count, uint32_t n) noexcept;
void RunA440(Engine& e, int32_t slot) noexcept;

void RunPolyWave(Engine& e, int32_t slot) noexcept;

void RunSplit(Engine& e, int32_t slot) noexcept;
void RunSplitBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunParameter(Engine& e, int32_t slot) noexcept;
void RunParameterBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunAmplifier(Engine& e, int32_t slot) noexcept;
void RunAmplifierBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunCombine(Engine& e, int32_t slot) noexcept;
void RunCombineBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunInverter(Engine& e, int32_t slot) noexcept;
void RunInverterBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunVoltMeter(Engine& e, int32_t slot) noexcept;
void RunOscilloscope(Engine& e, int32_t slot) noexcept;
void RunFixedValues(Engine& e, int32_t slot) noexcept;
void RunFixedValuesBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunMul(Engine& e, int32_t slot) noexcept;
void RunMulBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunDiv(Engine& e, int32_t slot) noexcept;
void RunDivBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunAdd(Engine& e, int32_t slot) noexcept;
void RunAddBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunSub(Engine& e, int32_t slot) noexcept;
void RunSubBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunRescale(Engine& e, int32_t slot) noexcept;
void RunRescaleBlock(Engine& e, const BlockModule& m, uint32_t n) noexcept;
void RunSwitch2In1Out(Engine& e, int32_t slot) noexcept;
void RunSwitch1In2Out(Engine& e, int32_t slot) noexcept;
void RunSwitch1In4Out(Engine& e, int32_t slot) noexcept;
void RunPatchbay(Engine& e, int32_t slot) noexcept;

// ---- The rules in the table's common shapes ----
// Each adapter compiles to a plain jump to the rule it names.

template <void (*kRule)(Engine&, int32_t) noexcept>
void FrameOf(Engine& e, int32_t slot, float*, uint32_t, uint32_t) noexcept {
    kRule(e, slot);
}

template <auto kRule>
void BlockOf(Engine& e, const BlockModule* m, int32_t count, uint32_t n,
             const RunTarget& t) noexcept {
    if constexpr (std::is_invocable_v<decltype(kRule), Engine&, const BlockModule*, int32_t,
                                      uint32_t>) {
        kRule(e, m, count, n);
    } else if constexpr (std::is_invocable_v<decltype(kRule), Engine&, const BlockModule&, uint32_t,
                                             const RunTarget&>) {
        kRule(e, *m, n, t);
    } else {
        kRule(e, *m, n);
    }
}

// What a type not in the catalogue runs: nothing.
inline void NoFrameRule(Engine&, int32_t, float*, uint32_t, uint32_t) noexcept {}

// ---- The records ----

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
    int32_t type = kTypeEmpty;
    FrameRule frame = NoFrameRule;
    BlockRule block = nullptr; // none: the type always runs frame by frame
    uint32_t blockOutputs = 0; // the outputs the block rule writes, a bit per position
    bool readsDirect = false;  // may read the shared unconnected cell
    std::span<const InputDefault> defaults = {}; // in the order the rule stores them
    StoreBack storeBack = {};
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

// One row per type the engine runs, in type order. A type without a row runs nothing.
inline constexpr EngineTypeFacts kEngineTypeRows[] = {
    {.type = kTypeOutput,
     .frame = RunOutput,
     .block = BlockOf<RunOutputBlock>,
     .readsDirect = true,
     .defaults = kOutputDefaults,
     .storeBack = {output::kVolume, 0.0f},
     .sharedFamily = kFamilyOutputBlock},
    {.type = kTypeMidi2CV, .frame = FrameOf<RunMidi2CV>},
    {.type = kTypeDelay,
     .frame = FrameOf<RunDelay>,
     .readsDirect = true,
     .defaults = kDelayDefaults,
     .storeBack = {delay::kTime, kMinDelayTime},
     .sharedFamily = kFamilyDelay},
    {.type = kTypeSplit,
     .frame = FrameOf<RunSplit>,
     .block = BlockOf<RunSplitBlock>,
     .blockOutputs = 0b11,
     .readsDirect = true},
    {.type = kTypeParameter,
     .frame = FrameOf<RunParameter>,
     .block = BlockOf<RunParameterBlock>,
     .blockOutputs = 1},
    {.type = kTypeAmplifier,
     .frame = FrameOf<RunAmplifier>,
     .block = BlockOf<RunAmplifierBlock>,
     .blockOutputs = 1},
    {.type = kTypeCombine,
     .frame = FrameOf<RunCombine>,
     .block = BlockOf<RunCombineBlock>,
     .blockOutputs = 1,
     .readsDirect = true},
    {.type = kTypeInverter,
     .frame = FrameOf<RunInverter>,
     .block = BlockOf<RunInverterBlock>,
     .blockOutputs = 1},
    {.type = kTypeVoltMeter, .frame = FrameOf<RunVoltMeter>},
    {.type = kTypeLowPass2Pole, .frame = FrameOf<RunLowPass2Pole>},
    {.type = kTypeAdsr, .frame = FrameOf<RunAdsr>},
    {.type = kTypeOscilloscope, .frame = FrameOf<RunOscilloscope>},
    {.type = kTypeFixedValues,
     .frame = FrameOf<RunFixedValues>,
     .block = BlockOf<RunFixedValuesBlock>,
     .blockOutputs = 0b11111},
    {.type = kTypeOscillatorDriver,
     .frame = FrameOf<RunOscillatorDriver>,
     .block = BlockOf<RunOscillatorDriverBlock>,
     .blockOutputs = 1},
    {.type = kTypePolyMidi, .frame = FrameOf<RunPolyMidi>},
    {.type = kTypeMul, .frame = FrameOf<RunMul>, .block = BlockOf<RunMulBlock>, .blockOutputs = 1},
    {.type = kTypeDiv, .frame = FrameOf<RunDiv>, .block = BlockOf<RunDivBlock>, .blockOutputs = 1},
    {.type = kTypeAdd, .frame = FrameOf<RunAdd>, .block = BlockOf<RunAddBlock>, .blockOutputs = 1},
    {.type = kTypeSub, .frame = FrameOf<RunSub>, .block = BlockOf<RunSubBlock>, .blockOutputs = 1},
    {.type = kTypeA440, .frame = FrameOf<RunA440>},
    {.type = kTypeTestModule, .frame = FrameOf<RunTestModule>, .sharedFamily = kFamilyRandom},
    {.type = kTypeRescale,
     .frame = FrameOf<RunRescale>,
     .block = BlockOf<RunRescaleBlock>,
     .blockOutputs = 1},
    {.type = kTypeOscillator,
     .frame = FrameOf<RunOscillator>,
     .block = BlockOf<RunOscillatorBlock>,
     .blockOutputs = 1,
     .readsDirect = true,
     .defaults = kOscillatorDefaults,
     .batches = true},
    {.type = kTypeSwitch2In1Out, .frame = FrameOf<RunSwitch2In1Out>},
    {.type = kTypeSwitch1In2Out, .frame = FrameOf<RunSwitch1In2Out>},
    {.type = kTypeSwitch1In4Out, .frame = FrameOf<RunSwitch1In4Out>},
    {.type = kTypeReverb,
     .frame = FrameOf<RunReverb>,
     .readsDirect = true,
     .defaults = kReverbDefaults,
     .sharedFamily = kFamilyReverb},
    {.type = kTypeNoise, .frame = FrameOf<RunNoise>, .sharedFamily = kFamilyRandom},
    {.type = kTypePolyWave,
     .frame = FrameOf<RunPolyWave>,
     .readsDirect = true,
     .sharedFamily = kFamilyRandom},
    {.type = kTypeFormant, .frame = FrameOf<RunFormant>, .readsDirect = true},
    {.type = kTypeLowPass1Pole,
     .frame = FrameOf<RunLowPass1Pole>,
     .block = BlockOf<RunLowPass1PoleBlock>,
     .blockOutputs = 1,
     .readsDirect = true,
     .defaults = kOnePoleDefaults,
     .batches = true},
    {.type = kTypeHighPass1Pole,
     .frame = FrameOf<RunHighPass1Pole>,
     .block = BlockOf<RunHighPass1PoleBlock>,
     .blockOutputs = 1,
     .readsDirect = true,
     .defaults = kOnePoleDefaults,
     .batches = true},
    {.type = kTypeAllPass, .frame = FrameOf<RunAllPass>, .readsDirect = true},
    {.type = kTypeLfo,
     .frame = FrameOf<RunLfo>,
     .block = BlockOf<RunLfoBlock>,
     .blockOutputs = 1,
     .readsDirect = true,
     .defaults = kLfoDefaults,
     .batches = true},
    {.type = kTypePatchbay, .frame = FrameOf<RunPatchbay>},
};

// ---- The table the engine reads, indexed by type number ----

inline constexpr std::size_t kEngineTypeCount = kMaxModuleType + 1;

namespace type_table_detail {

// (Whether each row names a frame rule is the type table test's to check: a sanitizer
// build cannot compare a function's address at compile time.)
constexpr bool RowsInOrder() {
    int32_t last = kTypeEmpty;
    for (const EngineTypeFacts& row : kEngineTypeRows) {
        if (row.type <= last || row.type > kMaxModuleType) return false;
        last = row.type;
    }
    return true;
}
static_assert(RowsInOrder(), "type rows: each type once, in order, 1 .. kMaxModuleType");

constexpr std::array<EngineTypeFacts, kEngineTypeCount> IndexRows() {
    std::array<EngineTypeFacts, kEngineTypeCount> table{};
    for (const EngineTypeFacts& row : kEngineTypeRows)
        table[static_cast<std::size_t>(row.type)] = row;
    return table;
}

} // namespace type_table_detail

inline constexpr std::array<EngineTypeFacts, kEngineTypeCount> kEngineTypes =
    type_table_detail::IndexRows();

// The frame rules alone, densely packed for the frame loop's dispatch. Hidden, so that
// position-independent code reaches it directly rather than through the symbol table: the
// frame loop calls through it once per module and frame.
[[gnu::visibility("hidden")]] inline constexpr std::array<FrameRule, kEngineTypeCount> kFrameRules =
    [] {
        std::array<FrameRule, kEngineTypeCount> rules{};
        for (std::size_t t = 0; t < rules.size(); ++t) rules[t] = kEngineTypes[t].frame;
        return rules;
    }();

constexpr bool IsEngineType(int32_t type) noexcept {
    return static_cast<uint32_t>(type) <= static_cast<uint32_t>(kMaxModuleType);
}

// The record of `type`; an empty one (no rule, no facts) for 0, the gaps in the numbering
// and anything out of range.
constexpr const EngineTypeFacts& FactsOf(int32_t type) noexcept {
    return kEngineTypes[IsEngineType(type) ? static_cast<std::size_t>(type) : 0];
}

constexpr bool HasBlockRule(int32_t type) noexcept {
    return FactsOf(type).block != nullptr;
}

// The outputs a type's block rule writes on every frame, a bit per position.
constexpr uint32_t BlockOutputMask(int32_t type) noexcept {
    return FactsOf(type).blockOutputs;
}

} // namespace tw
