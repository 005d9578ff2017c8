#pragma once

#include <cstdint>
#include <span>

namespace tw {

struct Engine;

// A message applied just before frame `frame` of an offline render, on whatever channel the
// design listens to: a note, pitch bend (0xE0, the value's low and high 7 bits in `note` and
// `velocity`), or a Control Change (the pedal, panic, and the panel control bound to it).
struct NoteEvent {
    uint32_t frame = 0;
    int32_t status = 0x90; // 0x90 note-on, 0x80 note-off, 0xB0 Control Change, 0xE0 bend
    int32_t note = 0;      // the controller of a Control Change
    int32_t velocity = 0;  // its value
};

// Runs the engine offline for `frames` device frames (through the engine's bridge when it
// carries the sound to another rate; events are at device frames) in blocks of at most `block`
// frames, writing the left and right channels into caller-owned arrays of `frames` values. Events
// (in any order; ties keep their order) go through HandleChannelMessage, and a Control Change
// also through Project::ApplyControlChange, at their frame boundary; a block is split there,
// which cannot change the samples because the engine computes frame by frame. The caller resets
// the engine first if it wants a fresh start. The design's voices are made first.
void RenderOffline(Engine& engine, std::span<const NoteEvent> events, uint32_t frames,
                   uint32_t block, float* left, float* right);

} // namespace tw
