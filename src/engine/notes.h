#pragma once

#include "model/limits.h"
#include "model/relaxed.h"

#include <atomic>
#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kNoteCount = 128;
inline constexpr int32_t kVoiceCount = 8;
inline constexpr int32_t kNoteOn = 0x90;
inline constexpr int32_t kNoteOff = 0x80;

// Note tables and voices. HandleNoteEvent writes them from the MIDI thread or the
// user-interface thread while the audio thread reads them, so every word is a relaxed
// atomic; the pitch and frequency tables are rebuilt by the reset while audio may run.
struct NoteState {
    Relaxed<float> pitch[kNoteCount];     // volts: (n - 69) / 12 + 5
    Relaxed<float> frequency[kNoteCount]; // hertz at the reset's sample rate
    Relaxed<float> frequencyPerSample[kNoteCount];
    Relaxed<float> gate[kNoteCount];         // 1 while held
    Relaxed<int32_t> voiceNote[kVoiceCount]; // -1 when free
    Relaxed<float> voicePitch[kVoiceCount];  // kept when the voice is freed
    // The note Midi2CV plays (bits 0..7) and the last note event's velocity (bits 8..15,
    // 0 after a note-off) in one word, so that Midi2CV never plays one event's note with
    // another's velocity. Written after the event's gate (release), read before it
    // (acquire).
    std::atomic<uint32_t> currentNoteAndVelocity{0};
    // Counts the writes of gates. A writer adds one after its gate (release), so a reader
    // that finds the count where it last scanned (acquire) knows every gate is as it was.
    std::atomic<uint32_t> gateChanges{0};
    // Pitch bend in volts, added to Midi2CV's pitch (0 without bend).
    Relaxed<float> bend{0.0f};
};

void ResetNoteTables(Engine& e) noexcept;
// A note: status 0x90 note-on, 0x80 note-off (the channel already judged). While the
// sustain pedal is down a note-off only marks the note as held over. The event is queued
// for the voices too. Callable from any thread while the audio thread runs. Other
// statuses, and a note or velocity outside 0..127, are ignored.
void HandleNoteEvent(Engine& e, int32_t status, int32_t note, int32_t velocity) noexcept;
// A voice's note tables hold one note: `note` pressed (with `velocity`) or released, as
// HandleNoteEvent leaves them for that note alone. Audio thread, on a voice engine.
void SetSingleNote(Engine& e, int32_t note, int32_t velocity, bool on) noexcept;

} // namespace tw
