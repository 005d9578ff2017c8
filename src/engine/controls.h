#pragma once

// MIDI Control Changes for the panel controls bound to them. In the program the project's
// patch values belong to the user-interface thread, so the MIDI thread posts what arrives
// and the user-interface thread applies it on its next tick; the sound follows at once,
// because the MIDI thread also sets the bound Parameter's value, the one word the engine
// reads. The offline renderer and the plugin apply a Control Change directly
// (Project::ApplyControlChange), on the thread that runs the engine.
#include "model/limits.h"
#include "model/relaxed.h"

#include <atomic>
#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kControlChange = 0xB0; // the kind, whatever the channel

struct ControlChangeInbox {
    // Per controller: 0 while nothing waits, else the newest value + 1. The MIDI thread
    // stores; the user-interface thread takes the word and leaves 0.
    std::atomic<int32_t> pending[kControllerCount] = {};
    // 1 while a control waits for the next controller to arrive.
    std::atomic<int32_t> learning{0};
    // The first controller that arrived while learning, or -1.
    std::atomic<int32_t> learned{kNone};
    // The Parameter slot that waits. The user-interface thread's alone.
    int32_t learnSlot = kNone;
    // Per controller, the bound control as the MIDI thread needs it to move the sound:
    // (steps << 11) | (slot + 1) in one word, so that slot and steps always belong
    // together; 0 for none. Published by the user-interface thread on every tick.
    Relaxed<int32_t> sound[kControllerCount];
};

// A MIDI message of the program's input: on the project's channel, notes, pitch bend, the
// pedal and panic act in the engine (HandleKeyboardMessage) and Control Changes also go to
// PostControlChange; anything else is ignored. Any thread.
void HandleMidiMessage(Engine& e, int32_t status, int32_t data1, int32_t data2) noexcept;

// Leaves controller `cc` at `value` for the user-interface thread and sets the value of
// the control it was bound to at the last tick; values outside 0..127 are ignored.
// Lock-free, for the MIDI thread.
void PostControlChange(Engine& e, int32_t cc, int32_t value) noexcept;

// The next controller that arrives is bound to Parameter `slot` (user-interface thread).
void StartMidiLearn(Engine& e, int32_t slot) noexcept;
// The Parameter waiting for its controller, or -1.
int32_t MidiLearnSlot(const Engine& e) noexcept;
// Stops waiting: no controller is bound (user-interface thread).
void CancelMidiLearn(Engine& e) noexcept;

// Applies what the MIDI thread posted since the last call: a pending learn binds first,
// then each controller's newest value moves its control in the current patch; then the
// bindings are published for the MIDI thread. True when a binding or a control changed
// (the panel wants a repaint). User-interface thread.
bool TakeControlChanges(Engine& e) noexcept;

// The engine reset's part: what was posted, learnt or published belongs to the project the
// reset replaces.
void ResetControlChanges(Engine& e) noexcept;

} // namespace tw
