#pragma once

#include "model/limits.h"

#include <cstdint>

namespace tw {

struct Engine;

// Note tables and voices, written by HandleNoteEvent from the MIDI or UI thread.
struct NoteState {};

void ResetNoteTables(Engine& e) noexcept;
// A MIDI note message: status 0x90 note-on, 0x80 note-off (channel 1). Callable from any
// thread while the audio thread runs.
void HandleNoteEvent(Engine& e, int32_t status, int32_t note, int32_t velocity) noexcept;
void RunMidi2CV(Engine& e, int32_t slot) noexcept;
void RunPolyMidi(Engine& e, int32_t slot) noexcept;

} // namespace tw
