#pragma once

// What makes a design a keyboard instrument besides its notes: the MIDI channel it
// listens to, the sustain pedal (CC 64), pitch bend, All Notes Off (CC 123) and All Sound
// Off (CC 120). In the engine, so that the editor, `play`, offline renders and the plugin
// behave alike.
#include "model/limits.h"
#include "model/relaxed.h"

#include <atomic>
#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kPitchBend = 0xE0;
inline constexpr int32_t kSustainPedal = 64;
inline constexpr int32_t kAllSoundOff = 120;
inline constexpr int32_t kAllNotesOff = 123;

// Note events wait here for the voices, which take them at the start of a block. Several
// threads write (the MIDI thread, the user-interface thread's keyboard), the audio thread
// reads; a full ring drops the event rather than wait.
inline constexpr uint32_t kKeyboardRing = 512;
enum KeyboardEvent : uint32_t {
    kEventNoteOn = 1,
    kEventNoteOff = 2,
    kEventAllNotesOff = 3,
    kEventAllSoundOff = 4,
};

struct KeyboardState {
    // (kind << 16 | note << 8 | velocity), 0 for an empty place.
    std::atomic<uint32_t> ring[kKeyboardRing] = {};
    std::atomic<uint32_t> head{0};
    uint32_t tail = 0; // the audio thread's
    // The pedal is down; notes released meanwhile are marked and end when it comes up.
    Relaxed<int32_t> sustain{0};
    Relaxed<int32_t> sustained[kControllerCount];
    // All Sound Off requests: the audio thread silences when the count moves.
    std::atomic<uint32_t> silenceRequests{0};
    uint32_t silenceSeen = 0;
};

// A MIDI message from any source. Messages on another channel than the project's are
// ignored; notes, pitch bend and the pedal and panic controllers act here. Returns true
// for a Control Change on the project's channel (`data1` the controller, `data2` its
// value), which the caller then hands on to the panel controls bound to controllers.
// Any thread.
bool HandleKeyboardMessage(Engine& e, int32_t status, int32_t data1, int32_t data2) noexcept;

// The same for a message whose channel does not matter (an offline render's events): `kind`
// is the status without its channel.
bool HandleChannelMessage(Engine& e, int32_t kind, int32_t data1, int32_t data2) noexcept;

// The pedal: down holds released notes, up ends the notes it held (any thread).
void SetSustain(Engine& e, bool down) noexcept;
// All Notes Off: every held and sustained note is released.
void ReleaseAllNotes(Engine& e) noexcept;
// All Sound Off: every note released and, at the next block, every voice stopped, every
// envelope idle and the delay and reverb tails cleared.
void SilenceAll(Engine& e) noexcept;
// Pitch bend from its 14-bit value (8192 is the middle), over the project's range.
void SetPitchBend(Engine& e, int32_t value) noexcept;

// Queues a note event for the voices (any thread).
void PostKeyboardEvent(Engine& e, uint32_t kind, int32_t note, int32_t velocity) noexcept;
// Takes the next queued event, false when none (audio thread).
bool TakeKeyboardEvent(Engine& e, uint32_t& kind, int32_t& note, int32_t& velocity) noexcept;
// What the audio thread does at the start of a block for All Sound Off requests that
// arrived: true when one did (and the shared state was silenced).
bool TakeSilenceRequest(Engine& e) noexcept;

void ResetKeyboard(Engine& e) noexcept;

} // namespace tw
