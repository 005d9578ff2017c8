// Voice allocation, sustain, pitch bend, panic and the MIDI channel, each as a table of
// message sequences and what the voices or the note tables hold after them.
#include "engine/voices.h"
#include "support/engine_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

namespace tw::test {
namespace {

struct Msg {
    int32_t status, data1, data2;
    static Msg On(int32_t n) { return {0x90, n, 100}; }
    static Msg Off(int32_t n) { return {0x80, n, 0}; }
    static Msg Pedal(bool down) { return {0xB0, 64, down ? 127 : 0}; }
};
const auto On = Msg::On;
const auto Off = Msg::Off;
const auto Pedal = Msg::Pedal;

// Midi2CV's pitch straight into the Output: a voice never falls silent by itself, so the
// allocation alone decides which voices sound.
struct KeyboardRig : EngineRig {
    int32_t midi = Add(kTypeMidi2CV);
    int32_t out = Add(kTypeOutput);
    explicit KeyboardRig(int32_t voices) {
        Wire(midi, 1, out, 1);
        P().voiceCount = voices;
        PrepareVoices(E(), voices);
    }
    void Play(const std::vector<Msg>& messages) {
        for (const Msg& m : messages) {
            HandleKeyboardMessage(E(), m.status, m.data1, m.data2);
            Run();
        }
    }
    void Run() { Render(16, 16); }
    // The note of each voice (-1 free), and the notes still held.
    std::vector<int32_t> Notes() const { return {Alloc().note, Alloc().note + P().voiceCount}; }
    std::vector<int32_t> Held() const {
        std::vector<int32_t> held;
        for (int32_t v = 0; v < P().voiceCount; ++v)
            if (Alloc().note[v] >= 0 && Alloc().keyDown[v] != 0) held.push_back(Alloc().note[v]);
        std::sort(held.begin(), held.end());
        return held;
    }
    const VoiceAllocation& Alloc() const { return E().voices->alloc; }
};

TEST(VoiceAllocation, ANoteTakesAFreeVoiceElseTheLongestReleasedElseTheLongestHeld) {
    const std::tuple<const char*, int32_t, std::vector<Msg>, std::vector<int32_t>> cases[] = {
        {"free voices first, lowest first", 3, {On(60), On(62), On(64)}, {60, 62, 64}},
        {"all held: the oldest is stolen", 2, {On(60), On(62), On(64)}, {64, 62}},
        {"a released voice before a held one", 2, {On(60), On(62), Off(62), On(64)}, {60, 64}},
        {"the one released longest ago", 2, {On(60), On(62), Off(62), Off(60), On(64)}, {60, 64}},
        {"a key struck twice takes two voices", 3, {On(60), On(60)}, {60, 60, -1}},
        {"its note-off ends the older one", 3, {On(60), On(60), Off(60), On(70)}, {60, 60, 70}},
        {"a stolen voice plays the new note", 1 + 1, {On(1), On(2), On(3), On(4)}, {3, 4}},
    };
    for (const auto& [what, voices, play, notes] : cases) {
        KeyboardRig rig(voices);
        rig.Play(play);
        EXPECT_EQ(rig.Notes(), notes) << what;
    }
}

TEST(VoiceAllocation, AStolenVoiceRestartsFromSilence) {
    // Midi2CV -> ADSR (attack 0.247 s): a stolen voice's envelope starts again from 0.
    KeyboardRig rig(1 + 1);
    const int32_t adsr = rig.Add(kTypeAdsr);
    rig.Wire(rig.midi, 0, adsr, 0);
    rig.Wire(rig.Knob(0.3f), 0, adsr, 1);
    rig.Play({On(60), On(62)});
    for (int32_t i = 0; i < 200; ++i) rig.Run();
    Engine& first = *rig.E().voices->engines[0];
    ASSERT_GT(first.outputs[PortIndex(adsr, 0)], 0.5f);
    rig.Play({On(64)});
    EXPECT_LT(first.outputs[PortIndex(adsr, 0)], 0.02f);
}

TEST(Sustain, ThePedalHoldsReleasedNotesUntilItComesUp) {
    const std::tuple<const char*, std::vector<Msg>, std::vector<int32_t>> cases[] = {
        {"released under the pedal", {Pedal(true), On(60), Off(60)}, {60}},
        {"pedal up ends it", {Pedal(true), On(60), Off(60), Pedal(false)}, {}},
        {"a key still down stays", {On(60), Pedal(true), On(64), Off(64), Pedal(false)}, {60}},
        {"pressed after the pedal came up", {Pedal(true), Pedal(false), On(60), Off(60)}, {}},
        {"struck again under the pedal", {Pedal(true), On(60), Off(60), On(60)}, {60}},
        {"... and released with the pedal",
         {Pedal(true), On(60), Off(60), On(60), Off(60), Pedal(false)},
         {}},
    };
    for (const auto& [what, play, held] : cases) {
        KeyboardRig rig(4), mono(1);
        rig.Play(play);
        EXPECT_EQ(rig.Held(), held) << what;
        // One voice: the note tables keep the gate open just the same.
        mono.Play(play);
        for (int32_t n : {60, 64}) {
            const bool down = std::find(held.begin(), held.end(), n) != held.end();
            EXPECT_EQ(mono.E().notes.gate[n], down ? 1.0f : 0.0f) << what << " note " << n;
        }
    }
}

TEST(PitchBend, MovesEveryVoicesPitchOverTheProjectsRange) {
    const std::tuple<int32_t, int32_t, float> cases[] = {
        {2, 8192, 0.0f},  {2, 16383, 2.0f * 8191 / 8192},
        {2, 0, -2.0f},    {12, 0, -12.0f},
        {7, 4096, -3.5f}, {0, 0, 0.0f}};
    for (int32_t voices : {1, 3}) {
        for (const auto& [range, value, semitones] : cases) {
            KeyboardRig rig(voices);
            rig.P().bendRange = range;
            rig.Play({{0xE0, value & 127, value >> 7}, On(69)});
            const Engine& e = voices == 1 ? rig.E() : *rig.E().voices->engines[0];
            EXPECT_NEAR(e.outputs[PortIndex(rig.midi, 1)], 5.0f + semitones / 12.0f, 1e-6f)
                << voices << " voices, range " << range << " value " << value;
        }
    }
}

TEST(Panic, AllNotesOffReleasesAndAllSoundOffSilencesAtOnce) {
    const std::tuple<const char*, std::vector<Msg>, int32_t, std::vector<int32_t>> cases[] = {
        {"all notes off releases", {On(60), On(64), {0xB0, 123, 0}}, 2, {}},
        {"... sustained ones too", {Pedal(true), On(60), Off(60), {0xB0, 123, 0}}, 1, {}},
        {"all sound off stops every voice", {On(60), On(64), {0xB0, 120, 0}}, 0, {}},
        {"on another channel nothing", {On(60), {0xB1, 120, 0}}, 1, {60}},
    };
    for (const auto& [what, play, sounding, held] : cases) {
        KeyboardRig rig(4);
        rig.Play(play);
        EXPECT_EQ(SoundingVoices(rig.E()), sounding) << what;
        EXPECT_EQ(rig.Held(), held) << what;
    }
    // All Sound Off also ends the delay's and the envelopes' tails.
    KeyboardRig rig(1);
    rig.E().onceOnly->delay.line[100] = 0.5f;
    rig.E().envelopes.level[7] = 0.5f;
    rig.Play({{0xB0, 120, 0}});
    EXPECT_EQ(rig.E().onceOnly->delay.line[100], 0.0f);
    EXPECT_EQ(rig.E().envelopes.level[7], 0.0f);
}

TEST(MidiChannel, TheProjectHearsItsOwnChannelOrAll) {
    const std::tuple<int32_t, int32_t, bool> cases[] = {
        {1, 0x90, true},  {1, 0x91, false}, {2, 0x91, true},
        {2, 0x90, false}, {16, 0x9F, true}, {kAllChannels, 0x95, true}};
    for (const auto& [channel, status, heard] : cases) {
        KeyboardRig rig(1);
        rig.P().midiChannel = channel;
        rig.Play({{status, 60, 100}});
        EXPECT_EQ(rig.E().notes.gate[60], heard ? 1.0f : 0.0f) << channel << " " << status;
    }
}

} // namespace
} // namespace tw::test
