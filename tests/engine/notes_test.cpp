// Notes into control voltages: which note Midi2CV plays and with what velocity, which
// voice PolyMidi NO COMPILE gives each note, and messages that must change nothing.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tw::test {
namespace {

float PitchOf(int32_t note) {
    return static_cast<float>((note - 69) / 12.0 + 5.0);
}

// A PolyMidi voice: the note it plays with its gate open, or Freed(note) once released
// (the gate closes and the pitch stays); kNone for a closed voice whose pitch is not checked.
constexpr int32_t Freed(int32_t note) {
    return -2 - note;
}

struct Event {
    int32_t status, note, velocity;
};
Event On(int32_t note, int32_t velocity = 100) {
    return {kNoteOn, note, velocity};
}
Event Off(int32_t note, int32_t velocity = 0) {
    return {kNoteOff, note, velocity};
}

struct NoteCase {
    const char* name;
    std::vector<Event> events;
    float gate; // Midi2CV after the events
    int32_t note;
    int32_t velocity;
    std::vector<int32_t> voices; // the first PolyMidi voices; the rest are closed
};

const NoteCase kCases[] = {
    NoteCase("the last pressed note plays", {On(60, 127), On(64, 64)}, 1, 64, 64, {60, 64}),
    NoteCase("a release falls back to the lowest held note, without retrigger or velocity",
             {On(60), On(72), On(64), Off(64)}, 1, 60, 0, {60, 72, Freed(64)}),
    NoteCase("releasing the low note moves to the other held note", {On(64), On(60), Off(60)}, 1,
             64, 0, {64, Freed(60)}),
    NoteCase("the last released note stays current with its gate closed", {On(64), Off(64)}, 0, 64,
             0, {Freed(64)}),
    NoteCase("a released note 0 stays current though another is held", {On(50), On(0), Off(0)}, 0,
             0, 0, {50, Freed(0)}),
    NoteCase("a note-on of velocity 0 releases the note", {On(60), On(64), On(64, 0)}, 1, 60, 0,
             {60, Freed(64)}),
    NoteCase("a stray note-off clears the velocity and moves to the lowest held note",
             {On(72), On(60), Off(40)}, 1, 60, 0, {72, 60}),
    NoteCase("a note pressed twice takes two voices; one release frees the first",
             {On(60), On(60), Off(60)}, 0, 60, 0, {Freed(60), 60}),
    NoteCase("a freed voice is taken first", {On(0), On(60), Off(0), On(67, 90)}, 1, 67, 90,
             {67, 60}),
    NoteCase("a ninth note reaches Midi2CV but no voice",
             {On(50, 1), On(51, 1), On(52, 1), On(53, 1), On(54, 1), On(55, 1), On(56, 1),
              On(57, 1), On(90, 1)},
             1, 90, 1, {50, 51, 52, 53, 54, 55, 56, 57}),
    NoteCase("other channels, other messages and values out of range change nothing",
             {On(60, 90), Event(0x91, 64, 100), Event(0x81, 60, 0), Event(0xB0, 7, 100), On(128),
              On(-1), On(64, 200), On(64, -1), Off(1000), Off(60, -5)},
             1, 60, 90, {60}),
};

TEST(NoteHandling, Midi2CVAndPolyMidiFollowTheNotes) {
    for (const NoteCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        const int32_t mono = rig.Add(kTypeMidi2CV);
        const int32_t poly = rig.Add(kTypePolyMidi);
        for (const Event& e : c.events) {
            HandleNoteEvent(rig.E(), e.status, e.note, e.velocity);
            rig.Step();
        }
        EXPECT_EQ(rig.Out(mono, 0), c.gate);
        EXPECT_EQ(rig.Out(mono, 1), PitchOf(c.note));
        EXPECT_NEAR(rig.Out(mono, 2), c.velocity / 127.0, 1e-5);
        for (int32_t v = 0; v < kVoiceCount; ++v) {
            const int32_t want = v < static_cast<int32_t>(c.voices.size()) ? c.voices[v] : kNone;
            EXPECT_EQ(rig.Out(poly, 2 * v), want >= 0 ? 1.0f : 0.0f) << "voice " << v;
            if (want != kNone) {
                EXPECT_EQ(rig.Out(poly, 2 * v + 1), PitchOf(want >= 0 ? want : -2 - want))
                    << "voice " << v;
            }
        }
    }
}

// A note-on of velocity 0 ends a note as a note-off does: the envelope releases alike.
TEST(NoteHandling, AVelocityZeroNoteOnReleasesSampleForSampleAsANoteOff) {
    std::vector<float> held, released[2];
    for (const int32_t status : {kNoteOff, kNoteOn}) {
        EngineRig rig;
        const int32_t notes = rig.Add(kTypeMidi2CV), envelope = rig.Add(kTypeAdsr);
        ASSERT_TRUE(rig.Wire(notes, 0, envelope, 0) && rig.Wire(rig.Knob(0.5f), 0, envelope, 3));
        rig.NoteOn(60, 90);
        held = rig.Probe(envelope, 0, 4000);
        HandleNoteEvent(rig.E(), status, 60, status == kNoteOff ? 64 : 0);
        released[status == kNoteOn] = rig.Probe(envelope, 0, 4000);
    }
    EXPECT_EQ(released[1], released[0]);
    EXPECT_LT(released[0].back(), 0.5f * held.back());
}

TEST(NoteHandling, TheResetFreesVoicesAndClosesGates) {
    EngineRig rig;
    rig.NoteOn(60);
    ResetEngine(rig.E());
    const int32_t mono = rig.Add(kTypeMidi2CV);
    const int32_t poly = rig.Add(kTypePolyMidi);
    rig.Step();
    EXPECT_EQ(rig.Out(mono, 0), 0.0f);
    EXPECT_EQ(rig.Out(poly, 0), 0.0f);
}

// Notes arrive from the MIDI thread while Midi2CV runs: what it plays is always one
// event's note with that same event's velocity.
TEST(NoteHandling, Midi2CVNeverPairsOneEventsNoteWithAnothersVelocity) {
    EngineRig rig;
    const int32_t mono = rig.Add(kTypeMidi2CV);
    float velocityOf[128] = {};
    for (int32_t note : {40, 100}) {
        rig.NoteOn(note, note == 40 ? 10 : 120);
        velocityOf[note] = (rig.Step(), rig.Out(mono, 2));
    }
    std::atomic<bool> stop{false};
    std::thread keys([&] {
        for (int32_t i = 0; !stop.load(std::memory_order_relaxed); ++i) {
            HandleNoteEvent(rig.E(), kNoteOn, i % 2 ? 40 : 100, i % 2 ? 10 : 120);
        }
    });
    // Runs until the notes have changed under Midi2CV often enough or, on a machine too busy
    // to run both threads at once, for a few seconds.
    int32_t torn = 0, changes = 0, last = 100;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (changes < 50000 && std::chrono::steady_clock::now() < deadline) {
        for (int32_t frame = 0; frame < 1000; ++frame) {
            rig.Step();
            const int32_t note = rig.Out(mono, 1) == PitchOf(40) ? 40 : 100;
            torn += rig.Out(mono, 2) != velocityOf[note];
            changes += note != last;
            last = note;
        }
    }
    stop = true;
    keys.join();
    EXPECT_EQ(torn, 0);
}

} // namespace
} // namespace tw::test
