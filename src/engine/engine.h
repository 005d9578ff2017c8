#pragma once

// The synthesis engine: one per running project (the editor has one; every plugin
// instance has its own). It owns the value tables that carry signals between modules
// and the DSP state of every module family, and runs the project's active-object list
// once per sample frame.
#include "engine/block.h"
#include "engine/controls.h"
#include "engine/effects.h"
#include "engine/envelope.h"
#include "engine/filters.h"
#include "engine/keyboard.h"
#include "engine/noise.h"
#include "engine/notes.h"
#include "engine/oscillators.h"
#include "engine/polywave.h"
#include "engine/rate_bridge.h"
#include "engine/type_facts.h"
#include "engine/utility.h"
#include "model/checks.h"
#include "model/engine_control.h"
#include "model/limits.h"
#include "model/ports.h"
#include "model/project.h"
#include "model/xorshift.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace tw {

struct Schedule;
struct VoiceBank;
struct VoiceStreamMemory;

// The engine's own small generator (xorshift32). The C library's rand() takes a lock and
// shares its state with any other code; this one is owned by the engine and seeded by
// the reset, so renders repeat exactly and a plugin sounds like the editor.
struct EngineRandom {
    uint32_t state = 0x9E3779B9u;
    void Seed(uint32_t seed) noexcept { state = seed != 0 ? seed : 0x9E3779B9u; }
    uint32_t Next() noexcept { return NextXorShift(state); }
    // Uniform in [0, 1).
    float NextUnit() noexcept { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }
};

inline constexpr uint32_t kEngineSeed = 22222u;

// Per-slot cells that several module types share: whichever type occupies a slot uses
// them (oscillator and LFO phase and increment; the last-seen input value used by
// oscillator sync, the reverb's On/Off watch and the oscilloscope trigger). They are
// not cleared by the reset.
struct SlotCells {
    float phase[kSlotCount] = {};
    float increment[kSlotCount] = {};
    float lastSeen[kSlotCount] = {};
};

// The state of the types that run once whatever the voice count: every Delay shares one
// line, every Reverb one set of combs, and the PolyWave plays its own notes. A voice
// engine never runs them and has none.
struct OnceOnlyState {
    DelayState delay;
    ReverbState reverb;
    PolyWaveState polywave;
};

// What an engine is made for: a whole design, or one voice of a design with voices, which
// runs only the modules that run per voice, on value streams laid out by the whole
// engine's run plan.
enum class EngineRole : uint8_t { Whole, Voice };

struct Engine final : EngineControl {
    explicit Engine(Project& project, EngineRole role = EngineRole::Whole);
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    Project& project;

    // The sample rate in force. Tables built by the reset keep the rate of the last
    // reset; the rules that read this directly follow a change at once.
    // A relaxed word because the Preferences dialog may change it while audio runs.
    Relaxed<float> sampleRate{44100.0f};

    // Signal tables, indexed by port index. Only the audio thread touches them.
    float outputs[kPortCount] = {};
    float inputs[kPortCount] = {};
    float previous[kPortCount] = {};
    // The one cell every unconnected direct-read input reads; 0 at start, never reset.
    float unconnected = 0.0f;

    SlotCells cells;
    EngineRandom random;

    // Frame-loop bookkeeping: the highest input position + 1 of each type, and the type
    // last evaluated in each slot (-1 before the first evaluation).
    int32_t inputSpan[kMaxModuleType + 1] = {};
    int32_t lastType[kSlotCount] = {};

    NoteState notes;
    KeyboardState keyboard;
    ControlChangeInbox controls;
    OscillatorState oscillators;
    UtilityState utility;
    FilterState filters;
    EnvelopeState envelopes;
    NoiseState noise;
    // The Delay's, the Reverb's and the PolyWave's state: a whole engine's; null in a voice
    // engine, whose rules for these types do nothing.
    OnceOnlyState* onceOnly = nullptr;

    // Carries the sound to a device rate other than the engine's (see AdoptSampleRate).
    RateBridge bridge;

    // The run plan derived from the project's tables (audio thread only); a whole engine's.
    Schedule* schedule = nullptr;
    // The voices of a design with more than one (see voices.h); a whole engine's.
    VoiceBank* voices = nullptr;
    // A voice engine's values in the whole engine's plan: its only part of the plan memory.
    VoiceStreamMemory* voiceStreams = nullptr;

    // The engine's own part of the full reset (see EngineControl).
    void ResetDspState() override;
    void ClearDelayLine() override;
};

// The whole engine reset: FullReset of the project with the engine's steps in place.
void ResetEngine(Engine& engine);

// Prepares the engine for a device running at `deviceRate`: the engine's own rate becomes
// EngineRateFor(deviceRate) (the device rate itself where no resampler is built in) and,
// when that changes, the rate-dependent tables (note frequencies, oscillator increments,
// filter, delay and PolyWave state) are rebuilt while the project stays as it is; the
// bridge is opened from the engine's rate to the device's, its timeline at frame 0.
// For the user-interface thread while no stream plays.
void AdoptSampleRate(Engine& engine, uint32_t deviceRate);

// Opens the engine's bridge for `deviceRate` and returns the rate the engine must run at;
// the engine's own rate and tables are left to the caller (who resets them).
uint32_t OpenBridgeFor(Engine& engine, uint32_t deviceRate);

// The device frames of every caller (the plugin, live play, the offline render): through
// the engine's bridge, or straight from the engine when the rates agree.
inline void RenderDeviceFrames(Engine& engine, float* left, float* right,
                               uint32_t frames) noexcept {
    engine.bridge.Render(engine, left, right, frames);
}

// All Sound Off's part in the DSP state: every envelope idle at level 0 and the delay and
// reverb tails cleared. Audio thread (or while no stream plays).
void SilenceDspTails(Engine& e) noexcept;

// Computes `frames` sample frames into a non-interleaved stereo block: left samples at
// block[0 .. frames-1], right at block[frames .. 2*frames-1].
void ProcessBlock(Engine& engine, float* block, uint32_t frames) noexcept;

// Runs one module's rule for frame `frame` of a block (the Output module writes into
// `block`). The frame loop's own step; exposed so that tests can drive the rules with a
// plain loop of their own.
void EvaluateModule(Engine& engine, int32_t type, int32_t slot, float* block, uint32_t frames,
                    uint32_t frame) noexcept;

// The frame loop itself: every module of the list once per frame, in list order.
void RunFrameLoop(Engine& engine, float* block, uint32_t frames) noexcept;

// The audio library's output callback shape; userData is the Engine. Always returns 0.
int ProcessAudio(void* outputBuffer, void* inputBuffer, unsigned int frames, double streamTime,
                 unsigned int status, void* userData);

// ---- Input reads used by the module rules ----

// Direct read: the source's output value at the moment of use, or the unconnected cell.
// Returned as a reference so that a store-back writes the cell that was read.
inline float& DirectCell(Engine& e, int32_t input) noexcept {
    TW_ASSERT(IsPort(input));
    const int32_t source = e.project.routes[input];
    TW_ASSERT(source == kNone || IsPort(source));
    return source == kNone ? e.unconnected : e.outputs[source];
}

// Cached read: the copy taken right after the module's previous evaluation.
inline float& CachedCell(Engine& e, int32_t input) noexcept {
    TW_ASSERT(IsPort(input));
    return e.inputs[input];
}

inline bool IsConnected(const Engine& e, int32_t input) noexcept {
    return e.project.routes[input] != kNone;
}

// Input defaults: stored only when the input has no cable, into the cell it reads.
inline void DefaultDirect(Engine& e, int32_t input, float value) noexcept {
    if (!IsConnected(e, input)) e.unconnected = value;
}
inline void DefaultCached(Engine& e, int32_t input, float value) noexcept {
    if (!IsConnected(e, input)) e.inputs[input] = value;
}

// A type's direct-read defaults from its facts, in their order, for the module whose
// first port is `p`: straight-line stores, as if written out in the rule.
template <int32_t kType, std::size_t... kIndex>
inline void StoreDirectDefaults(Engine& e, int32_t p, std::index_sequence<kIndex...>) noexcept {
    constexpr EngineTypeFacts kFacts = FactsOf(kType);
    (DefaultDirect(e, p + kFacts.defaults[kIndex].input, kFacts.defaults[kIndex].value), ...);
}
template <int32_t kType> inline void StoreDirectDefaults(Engine& e, int32_t p) noexcept {
    StoreDirectDefaults<kType>(e, p, std::make_index_sequence<FactsOf(kType).defaults.size()>{});
}

} // namespace tw
