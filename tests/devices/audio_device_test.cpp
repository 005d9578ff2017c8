// The audio output against a real JACK server: the device list, starting, stopping,
// restarting and switching the stream, failures that must stay quiet, and a note played
// over JACK MIDI that must come out of the device exactly as the engine renders it offline.
#include "devices/audio_device.h"
#include "devices/device_rig.h"
#include "devices/jack_fixture.h"
#include "devices/midi_device.h"
#include "engine/engine.h"
#include "engine/render.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tw {
namespace {

using test::JackRecorder;
using test::JackServer;
using test::kJackPeriod;
using test::kJackRate;
using test::WaitFor;
using test::WaitForConnections;

constexpr const char* kNoAudioText = "No audio devices available";
constexpr const char* kNoMidiPortText =
    "No hardware Midi device available. Check device is connected, turned on and not in use by "
    "another program. Then restart Tonewright";

using test::BuildTonePatch;
using test::PlayNote;
using test::Synth;

// "Midi2CV" pitch drives an "Oscillator" (a saw) into the left input of "Output", and the
// note velocity is the output volume: silent, exactly 0, until a note arrives, and then a
// signal whose every sample depends on the note's pitch, velocity and arrival frame.
void BuildNotePatch(Project& p) {
    const int32_t midi = test::AddModule(p, kTypeMidi2CV, 100, 60);
    const int32_t osc = test::AddModule(p, kTypeOscillator, 100, 200);
    const int32_t out = test::AddModule(p, kTypeOutput, 100, 400);
    ASSERT_TRUE(test::Wire(p, midi, 1, osc, 1));
    ASSERT_TRUE(test::Wire(p, osc, 0, out, 1));
    ASSERT_TRUE(test::Wire(p, midi, 2, out, 0));
}

uint32_t IndexOf(const AudioOutput& audio, const std::string& name) {
    for (uint32_t i = 0; i < audio.DeviceCount(); ++i) {
        if (name == audio.DeviceName(i)) return i;
    }
    return kMaxAudioDevices;
}

TEST(AudioWithoutSoundSystem, NoDevicesBothMessagesAndNothingBreaks) {
    test::JackTurn turn;
    test::UseJackServer("tw_absent_" + std::to_string(getpid()));
    HeadlessPlatform platform;
    Synth synth;
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("");
    audio.InitAudioDevices("");

    EXPECT_EQ(midi.DeviceCount(), 0u);
    EXPECT_EQ(audio.DeviceCount(), 0u);
    EXPECT_EQ(platform.MessageTexts(), (std::vector<std::string>{kNoMidiPortText, kNoAudioText}));
    for (const RecordedMessage& m : platform.messages) {
        EXPECT_EQ(m.caption, "Tonewright");
        EXPECT_EQ(m.icon, MessageIcon::Information);
    }

    // "Start Audio" with no device does nothing and says nothing; so do the rest.
    audio.StopAudio();
    audio.StartAudio(0);
    EXPECT_FALSE(audio.IsRunning());
    audio.StopAudio();
    midi.SwitchMidiPort(0);
    midi.CloseMidi();
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_STREQ(audio.DeviceName(0), "");
    EXPECT_EQ(platform.messages.size(), 2u);

    // The program's own choice of interfaces, with nothing to find on this machine: each
    // layer ends up without devices and says so once.
    struct stat info {};
    if (stat("/dev/snd", &info) == 0) GTEST_SKIP() << "this machine has sound hardware";
    platform.ClearRecord();
    MidiInput defaultMidi(platform, &PlayNote, synth.engine.get());
    defaultMidi.InitMidiDevices("");
    AudioOutput defaultAudio(platform, &ProcessAudio, synth.engine.get());
    defaultAudio.InitAudioDevices("");
    defaultAudio.StartAudio(0);
    EXPECT_FALSE(defaultAudio.IsRunning());
    EXPECT_EQ(defaultMidi.DeviceCount(), 0u);
    ASSERT_EQ(platform.messages.size(), defaultAudio.DeviceCount() == 0 ? 2u : 1u);
    EXPECT_EQ(platform.messages[0].text.rfind("No ", 0), 0u) << platform.messages[0].text;
}

TEST(AudioOnJack, StartStopRestartAndSwitchDevices) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    JackRecorder recorder("twrec");
    ASSERT_TRUE(recorder.Ok());
    recorder.Start(); // an inactive client's ports cannot be connected
    HeadlessPlatform platform;
    Synth synth;
    BuildTonePatch(*synth.project);
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.SetSampleRate(kJackRate);

    // "Stop Audio" before any stream, and "Start Audio" before the list, do nothing.
    audio.StopAudio();
    audio.StartAudio(0);
    EXPECT_FALSE(audio.IsRunning());

    audio.InitAudioDevices("twrec");
    ASSERT_EQ(audio.DeviceCount(), 2u);
    const uint32_t system = IndexOf(audio, "system");
    const uint32_t rec = IndexOf(audio, "twrec");
    ASSERT_LT(system, 2u);
    ASSERT_LT(rec, 2u);
    EXPECT_EQ(audio.SelectedDevice(), rec);
    audio.InitAudioDevices("no such device");
    EXPECT_EQ(audio.SelectedDevice(), 0u);
    EXPECT_EQ(audio.DeviceCount(), 2u);

    audio.StartAudio(7); // outside the list
    EXPECT_FALSE(audio.IsRunning());

    audio.StartAudio(system);
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_EQ(audio.BufferFrames(), kJackPeriod);
    jack_client_t* graph = recorder.Client();
    EXPECT_TRUE(WaitForConnections(graph, "system:playback_1", {"RtApiJack:outport 0"}));
    EXPECT_TRUE(WaitForConnections(graph, "system:playback_2", {"RtApiJack:outport 1"}));
    EXPECT_TRUE(recorder.ConnectionsOf("twrec:in_1").empty());
    // A second start while running changes nothing.
    audio.StartAudio(rec);
    EXPECT_TRUE(recorder.ConnectionsOf("twrec:in_1").empty());

    audio.StopAudio();
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_EQ(audio.BufferFrames(), 0u);
    EXPECT_TRUE(WaitForConnections(graph, "system:playback_1", {}));
    audio.StopAudio();

    // A rate the server does not run fails quietly and leaves no stream behind: the next
    // start at the right rate succeeds.
    audio.SetSampleRate(44100);
    audio.StartAudio(system);
    EXPECT_FALSE(audio.IsRunning());
    audio.SetSampleRate(kJackRate);

    // The device switch of the Preferences dialog: stop, then start on the new device.
    audio.StopAudio();
    audio.StartAudio(rec);
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_TRUE(WaitForConnections(graph, "twrec:in_1", {"RtApiJack:outport 0"}));
    EXPECT_TRUE(WaitForConnections(graph, "twrec:in_2", {"RtApiJack:outport 1"}));
    EXPECT_TRUE(recorder.ConnectionsOf("system:playback_1").empty());
    const uint32_t from = recorder.Frames();
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= from + 16 * kJackPeriod; }));
    audio.StopAudio();
    recorder.Stop();
    const std::vector<float>& left = recorder.Left();
    const auto heard = std::count_if(left.begin() + from, left.begin() + recorder.Frames(),
                                     [](float s) { return s != 0.0f; });
    EXPECT_GT(heard, static_cast<long>(8 * kJackPeriod)) << "the tone did not reach the device";
    EXPECT_TRUE(platform.messages.empty());
}

// Renders the note patch offline: `history` frames of silence, then the note-on, then
// `frames` more frames, of which it returns both channels.
void RenderAfterNote(uint32_t history, int32_t note, int32_t velocity, uint32_t frames,
                     std::vector<float>& left, std::vector<float>& right) {
    Synth synth;
    BuildNotePatch(*synth.project);
    const NoteEvent on{history, kNoteOn, note, velocity};
    std::vector<float> l(history + frames), r(history + frames);
    RenderOffline(*synth.engine, std::span(&on, 1), history + frames, kJackPeriod, l.data(),
                  r.data());
    left.assign(l.begin() + history, l.end());
    right.assign(r.begin() + history, r.end());
}

TEST(AudioOnJack, ANoteFromJackMidiSoundsExactlyAsTheOfflineRender) {
    constexpr int32_t kNote = 81; // 880 Hz
    constexpr int32_t kVelocity = 100;
    constexpr uint32_t kCompared = kJackRate / 5;

    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    JackRecorder recorder("twrec");
    ASSERT_TRUE(recorder.Ok());
    RtMidiOut keys(RtMidi::UNIX_JACK, "twkeys");
    keys.openVirtualPort("keys");

    HeadlessPlatform platform;
    Synth synth;
    BuildNotePatch(*synth.project);
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("twkeys:keys");
    ASSERT_TRUE(midi.IsPortOpen());
    // A message sent before the server has put the connection into its graph is lost.
    ASSERT_TRUE(
        WaitForConnections(recorder.Client(), "RtMidi Input Client:RtMidi Input", {"twkeys:keys"}));
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.SetSampleRate(kJackRate);
    audio.InitAudioDevices("twrec");
    ASSERT_STREQ(audio.DeviceName(audio.SelectedDevice()), "twrec");

    recorder.Start();
    audio.StartAudio(audio.SelectedDevice());
    ASSERT_TRUE(audio.IsRunning());
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= 8 * kJackPeriod; }));

    std::vector<unsigned char> on{0x90, kNote, kVelocity};
    keys.sendMessage(&on);
    ASSERT_TRUE(WaitFor([&] { return midi.Log().Written() == 1; }));
    const uint32_t onSeen = recorder.Frames();
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= onSeen + kCompared + 4 * kJackPeriod; }));
    std::vector<unsigned char> off{0x80, kNote, 0};
    keys.sendMessage(&off);
    ASSERT_TRUE(WaitFor([&] { return midi.Log().Written() == 2; }));
    const uint32_t offSeen = recorder.Frames();
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= offSeen + 8 * kJackPeriod; }));
    audio.StopAudio();
    recorder.Stop();

    const uint32_t recorded = recorder.Frames();
    const std::vector<float>& left = recorder.Left();
    const std::vector<float>& right = recorder.Right();
    const auto first =
        std::find_if(left.begin(), left.begin() + recorded, [](float s) { return s != 0.0f; });
    ASSERT_NE(first, left.begin() + recorded) << "the note was never heard";
    const auto onset = static_cast<uint32_t>(first - left.begin());
    ASSERT_GT(onset, 0u);
    ASSERT_LE(onset + kCompared, offSeen);
    // The note-off silences the patch again (its velocity becomes the volume 0).
    EXPECT_TRUE(std::all_of(left.begin() + recorded - 4 * kJackPeriod, left.begin() + recorded,
                            [](float s) { return s == 0.0f; }));

    // The recording starts on a cycle boundary before the stream's first cycle, so the
    // engine had run a whole number of cycles fewer than the recording when the note
    // arrived; which number JACK's start-up took is not knowable, so every one is tried.
    // The note may also have landed a frame or two before the first sample that shows it.
    std::vector<float> wantLeft, wantRight;
    bool matched = false;
    for (uint32_t back = 0; back < 3 && back <= onset && !matched; ++back) {
        const uint32_t noteFrame = onset - back;
        for (uint32_t history = noteFrame % kJackPeriod; history <= noteFrame && !matched;
             history += kJackPeriod) {
            RenderAfterNote(history, kNote, kVelocity, kCompared, wantLeft, wantRight);
            matched = std::equal(wantLeft.begin(), wantLeft.end(), left.begin() + noteFrame) &&
                      std::equal(wantRight.begin(), wantRight.end(), right.begin() + noteFrame);
        }
    }
    EXPECT_TRUE(matched) << "the device's samples differ from the engine's offline render";
    EXPECT_TRUE(platform.messages.empty());
}

} // namespace
} // namespace tw
