#include "notes.h"

#include "engine/engine.h"
#include "engine/keyboard.h"

#include <atomic>
#include <cmath>

namespace tw {

namespace {

// 1/127 as the float the velocity scale has always used (127 maps just below 1).
constexpr float kVelocityScale = 0.007874f;

// Publishes a note event's current note and velocity together, after its gate.
void PublishNote(NoteState& s, int32_t note, int32_t velocity) noexcept {
    const uint32_t word = static_cast<uint32_t>(note) | static_cast<uint32_t>(velocity) << 8;
    s.currentNoteAndVelocity.store(word, std::memory_order_release);
}

// A Poly Midi To CV module has a gate and a pitch output for every voice.
static_assert(kVoiceCount == poly_midi::kVoices);

bool IsNoteNumber(int32_t n) noexcept {
    return n >= 0 && n < kNoteCount;
}

} // namespace

void ResetNoteTables(Engine& e) noexcept {
    NoteState& s = e.notes;
    const int32_t fs = static_cast<int32_t>(e.sampleRate);
    for (int32_t n = 0; n < kNoteCount; ++n) {
        s.pitch[n] = static_cast<float>((n - 69) / 12.0 + 5.0);
        const float exponent = static_cast<float>(n) / 12.0f;
        const float frequency =
            static_cast<float>(std::pow(2.0, static_cast<double>(exponent))) * 8.175799f;
        s.frequency[n] = frequency;
        s.frequencyPerSample[n] = frequency / static_cast<float>(fs);
        s.gate[n] = 0.0f;
    }
    s.gateChanges.fetch_add(1, std::memory_order_release);
    // The voice pitches are left alone: a freed voice keeps showing its last pitch.
    for (int32_t v = 0; v < kVoiceCount; ++v) s.voiceNote[v] = kNone;
}

// The note tables' part of a note event, and the event queued for the voices.
static void ApplyNoteEvent(Engine& e, int32_t status, int32_t note, int32_t velocity) noexcept {
    PostKeyboardEvent(e, status == kNoteOn ? kEventNoteOn : kEventNoteOff, note, velocity);
    NoteState& s = e.notes;
    if (status == kNoteOn) {
        for (int32_t v = 0; v < kVoiceCount; ++v) {
            if (s.voiceNote[v] >= 0) continue;
            // Pitch before note number, so that the audio thread never sees a taken voice
            // with the pitch of its previous note.
            s.voicePitch[v] = s.pitch[note].load();
            s.voiceNote[v] = note;
            break;
        }
        s.gate[note] = 1.0f;
        s.gateChanges.fetch_add(1, std::memory_order_release);
        PublishNote(s, note, velocity);
    } else if (status == kNoteOff) {
        for (int32_t v = 0; v < kVoiceCount; ++v) {
            if (s.voiceNote[v] != note) continue;
            s.voiceNote[v] = kNone;
            break;
        }
        s.gate[note] = 0.0f;
        s.gateChanges.fetch_add(1, std::memory_order_release);
        // Low-note priority on release: the lowest key still down becomes current, so a
        // held note keeps its gate and an envelope on it does not retrigger. A released
        // note 0 stays current.
        int32_t current = note;
        if (note != 0) {
            for (int32_t n = 0; n < kNoteCount; ++n) {
                if (s.gate[n] == 1.0f) {
                    current = n;
                    break;
                }
            }
        }
        PublishNote(s, current, 0);
    }
}

void HandleNoteEvent(Engine& e, int32_t status, int32_t note, int32_t velocity) noexcept {
    // A malformed message must never index outside the note tables.
    if (!IsNoteNumber(note) || velocity < 0 || velocity > 127) return;
    if (status != kNoteOn && status != kNoteOff) return;
    // Keyboards and hosts end notes with a note-on of velocity 0 as often as with a note-off.
    if (status == kNoteOn && velocity == 0) status = kNoteOff;
    KeyboardState& k = e.keyboard;
    if (status == kNoteOff && k.sustain != 0) {
        // The pedal holds the note; it ends when the pedal comes up.
        if (e.notes.gate[note] != 0.0f) k.sustained[note] = 1;
        return;
    }
    if (status == kNoteOn && k.sustained[note] != 0) {
        // Striking a held-over key again ends the held-over note first, so that its voice
        // does not hang once the pedal comes up.
        k.sustained[note] = 0;
        ApplyNoteEvent(e, kNoteOff, note, 0);
    }
    ApplyNoteEvent(e, status, note, velocity);
}

void SetSingleNote(Engine& e, int32_t note, int32_t velocity, bool on) noexcept {
    if (!IsNoteNumber(note)) return;
    NoteState& s = e.notes;
    s.gate[note] = on ? 1.0f : 0.0f;
    s.gateChanges.fetch_add(1, std::memory_order_release);
    PublishNote(s, note, on ? velocity & 127 : 0);
}

void RunMidi2CV(Engine& e, int32_t slot) noexcept {
    const NoteState& s = e.notes;
    // Note and velocity come from one event; that event's gate is seen too. The masks keep
    // the note a table index whatever the word holds.
    const uint32_t word = s.currentNoteAndVelocity.load(std::memory_order_acquire);
    const int32_t note = static_cast<int32_t>(word & (kNoteCount - 1));
    float* out = &e.outputs[PortIndex(slot, 0)];
    out[midi2cv::kGate] = s.gate[note];
    // Adding no bend (+0) leaves every pitch exactly as it is.
    out[midi2cv::kPitch] = s.pitch[note] + s.bend;
    out[midi2cv::kVelocity] = static_cast<float>((word >> 8) & 127u) * kVelocityScale;
}

void RunPolyMidi(Engine& e, int32_t slot) noexcept {
    const NoteState& s = e.notes;
    float* out = &e.outputs[PortIndex(slot, 0)];
    for (int32_t v = 0; v < kVoiceCount; ++v) {
        if (s.voiceNote[v] >= 0) {
            out[poly_midi::GateOf(v)] = 1.0f;
            out[poly_midi::PitchOf(v)] = s.voicePitch[v];
        } else {
            // The pitch output keeps the voice's last pitch.
            out[poly_midi::GateOf(v)] = 0.0f;
        }
    }
}

} // namespace tw
