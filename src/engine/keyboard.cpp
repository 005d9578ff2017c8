#include "engine/keyboard.h"

#include "engine/engine.h"

namespace tw {

namespace {

bool IsDataByte(int32_t v) noexcept {
    return v >= 0 && v < 128;
}

// Whether a channel message's channel (low nibble, 0 = channel 1) is one the project hears.
bool Listens(const Engine& e, int32_t status) noexcept {
    const int32_t channel = e.project.midiChannel;
    return channel == kAllChannels || (status & 0x0F) + 1 == channel;
}

} // namespace

bool HandleKeyboardMessage(Engine& e, int32_t status, int32_t data1, int32_t data2) noexcept {
    if (status < 0x80 || status > 0xEF || !Listens(e, status)) return false;
    return HandleChannelMessage(e, status & 0xF0, data1, data2);
}

bool HandleChannelMessage(Engine& e, int32_t kind, int32_t data1, int32_t data2) noexcept {
    if (!IsDataByte(data1) || !IsDataByte(data2)) return false;
    if (kind == kNoteOn || kind == kNoteOff) {
        HandleNoteEvent(e, kind, data1, data2);
    } else if (kind == kPitchBend) {
        SetPitchBend(e, data1 | data2 << 7);
    } else if (kind == kControlChange) {
        if (data1 == kSustainPedal) SetSustain(e, data2 >= 64);
        if (data1 == kAllNotesOff) ReleaseAllNotes(e);
        if (data1 == kAllSoundOff) SilenceAll(e);
        return true;
    }
    return false;
}

void SetSustain(Engine& e, bool down) noexcept {
    KeyboardState& k = e.keyboard;
    if (down) {
        k.sustain = 1;
        return;
    }
    k.sustain = 0;
    for (int32_t n = 0; n < kNoteCount; ++n) {
        if (k.sustained[n] == 0) continue;
        k.sustained[n] = 0;
        HandleNoteEvent(e, kNoteOff, n, 0);
    }
}

void ReleaseAllNotes(Engine& e) noexcept {
    KeyboardState& k = e.keyboard;
    k.sustain = 0;
    for (int32_t n = 0; n < kNoteCount; ++n) {
        k.sustained[n] = 0;
        if (e.notes.gate[n] != 0.0f) HandleNoteEvent(e, kNoteOff, n, 0);
    }
    // Voices whose note the note tables no longer show (a second voice on one key) end too.
    PostKeyboardEvent(e, kEventAllNotesOff, 0, 0);
}

void SilenceAll(Engine& e) noexcept {
    ReleaseAllNotes(e);
    PostKeyboardEvent(e, kEventAllSoundOff, 0, 0);
    e.keyboard.silenceRequests.fetch_add(1, std::memory_order_release);
}

void SetPitchBend(Engine& e, int32_t value) noexcept {
    if (value < 0 || value > 16383) return;
    // 8192 is no bend; 0 bends the full range down, 16383 just short of it up.
    const float semitones =
        static_cast<float>(value - 8192) / 8192.0f * static_cast<float>(e.project.bendRange);
    e.notes.bend = semitones / 12.0f;
}

void PostKeyboardEvent(Engine& e, uint32_t kind, int32_t note, int32_t velocity) noexcept {
    KeyboardState& k = e.keyboard;
    const uint32_t word =
        kind << 16 | static_cast<uint32_t>(note & 127) << 8 | static_cast<uint32_t>(velocity & 127);
    uint32_t at = k.head.load(std::memory_order_relaxed);
    for (;;) {
        // A place still holding an event not taken means the ring is full.
        if (k.ring[at % kKeyboardRing].load(std::memory_order_acquire) != 0) return;
        if (k.head.compare_exchange_weak(at, at + 1, std::memory_order_acq_rel)) break;
    }
    k.ring[at % kKeyboardRing].store(word, std::memory_order_release);
}

bool TakeKeyboardEvent(Engine& e, uint32_t& kind, int32_t& note, int32_t& velocity) noexcept {
    KeyboardState& k = e.keyboard;
    std::atomic<uint32_t>& place = k.ring[k.tail % kKeyboardRing];
    // A writer that has claimed the place but not yet filled it leaves it for the next block.
    const uint32_t word = place.load(std::memory_order_acquire);
    if (word == 0) return false;
    place.store(0, std::memory_order_release);
    ++k.tail;
    kind = word >> 16;
    note = static_cast<int32_t>(word >> 8 & 127u);
    velocity = static_cast<int32_t>(word & 127u);
    return true;
}

bool TakeSilenceRequest(Engine& e) noexcept {
    KeyboardState& k = e.keyboard;
    const uint32_t requests = k.silenceRequests.load(std::memory_order_acquire);
    if (requests == k.silenceSeen) return false;
    k.silenceSeen = requests;
    SilenceDspTails(e);
    return true;
}

void ResetKeyboard(Engine& e) noexcept {
    KeyboardState& k = e.keyboard;
    k.sustain = 0;
    for (Relaxed<int32_t>& s : k.sustained) s = 0;
    e.notes.bend = 0.0f;
}

} // namespace tw
