#pragma once

// The run plan's memory and the pieces it is made of, shared by the code that derives the
// plan (schedule_build.cpp, schedule_streams.cpp) and the code that runs it (schedule.cpp).
// Nothing else includes this.
#include "engine/block.h"
#include "engine/schedule.h"
#include "engine/voices.h"
#include "model/limits.h"
#include "model/project.h"

#include <cstdint>

namespace tw {

// A stream holds the value before the run at [0] and frame f at [1 + f].
constexpr int32_t kStride = static_cast<int32_t>(kRunFrames) + 1;
// Streams live while their source has readers still to run, so a patch needs about as
// many as it has values crossing between groups at one point; more falls back to the
// plain frame loop.
constexpr int32_t kStreamCount = 1536;

struct VoiceStreamMemory {
    float streams[kStreamCount][kStride];
};
constexpr int32_t kMaxOps = 4 * kPortCount;
constexpr int32_t kMaxRestores = kPortCount;

enum OpKind : int32_t {
    kOpLoadBefore, // outputs[port] := the source's value of the frame before
    kOpLoadNow,    // outputs[port] := the source's value of this frame
    kOpSetCell,    // the shared cell := stream value of this frame
    kOpStep,       // run the module and refresh its input copies
    kOpVoiceStep,  // run the voice module once per sounding voice
    kOpStore,      // stream := outputs[port]
};

struct Op {
    int32_t kind;
    int32_t a; // port, or module type
    int32_t b; // stream, or slot
};

struct Unit {
    bool block = false; // modules by their block rule; otherwise ops frame by frame
    bool voice = false; // voice modules only: run once per sounding voice in its engine
    bool mixed = false; // once-only and voice modules frame by frame, side by side
    int32_t module = 0; // the first block module's index
    int32_t count = 0;  // block modules of one type run side by side
    int32_t opBegin = 0, opEnd = 0;
    int32_t primeBegin = 0, primeEnd = 0; // (port, stream): stream[0] := outputs[port]
    int32_t restoreBegin = 0, restoreEnd = 0;
    uint32_t outputMask = 0;            // the block rule's outputs
    uint32_t fillMask[kBatch] = {};     // streamed outputs the rule never writes
    int32_t exitBegin = 0, exitEnd = 0; // (port, stream): the voices' sum after the unit
};

struct PortStream {
    int32_t port;
    int32_t stream;
};

struct Schedule {
    // ---- The plan ----
    bool valid = false;
    uint32_t generation = 0;
    int32_t count = -1;  // the active count it was built from
    bool voiced = false; // built with a voice part
    // With no voice sounding, the defaults that voice modules store into the shared cell
    // are not stored and a once-only module would read another value than the plan's:
    // such blocks run the plain loop.
    bool silentDiffers = false;
    // Voice modules that a cable joins run in one group (see JoinSharedState).
    bool joinVoices = false;
    int32_t exitCount = 0;
    int32_t unitCount = 0;
    int32_t moduleCount = 0;
    int32_t opCount = 0;
    int32_t primeCount = 0;
    int32_t restoreCount = 0;
    // The shared cell: the value every run ends with (when some module stores a
    // default), and the streams that start from the cell as the run finds it.
    bool anyStore = false;
    float endCell = 0.0f;
    int32_t startStream = kNone;     // the cell as found, on every frame
    int32_t startThenStream = kNone; // the cell as found, then endCell
    ScheduleStats stats;

    Unit units[kSlotCount];
    BlockModule modules[kSlotCount];
    Op ops[kMaxOps];
    PortStream primes[kPortCount];
    PortStream restores[kMaxRestores];
    float streams[kStreamCount][kStride];
    // Where block modules write the outputs nobody outside reads, per place in a batch.
    float sinks[kBatch][kPortsPerSlot][kStride];

    // ---- Working memory of the build ----
    int32_t nodeType[kSlotCount];
    int32_t nodeSlot[kSlotCount];
    uint8_t nodeVoice[kSlotCount];
    uint8_t slotVoice[kSlotCount];
    uint8_t partVoice[kSlotCount]; // 0 once-only, 1 voice modules only, 2 both
    int32_t slotNode[kSlotCount];
    int32_t route[kSlotCount][kPortsPerSlot];
    int32_t owner[kSlotCount][kPortsPerSlot];
    int32_t parent[kSlotCount];
    int32_t comp[kSlotCount];
    int32_t compMin[kSlotCount];
    int32_t unitOf[kSlotCount];
    int32_t cellStream[kSlotCount];
    int8_t stores[kSlotCount];
    float storeValue[kSlotCount];
    // Graph of groups (CSR) for the loop search and the ordering.
    int32_t edgeStart[kSlotCount + 1];
    int32_t edgeFrom[kSlotCount * kPortsPerSlot];
    int32_t edgeTo[kSlotCount * kPortsPerSlot];
    int32_t adjacent[kSlotCount * kPortsPerSlot];
    int32_t edgeCount = 0;
    int32_t tarjanIndex[kSlotCount];
    int32_t tarjanLow[kSlotCount];
    int32_t tarjanStack[kSlotCount];
    int32_t callNode[kSlotCount];
    int32_t callEdge[kSlotCount];
    uint8_t onStack[kSlotCount];
    int32_t indegree[kSlotCount];
    int32_t heap[kSlotCount];
    int32_t order[kSlotCount];
    int32_t level[kSlotCount];
    int32_t blockType[kSlotCount];
    int32_t compStart[kSlotCount + 1];
    int32_t compNodes[kSlotCount];
    int32_t unitStart[kSlotCount + 1];
    int32_t members[kSlotCount];
    uint32_t token = 0;
    bool built = false;
    // Per port: a stamp marking the entries below as set in this build.
    uint32_t stamp = 0;
    uint32_t portStamp[kPortCount];
    int32_t portStream[kPortCount];
    int32_t portLastUnit[kPortCount];
    uint32_t markStamp[kPortCount];
    int32_t markNode[kPortCount];
    uint32_t extStamp[kPortCount];
    int32_t extMin[kPortCount];
    int32_t extMax[kPortCount];
    // Stream allocation.
    int32_t freeList[kStreamCount];
    int32_t freeCount = 0;
    int32_t releaseHead[kSlotCount + 1];
    int32_t releaseNext[kStreamCount];
    int32_t constStream[8];
    float constValue[8];
    int32_t constCount = 0;
    int32_t externals[kPortCount];
    int64_t events[kPortCount + kSlotCount];

    // ---- The voices' part of the plan ----
    PortStream exits[kPortCount];
    // Per block module: the views and outputs that are a voice's own values, which a
    // voice reads from and writes to streams of its own.
    uint32_t voiceViews[kSlotCount];
    uint32_t voiceOuts[kSlotCount];
};

// Derives the plan from the project's tables (and the voice plan, with voices); false
// when the tables do not fit a plan and the plain frame loop must run.
bool Build(Schedule& s, const Project& p, const VoicePlan* voices) noexcept;

// The steps of the derivation that give values their places once the modules are grouped
// into `units` in running order (schedule_streams.cpp); false where the plan's memory runs
// out. What each module's unconnected direct reads give:
bool PlanCell(Schedule& s, int32_t nodes) noexcept;
// Marks the values read across units and gives each a stream for its lifetime.
bool PlanStreams(Schedule& s, int32_t nodes, int32_t units, const int8_t* exitSpan) noexcept;
// Module `n`, the `j`th of a block unit, with its views, cell and outputs.
void EmitBlockModule(Schedule& s, Unit& unit, int32_t n, int32_t j) noexcept;
// The ops of group unit `u`, frame by frame, with its primes and restores.
bool EmitGroupUnit(Schedule& s, Unit& unit, int32_t u) noexcept;

} // namespace tw
