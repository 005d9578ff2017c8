#include "engine/controls.h"

#include "engine/engine.h"

namespace tw {

namespace {

bool IsDataByte(int32_t v) noexcept {
    return v >= 0 && v <= 127;
}

constexpr int32_t kSlotBits = 11; // slot + 1 is at most 1024
constexpr int32_t kLargestSoundSteps = (1 << (31 - kSlotBits)) - 1;

// Tells the MIDI thread which control each controller moves, as the project is now.
void PublishBindings(Engine& e) noexcept {
    int32_t sound[kControllerCount] = {};
    const Project& p = e.project;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const int32_t cc = p.slots[slot].midiCc;
        if (p.slots[slot].type != kTypeParameter || cc < 0 || cc >= kControllerCount) continue;
        // A control with more steps than the word holds follows at the tick only.
        const int32_t steps = p.KnobSteps(slot);
        sound[cc] = steps <= kLargestSoundSteps ? (steps << kSlotBits) | (slot + 1) : 0;
    }
    for (int32_t cc = 0; cc < kControllerCount; ++cc) {
        if (e.controls.sound[cc] != sound[cc]) e.controls.sound[cc] = sound[cc];
    }
}

} // namespace

void HandleMidiMessage(Engine& e, int32_t status, int32_t data1, int32_t data2) noexcept {
    // Notes, bend and the pedal and panic controllers act in the engine; a Control Change
    // on the project's channel also moves the control bound to it.
    if (HandleKeyboardMessage(e, status, data1, data2)) PostControlChange(e, data1, data2);
}

void PostControlChange(Engine& e, int32_t cc, int32_t value) noexcept {
    if (!IsDataByte(cc) || !IsDataByte(value)) return;
    ControlChangeInbox& in = e.controls;
    if (in.learning.load(std::memory_order_relaxed) != 0) {
        // Only the first controller after the start of learning counts.
        int32_t none = kNone;
        in.learned.compare_exchange_strong(none, cc, std::memory_order_relaxed);
    }
    in.pending[cc].store(value + 1, std::memory_order_relaxed);
    const int32_t sound = in.sound[cc];
    const int32_t slot = (sound & ((1 << kSlotBits) - 1)) - 1;
    if (IsSlot(slot)) {
        const int32_t steps = sound >> kSlotBits;
        e.project.slots[slot].value = StepValue(ControllerStep(value, steps), steps);
    }
}

void StartMidiLearn(Engine& e, int32_t slot) noexcept {
    ControlChangeInbox& in = e.controls;
    in.learnSlot = slot;
    in.learned.store(kNone, std::memory_order_relaxed);
    in.learning.store(1, std::memory_order_relaxed);
}

void CancelMidiLearn(Engine& e) noexcept {
    ControlChangeInbox& in = e.controls;
    in.learning.store(0, std::memory_order_relaxed);
    in.learned.store(kNone, std::memory_order_relaxed);
    in.learnSlot = kNone;
}

int32_t MidiLearnSlot(const Engine& e) noexcept {
    return e.controls.learnSlot;
}

bool TakeControlChanges(Engine& e) noexcept {
    ControlChangeInbox& in = e.controls;
    bool changed = false;
    if (in.learnSlot != kNone) {
        const int32_t cc = in.learned.load(std::memory_order_relaxed);
        if (cc != kNone) {
            changed = e.project.BindMidiCc(in.learnSlot, cc);
            CancelMidiLearn(e);
        }
    }
    for (int32_t cc = 0; cc < kControllerCount; ++cc) {
        // The pending word is read before it is taken so that an idle controller costs no
        // write.
        if (in.pending[cc].load(std::memory_order_relaxed) == 0) continue;
        const int32_t posted = in.pending[cc].exchange(0, std::memory_order_relaxed);
        if (posted != 0 && e.project.ApplyControlChange(cc, posted - 1)) changed = true;
    }
    PublishBindings(e);
    return changed;
}

void ResetControlChanges(Engine& e) noexcept {
    CancelMidiLearn(e);
    for (int32_t cc = 0; cc < kControllerCount; ++cc) {
        e.controls.sound[cc] = 0;
        e.controls.pending[cc].store(0, std::memory_order_relaxed);
    }
}

} // namespace tw
