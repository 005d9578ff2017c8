#pragma once

// The block form of the module rules: one module run over a run of frames at once, its
// inputs and outputs as per-frame value streams. Each family's file holds the block rule
// next to its per-frame rule; both share the same arithmetic, so that a module gives the
// same samples whichever way it runs.
#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// The longest run of frames the block rules handle at once.
inline constexpr uint32_t kRunFrames = 64;
// The most modules of one type a block rule runs side by side, so that their recurrences
// (phases, filter memories) overlap in the processor instead of waiting on each other.
inline constexpr int32_t kBatch = 4;

// One module and its streams for a run of n frames (frame f = 0 .. n-1 of the run).
struct BlockModule {
    int32_t type = 0;
    int32_t slot = 0;
    // Per input position: what a read of that input gives at frame f, as view[k][f], or
    // nullptr when the input has no cable. A direct read at frame f is view[k][f]; a
    // cached read at frame f >= 1 is view[k][f - 1] (at frame 0 it is the input value
    // table entry left by the last run).
    const float* view[kPortsPerSlot] = {};
    // What a direct read of an unconnected input gives at frame f: the shared cell as it
    // stands when the module reads it (after the module's own defaults).
    const float* cell = nullptr;
    // The inputs that hold one value on every frame of every run (a bit per position):
    // unconnected ones whose shared-cell read is a default stored by this module or one
    // before it in the list.
    uint32_t steady = 0;
    // Per output position: out[k][f] receives the value at frame f; out[k][-1] is free
    // for the value before the run.
    float* out[kPortsPerSlot] = {};
};

// Where the Output module's frames go.
struct RunTarget {
    float* block = nullptr;
    uint32_t frames = 0; // the whole block's length: the right channel starts here
    uint32_t begin = 0;  // the run's first frame inside the block
};

// A cached input over a run into `into[0 .. n-1]`: frame 0 from the input value table,
// then the view one frame late, or 0 without a cable; `*unconnectedDefault` on every frame
// instead when the input has no cable and the rule stores that default.
void CachedStream(const Engine& e, const BlockModule& m, int32_t input, uint32_t n, float* into,
                  const float* unconnectedDefault = nullptr) noexcept;

} // namespace tw
