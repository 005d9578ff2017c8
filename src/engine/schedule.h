#pragma once

// The run plan of the frame loop. Running every module once per frame in list order is
// exact but slow; the plan gives the same samples faster. It is derived from the route
// table and the active-object list whenever they have been rebuilt:
//
// - modules are grouped where their order inside a frame matters: a cable running
//   backwards in the list that closes a loop, the modules of a type that share one state
//   (every Delay, every Reverb, the random generator's users, every Output), and a
//   store-back into a source's output together with that source and its readers;
// - the groups run in an order in which every source runs before its readers, each over
//   a whole run of frames: a single module with a block rule runs module-major on value
//   streams, anything else runs frame by frame in list order as the plain loop does,
//   reading the values of the modules outside it from their streams;
// - what an unconnected input reads from the shared cell is worked out from the list:
//   the last default stored before the reader in the list, or, with none before it, the
//   cell as the run found it and then the list's last default.
//
// The plan is built on the audio thread at the start of a block, into memory allocated
// with the engine, so nothing is allocated, locked or waited for. An edit therefore
// takes effect at the next block.
#include "engine/block.h"
#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;
struct Schedule;
struct VoiceStreamMemory;
struct VoicePlan;

// The plan's memory, allocated with the engine.
Schedule* NewSchedule();
void DeleteSchedule(Schedule* schedule) noexcept;
// A voice engine's value streams, allocated with it.
VoiceStreamMemory* NewVoiceStreams();
void DeleteVoiceStreams(VoiceStreamMemory* streams) noexcept;

// Computes `frames` frames into the block (already cleared) by the plan, rebuilding it
// first when the project's tables have changed; a single frame runs the plain loop.
void RunSchedule(Engine& e, float* block, uint32_t frames) noexcept;

// The same for a design with voices: the slots that the voice plan marks run once per
// sounding voice, each voice in its own engine. False, with nothing run, where the plan
// cannot give the voice frame loop's values.
bool RunVoiceSchedule(Engine& e, float* block, uint32_t frames, const VoicePlan& voices,
                      bool anySounding) noexcept;

// How the last plan was built, for tests and benchmarks.
struct ScheduleStats {
    bool planned = false; // false: the plain frame loop ran
    int32_t modules = 0;  // modules run by their block rule
    int32_t groups = 0;   // groups run frame by frame
    int32_t grouped = 0;  // modules inside those groups
    int32_t buffers = 0;  // value streams in use
    int32_t voiced = 0;   // modules run once per sounding voice
};
ScheduleStats LastScheduleStats(const Engine& e) noexcept;

} // namespace tw
