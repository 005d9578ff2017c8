#pragma once

// Voices: a design with a voice count above 1 plays that many notes at once. The modules
// that depend through cables on a Midi2CV output form the voice part; each voice runs
// them with DSP state of its own, held in an engine of its own. Everything else runs once
// in the main engine. Where a voice signal enters a once-only module it reads the voices'
// values summed in voice order.
//
// A voice count of 1 never reaches this code: the design runs as it always did.
#include "model/instrument.h"
#include "model/limits.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tw {

struct Engine;

// A note-on while every voice is busy takes the voice released longest ago, else the
// voice held longest. A voice is started from silence: the DSP state of its voice part
// is put back as a freshly opened design has it, so that a voice sounds the same whoever
// played it before.
struct VoiceAllocation {
    int32_t note[kMaxVoices];      // -1: free
    uint8_t keyDown[kMaxVoices];   // the note is held (or sustained)
    uint32_t started[kMaxVoices];  // event order of the note-on
    uint32_t released[kMaxVoices]; // event order of the note-off
    float peak[kMaxVoices];        // the voice's loudest value into the shared part this block
    uint32_t clock;
};

// What the voice plan says about the project's tables (rebuilt on the audio thread when
// they change).
struct VoicePlan {
    uint32_t generation;
    int32_t voiceCount;
    uint8_t perVoice[kSlotCount];   // the slot runs once per voice
    uint8_t feedsVoice[kSlotCount]; // a once-only slot that a voice module reads
    uint8_t exits[kSlotCount];      // a voice slot that a once-only module reads
    int32_t voiceSlots;             // how many slots run per voice
    // Per voice slot: the outputs it sums into the main engine (0 unless it exits), and
    // the once-only outputs it reads, feedPorts[feedStart[slot] .. feedStart[slot + 1]).
    int8_t exitSpan[kSlotCount];
    int32_t feedStart[kSlotCount + 1];
    int32_t feedPorts[kPortCount];
};

struct VoiceBank {
    VoiceBank() noexcept {
        for (int32_t& note : alloc.note) note = -1;
    }
    // The voice engines, made on a thread that may allocate (PrepareVoices) and published
    // by the count (release), which the audio thread reads (acquire).
    Engine* engines[kMaxVoices] = {};
    std::atomic<int32_t> ready{0};
    // The reset asks (any thread) and the audio thread frees every voice at its next block,
    // so that the allocation stays the audio thread's own.
    std::atomic<uint32_t> resets{0};
    uint32_t resetsSeen = 0;
    VoiceAllocation alloc{};
    VoicePlan plan{};
    bool planned = false;
    // The voices that sound in this block, in voice order (set before the block runs).
    int32_t sounding = 0;
    int32_t running[kMaxVoices] = {};
    Engine* soundingEngines[kMaxVoices] = {};
};

// Keeps the loudest value a voice gave this block. NaN counts as sound for good: a voice
// that went wrong is never freed as silent, whatever it gives afterwards.
inline void KeepPeak(float& peak, float x) noexcept {
    const float level = std::fabs(x);
    if (!(level <= peak)) peak = std::isnan(level) ? std::numeric_limits<float>::infinity() : level;
}

// Makes sure voice engines for `count` voices exist (at most kMaxVoices). Allocates: for
// the user-interface thread, the offline renderer and the plugin's instantiation, never
// the audio thread. Voices that are not ready yet simply do not play.
void PrepareVoices(Engine& e, int32_t count);

// The voice count the engine runs this block: the project's count as far as voices are
// ready (1 means the ordinary frame loop).
int32_t RunnableVoices(const Engine& e) noexcept;

// Runs a block with voices (count above 1): applies the note events that arrived, runs
// the design by the run plan with the voice part once per sounding voice, then frees the
// voices that fell silent after their release.
void RunVoiceBlock(Engine& e, float* block, uint32_t frames) noexcept;
// The same block by the plain frame loop: every module once per frame in list order,
// the voice modules once per sounding voice. What the plan must match exactly, and what
// runs where the plan cannot.
void RunVoiceFrameLoop(Engine& e, float* block, uint32_t frames) noexcept;

// One voice module's step for all sounding voices, where the run plan must run voice and
// once-only modules side by side frame by frame (a loop through both): each voice first
// takes the main engine's current values of the once-only outputs the module reads, and
// the voices' outputs that once-only modules read are summed into the main engine.
void StepVoices(Engine& e, int32_t type, int32_t slot, float* block, uint32_t frames,
                uint32_t frame) noexcept;

// Note events for the voices, in arrival order; applied at the start of the next block.
void ApplyVoiceEvents(Engine& e) noexcept;
// With one voice the note tables carry the notes: queued voice events are dropped.
void DropVoiceEvents(Engine& e) noexcept;
// The reset's part: every voice free, the plan made again at the next block, and every
// voice engine reset as the main one is.
void ResetVoices(Engine& e) noexcept;

// How many voices sound now (audio thread, or a test between blocks).
int32_t SoundingVoices(const Engine& e) noexcept;
// Whether slot runs once per voice in the last plan (for the editor's badge the
// user-interface thread works out the split itself with VoicePartOf).
bool IsVoiceSlot(const Engine& e, int32_t slot) noexcept;

} // namespace tw
