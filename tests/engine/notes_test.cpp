// Notes into control voltages: HandleNoteEvent's priorities and voices as Midi2CV and
// PolyMidi NO COMPILE show them.
#include "support/engine_rig.h"

#include <gtest/gtest.h>

namespace tw::test {
namespace {

float PitchOf(int note) {
    return static_cast<float>((note - 69) / 12.0 + 5.0);
}

struct Mono {
    EngineRig rig;
    int32_t m = rig.Add(kTypeMidi2CV);
    float Gate() { return rig.Step(), rig.Out(m, 0); }
    float Pitch() { return rig.Step(), rig.Out(m, 1); }
    float Velo() { return rig.Step(), rig.Out(m, 2); }
};

TEST(NoteTables, PitchIsOneVoltPerOctaveWithA440AtFiveVolts) {
    EngineRig rig;
    const NoteState& n = rig.E().notes;
    EXPECT_EQ(n.pitch[69].load(), 5.0f);
    EXPECT_EQ(n.pitch[81].load(), 6.0f);
    EXPECT_EQ(n.pitch[0].load(), -0.75f);
    EXPECT_NEAR(n.frequency[69].load(), 440.0f, 1e-3f);
    EXPECT_NEAR(n.frequency[57].load(), 220.0f, 1e-3f);
    EXPECT_FLOAT_EQ(n.frequencyPerSample[69].load(), n.frequency[69].load() / 44100.0f);
}

TEST(Midi2CV, PlaysTheLastPressedNote) {
    Mono mono;
    mono.rig.NoteOn(60, 127);
    EXPECT_EQ(mono.Gate(), 1.0f);
    EXPECT_EQ(mono.Pitch(), PitchOf(60));
    EXPECT_FLOAT_EQ(mono.Velo(), 127 * 0.007874f);
    EXPECT_LT(mono.Velo(), 1.0f);
    mono.rig.NoteOn(64, 64);
    EXPECT_EQ(mono.Pitch(), PitchOf(64));
}

TEST(Midi2CV, ReleasingReturnsToTheLowestHeldNoteWithZeroVelocity) {
    Mono mono;
    mono.rig.NoteOn(60);
    mono.rig.NoteOn(64);
    mono.rig.NoteOff(64);
    EXPECT_EQ(mono.Pitch(), PitchOf(60));
    EXPECT_EQ(mono.Gate(), 1.0f); // no retrigger of an envelope on the gate
    EXPECT_EQ(mono.Velo(), 0.0f);
}

TEST(Midi2CV, ReleasingTheLowNoteMovesToTheOtherHeldNote) {
    Mono mono;
    mono.rig.NoteOn(64);
    mono.rig.NoteOn(60);
    mono.rig.NoteOff(60);
    EXPECT_EQ(mono.Pitch(), PitchOf(64));
    mono.rig.NoteOff(64);
    // The last released note stays current, with its gate closed.
    EXPECT_EQ(mono.Pitch(), PitchOf(64));
    EXPECT_EQ(mono.Gate(), 0.0f);
}

TEST(Midi2CV, ReleasingNoteZeroKeepsItCurrent) {
    Mono mono;
    mono.rig.NoteOn(50);
    mono.rig.NoteOn(0);
    mono.rig.NoteOff(0);
    EXPECT_EQ(mono.Pitch(), PitchOf(0));
    EXPECT_EQ(mono.Gate(), 0.0f);
}

TEST(Midi2CV, VelocityZeroNoteOnStillOpensTheGate) {
    Mono mono;
    mono.rig.NoteOn(70, 0);
    EXPECT_EQ(mono.Gate(), 1.0f);
    EXPECT_EQ(mono.Velo(), 0.0f);
}

TEST(Midi2CV, AStrayNoteOffClearsVelocityAndMovesTheCurrentNote) {
    Mono mono;
    mono.rig.NoteOn(60);
    mono.rig.NoteOn(72);
    mono.rig.NoteOff(40); // never pressed
    EXPECT_EQ(mono.Pitch(), PitchOf(60));
    EXPECT_EQ(mono.Velo(), 0.0f);
    for (int v = 2; v < kVoiceCount; ++v) EXPECT_EQ(mono.rig.E().notes.voiceNote[v].load(), -1);
    EXPECT_EQ(mono.rig.E().notes.voiceNote[0].load(), 60);
    EXPECT_EQ(mono.rig.E().notes.voiceNote[1].load(), 72);
}

TEST(HandleNoteEvent, IgnoresOtherChannelsAndMalformedMessages) {
    Mono mono;
    mono.rig.NoteOn(60, 90);
    const float velo = mono.Velo();
    HandleNoteEvent(mono.rig.E(), 0x91, 64, 100); // channel 2
    HandleNoteEvent(mono.rig.E(), 0x81, 60, 0);
    HandleNoteEvent(mono.rig.E(), 0xB0, 7, 100);
    HandleNoteEvent(mono.rig.E(), kNoteOn, 128, 100);
    HandleNoteEvent(mono.rig.E(), kNoteOn, -1, 100);
    HandleNoteEvent(mono.rig.E(), kNoteOn, 64, 200);
    HandleNoteEvent(mono.rig.E(), kNoteOff, 1000, 0);
    HandleNoteEvent(mono.rig.E(), kNoteOff, 60, -5);
    EXPECT_EQ(mono.Pitch(), PitchOf(60));
    EXPECT_EQ(mono.Gate(), 1.0f);
    EXPECT_EQ(mono.Velo(), velo);
    EXPECT_EQ(mono.rig.E().notes.voiceNote[1].load(), -1);
}

struct Poly {
    EngineRig rig;
    int32_t m = rig.Add(kTypePolyMidi);
    float Gate(int v) { return rig.Out(m, 2 * v); }
    float Pitch(int v) { return rig.Out(m, 2 * v + 1); }
};

TEST(PolyMidi, EachNoteTakesTheFirstFreeVoice) {
    Poly poly;
    poly.rig.NoteOn(0);
    poly.rig.NoteOn(60);
    poly.rig.NoteOn(60); // a held note takes a second voice
    poly.rig.Step();
    EXPECT_EQ(poly.Gate(0), 1.0f);
    EXPECT_EQ(poly.Pitch(0), -0.75f);
    EXPECT_EQ(poly.Pitch(1), PitchOf(60));
    EXPECT_EQ(poly.Pitch(2), PitchOf(60));
    EXPECT_EQ(poly.Gate(3), 0.0f);
    poly.rig.NoteOff(0);
    poly.rig.NoteOn(67); // reuses the freed voice 0
    poly.rig.Step();
    EXPECT_EQ(poly.Pitch(0), PitchOf(67));
}

TEST(PolyMidi, AFreedVoiceKeepsItsLastPitch) {
    Poly poly;
    poly.rig.NoteOn(48);
    poly.rig.Step();
    poly.rig.NoteOff(48);
    poly.rig.Step();
    EXPECT_EQ(poly.Gate(0), 0.0f);
    EXPECT_EQ(poly.Pitch(0), PitchOf(48));
}

TEST(PolyMidi, ANinthNoteReachesMidi2CVButNoVoice) {
    Poly poly;
    const int32_t mono = poly.rig.Add(kTypeMidi2CV);
    for (int n = 0; n < 8; ++n) poly.rig.NoteOn(50 + n);
    poly.rig.NoteOn(90);
    poly.rig.Step();
    for (int v = 0; v < 8; ++v) EXPECT_EQ(poly.Pitch(v), PitchOf(50 + v)) << v;
    EXPECT_EQ(poly.rig.Out(mono, 1), PitchOf(90));
    EXPECT_EQ(poly.rig.Out(mono, 0), 1.0f);
}

TEST(NoteTables, ResetFreesVoicesAndClosesGates) {
    Poly poly;
    poly.rig.NoteOn(60);
    ResetEngine(poly.rig.E());
    const int32_t m = poly.rig.Add(kTypePolyMidi);
    poly.rig.Step();
    EXPECT_EQ(poly.rig.Out(m, 0), 0.0f);
    EXPECT_EQ(poly.rig.E().notes.gate[60].load(), 0.0f);
}

} // namespace
} // namespace tw::test
