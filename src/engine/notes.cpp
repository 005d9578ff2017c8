#include "notes.h"

#include "engine/engine.h"

namespace tw {

void RunMidi2CV(Engine&, int32_t) noexcept {}

void RunPolyMidi(Engine&, int32_t) noexcept {}

void ResetNoteTables(Engine&) noexcept {}

void HandleNoteEvent(Engine&, int32_t, int32_t, int32_t) noexcept {}

} // namespace tw
