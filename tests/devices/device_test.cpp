// The audio output and the MIDI input: without a sound system, and against a real JACK
// server with devices of the test's own: listed, chosen and switched; a note from JACK MIDI
// that comes out of the device exactly as the engine renders it offline; what the MIDI
// callback keeps and plays; and the server dying, freezing and coming back under a
// running program, which must go on: closing works, nothing hangs, and it plays again.
#include "devices/audio_device.h"
#include "devices/jack_fixture.h"
#include "devices/midi_device.h"
#include "engine/engine.h"
#include "engine/render.h"
#include "model/relaxed.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tw {
namespace {

using namespace test;
using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;
constexpr const char* kInputPort = "RtMidi Input Client:RtMidi Input";

// The MIDI layer's note handler wired to the engine, as the program wires it.
void PlayNote(void* engine, int32_t status, int32_t note, int32_t velocity) {
    HandleNoteEvent(*static_cast<Engine*>(engine), status, note, velocity);
}

// An engine reset at the server's rate. Without notes it plays "A440Hz" into the left
// output, a steady sine; with notes, "Midi2CV" pitch drives a saw whose volume is the
// note's velocity: exactly 0 until a note arrives, then every sample depends on the note,
// its velocity and its frame.
struct Synth {
    std::unique_ptr<Project> project = MakeProject();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    explicit Synth(bool notes = false) {
        engine->sampleRate = kJackRate;
        ResetEngine(*engine);
        Project& p = *project;
        const int32_t source = AddModule(p, notes ? kTypeMidi2CV : kTypeA440, 100, 60);
        const int32_t osc = notes ? AddModule(p, kTypeOscillator, 100, 200) : source;
        const int32_t out = AddModule(p, kTypeOutput, 100, 400);
        EXPECT_TRUE(Wire(p, osc, 0, out, 1));
        EXPECT_TRUE(!notes || (Wire(p, source, 1, osc, 1) && Wire(p, source, 2, out, 0)));
    }
};

std::unique_ptr<RtMidiOut> MakeSource(const std::string& client) {
    auto out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, client);
    out->openVirtualPort("out");
    return out;
}

void Send(RtMidiOut& out, std::vector<unsigned char> bytes) {
    out.sendMessage(&bytes);
}

// Sends a note until the input has it: whether messages arrive is in question, not whether
// the first one through a fresh connection does.
bool Hears(const MidiInput& midi, RtMidiOut& source, unsigned char note) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        Send(source, {0x90, note, 1});
        if (WaitFor([&] { return midi.LastMessage(1) == note; }, std::chrono::seconds(1)))
            return true;
    }
    return false;
}

uint32_t IndexOf(const AudioOutput& audio, const std::string& name) {
    for (uint32_t i = 0; i < audio.DeviceCount(); ++i)
        if (name == audio.DeviceName(i)) return i;
    return kMaxAudioDevices;
}

// Fails the whole run, loudly, when a step that must return does not: a hung call cannot
// be reported any other way.
struct Deadline {
    Deadline(const char* what, std::chrono::seconds limit)
        : watcher([this, what, limit] {
              std::unique_lock lock(mutex);
              if (!done.wait_for(lock, limit, [this] { return met; })) {
                  std::fprintf(stderr, "HUNG: %s did not return in time\n", what);
                  std::_Exit(3);
              }
          }) {}
    ~Deadline() {
        {
            std::lock_guard lock(mutex);
            met = true;
        }
        done.notify_all();
        watcher.join();
    }
    std::mutex mutex;
    std::condition_variable done;
    bool met = false;
    std::thread watcher;
};

TEST(DevicesWithoutSoundSystem, EachLayerSaysSoOnceAndNothingBreaks) {
    JackTurn turn;
    UseJackServer("tw_absent_" + std::to_string(getpid()));
    HeadlessPlatform platform;
    Synth synth;
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("");
    audio.InitAudioDevices("");
    EXPECT_EQ(platform.MessageTexts(),
              (Lines{"No hardware Midi device available. Check device is connected, turned on "
                     "and not in use by another program. Then restart Tonewright",
                     "No audio devices available"}));
    for (const RecordedMessage& m : platform.messages) {
        EXPECT_EQ(m.caption, "Tonewright");
        EXPECT_EQ(m.icon, MessageIcon::Information);
    }
    // "Start Audio" with no device does nothing and says nothing; so do the rest.
    audio.StopAudio();
    audio.StartAudio(0);
    EXPECT_FALSE(audio.IsRunning());
    midi.SwitchMidiPort(0);
    midi.CloseMidi();
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_EQ(platform.messages.size(), 2u);

    // The program's own choice of interfaces, with nothing to find on this machine.
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
    EXPECT_TRUE(platform.messages[0].text.starts_with("No ")) << platform.messages[0].text;
}

// A note over JACK MIDI comes out of the chosen device exactly as the engine renders it
// offline. Starting before the list, outside it, at a rate the server does not run, or
// while running changes nothing and says nothing.
TEST(AudioOnJack, PlaysANoteFromJackMidiExactlyAsTheOfflineRender) {
    constexpr uint32_t kCompared = kJackRate / 5;
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    JackRecorder recorder("twrec");
    ASSERT_TRUE(recorder.Ok());
    auto keys = MakeSource("twkeys");
    HeadlessPlatform platform;
    Synth synth(true);
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("twkeys:out");
    ASSERT_TRUE(WaitForConnections(recorder.Client(), kInputPort, {"twkeys:out"}));
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.StartAudio(0);
    audio.InitAudioDevices("no such device");
    EXPECT_EQ(audio.SelectedDevice(), 0u);
    audio.InitAudioDevices("twrec");
    ASSERT_EQ(audio.DeviceCount(), 2u); // and "system"
    const uint32_t rec = audio.SelectedDevice();
    ASSERT_STREQ(audio.DeviceName(rec), "twrec");
    audio.StartAudio(7);
    audio.StartAudio(rec); // at 44100 Hz
    EXPECT_FALSE(audio.IsRunning());
    audio.SetSampleRate(kJackRate);
    recorder.Start();
    audio.StartAudio(rec);
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_EQ(audio.BufferFrames(), kJackPeriod);
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= 8 * kJackPeriod; }));

    Send(*keys, {0x90, 81, 100});
    ASSERT_TRUE(WaitFor([&] { return midi.Log().Written() == 1; }));
    const uint32_t onSeen = recorder.Frames();
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= onSeen + kCompared + 4 * kJackPeriod; }));
    Send(*keys, {0x80, 81, 0});
    ASSERT_TRUE(WaitFor([&] { return midi.Log().Written() == 2; }));
    const uint32_t offSeen = recorder.Frames();
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= offSeen + 8 * kJackPeriod; }));
    audio.StopAudio();
    EXPECT_EQ(audio.BufferFrames(), 0u);
    recorder.Stop();

    const uint32_t recorded = recorder.Frames();
    const std::vector<float>& left = recorder.Left();
    const auto first =
        std::find_if(left.begin(), left.begin() + recorded, [](float s) { return s != 0.0f; });
    const auto onset = static_cast<uint32_t>(first - left.begin());
    ASSERT_TRUE(onset > 0 && onset + kCompared <= offSeen) << "the note was heard at " << onset;
    // The note-off silences the patch again (its velocity becomes the volume 0).
    EXPECT_TRUE(std::all_of(left.begin() + recorded - 4 * kJackPeriod, left.begin() + recorded,
                            [](float s) { return s == 0.0f; }));
    // The recording starts on a cycle boundary before the stream's first cycle, so the
    // engine had run a whole number of cycles fewer than the recording when the note
    // arrived; which number JACK's start-up took is not knowable, so every one is tried.
    // The note may also have landed a frame or two before the first sample that shows it.
    bool matched = false;
    for (uint32_t back = 0; back < 3 && back <= onset && !matched; ++back) {
        const uint32_t noteFrame = onset - back;
        for (uint32_t history = noteFrame % kJackPeriod; history <= noteFrame && !matched;
             history += kJackPeriod) {
            Synth offline(true);
            const NoteEvent on{history, kNoteOn, 81, 100};
            std::vector<float> l(history + kCompared), r(history + kCompared);
            RenderOffline(*offline.engine, std::span(&on, 1), history + kCompared, kJackPeriod,
                          l.data(), r.data());
            matched =
                std::equal(l.begin() + history, l.end(), left.begin() + noteFrame) &&
                std::equal(r.begin() + history, r.end(), recorder.Right().begin() + noteFrame);
        }
    }
    EXPECT_TRUE(matched) << "the device's samples differ from the engine's offline render";
    EXPECT_TRUE(platform.messages.empty());
}

// Switching devices, as the Preferences dialog does: the audio output moves to the chosen
// device, and the MIDI input to the port a listed name stands for, whatever sources have
// come and gone since the list was taken.
TEST(DeviceSwitching, MovesTheStreamAndFindsMidiPortsByName) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    JackRecorder recorder("twrec");
    ASSERT_TRUE(recorder.Ok());
    recorder.Start(); // an inactive client's ports cannot be connected
    jack_client_t* graph = recorder.Client();
    HeadlessPlatform platform;
    Synth synth;
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.SetSampleRate(kJackRate);
    audio.InitAudioDevices("twrec");
    audio.StartAudio(IndexOf(audio, "system"));
    EXPECT_TRUE(WaitForConnections(graph, "system:playback_1", {"RtApiJack:outport 0"}));
    EXPECT_TRUE(WaitForConnections(graph, "system:playback_2", {"RtApiJack:outport 1"}));
    audio.StartAudio(IndexOf(audio, "twrec")); // while running: changes nothing
    EXPECT_TRUE(PortConnections(graph, "twrec:in_1").empty());
    audio.StopAudio();
    audio.StartAudio(IndexOf(audio, "twrec"));
    EXPECT_TRUE(WaitForConnections(graph, "twrec:in_1", {"RtApiJack:outport 0"}));
    EXPECT_TRUE(WaitForConnections(graph, "twrec:in_2", {"RtApiJack:outport 1"}));
    EXPECT_TRUE(WaitForConnections(graph, "system:playback_1", {}));
    EXPECT_EQ(ToneProblem(recorder, 8 * kJackPeriod, 440), "");
    audio.StopAudio();

    // Registered in this order, the ports are listed in this order.
    auto a = MakeSource("twa"), b = MakeSource("twb"), c = MakeSource("twc");
    MidiInput midi(platform, nullptr, nullptr, MidiApi::Jack);
    midi.InitMidiDevices("twb:out");
    ASSERT_EQ(midi.DeviceCount(), 3u);
    ASSERT_STREQ(midi.DeviceName(2), "twc:out");
    EXPECT_STREQ(midi.DeviceName(7), "");
    EXPECT_EQ(midi.SelectedPort(), 1u);
    const auto sources = [&](Lines expected) {
        return WaitForConnections(graph, kInputPort, std::move(expected));
    };
    EXPECT_TRUE(sources({"twb:out"}));
    EXPECT_TRUE(Hears(midi, *b, 1));
    midi.SwitchMidiPort(0);
    EXPECT_TRUE(sources({"twa:out"}));
    EXPECT_TRUE(Hears(midi, *a, 2));
    // Out-of-range and same-port requests change nothing.
    midi.SwitchMidiPort(5);
    midi.SwitchMidiPort(0);
    EXPECT_EQ(midi.SelectedPort(), 0u);
    EXPECT_TRUE(sources({"twa:out"}));

    // The connected source's client goes away; the input's own port stays. The library now
    // numbers twb 0 and twc 1; the list still says 1 and 2.
    a.reset();
    EXPECT_TRUE(sources({}));
    EXPECT_TRUE(midi.IsPortOpen());
    midi.SwitchMidiPort(2);
    EXPECT_TRUE(sources({"twc:out"}));
    EXPECT_TRUE(Hears(midi, *c, 3));
    // Only a port goes, its client stays: it does not open, and is tried again when chosen
    // again; once it is back, choosing it finds it.
    b->closePort();
    midi.SwitchMidiPort(1);
    EXPECT_FALSE(midi.IsPortOpen());
    midi.SwitchMidiPort(1);
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_TRUE(sources({}));
    b->openVirtualPort("out");
    midi.SwitchMidiPort(1);
    EXPECT_TRUE(sources({"twb:out"}));
    EXPECT_TRUE(Hears(midi, *b, 4));
    // A preferred name that matches nothing opens port 0.
    midi.InitMidiDevices("gone:away");
    EXPECT_EQ(midi.SelectedPort(), 0u);
    EXPECT_TRUE(sources({midi.DeviceName(0)}));
    midi.CloseMidi();
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_TRUE(sources({}));
    EXPECT_TRUE(platform.messages.empty());
}

// Every message reaches the monitor, its first four bytes kept (shorter ones leave the
// later words as they were); only complete channel-1 notes with data bytes within 0..127
// reach the engine.
TEST(MidiMessages, ReachTheMonitorAndOnlyChannelOneNotesPlay) {
    JackTurn turn;
    UseJackServer("tw_no_server_here");
    HeadlessPlatform platform;
    struct Sink {
        Relaxed<int32_t> calls, status, note, velocity;
    } sink;
    MidiInput midi(
        platform,
        [](void* s, int32_t st, int32_t n, int32_t v) {
            auto* k = static_cast<Sink*>(s);
            k->status = st, k->note = n, k->velocity = v, k->calls = k->calls + 1;
        },
        &sink, MidiApi::Jack);
    const struct {
        std::vector<unsigned char> bytes;
        std::vector<int32_t> words; // all four, afterwards
        const char* line;           // the monitor's, afterwards
        bool plays;
        bool logged = true;
    } cases[] = {
        {{0xB0, 7, 100}, {0xB0, 7, 100, 0}, "0xb0 (176 7 100)", false},
        {{0xC0, 5}, {0xC0, 5, 100, 0}, "0xc0 (192 5 100)", false},
        {{0xF8}, {0xF8, 5, 100, 0}, "0xf8 (248 5 100)", false},
        {{0xF0, 0x7D, 1, 2, 3, 4, 5, 0xF7}, {0xF0, 0x7D, 1, 2}, "0xf0 (240 125 1)", false},
        {{0x91, 60, 100}, {0x91, 60, 100, 2}, "0x91 (145 60 100)", false},
        {{0x90, 64, 90}, {0x90, 64, 90, 2}, "Note On  0x90 (144 64 90)", true},
        {{0x90, 62}, {0x90, 62, 90, 2}, "Note On  0x90 (144 62 90)", false},
        {{0x80, 200, 0}, {0x80, 200, 0, 2}, "Note Off 0x80 (128 200 0)", false},
        {{0x90, 60, 255}, {0x90, 60, 255, 2}, "Note On  0x90 (144 60 255)", false},
        {{0x80, 64, 40}, {0x80, 64, 40, 2}, "Note Off 0x80 (128 64 0)", true},
        {{}, {0x80, 64, 40, 2}, "Note Off 0x80 (128 64 0)", false, false}, // changes nothing
    };
    uint32_t cursor = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const int32_t calls = sink.calls;
        std::vector<unsigned char> bytes = c.bytes;
        MidiInput::OnMidiMessage(0.0, &bytes, &midi);
        EXPECT_EQ(MidiMonitorLine(midi.MonitorWords()), c.line);
        EXPECT_EQ((std::vector<int32_t>{midi.LastMessage(0), midi.LastMessage(1),
                                        midi.LastMessage(2), midi.LastMessage(3)}),
                  c.words);
        EXPECT_EQ(sink.calls - calls, c.plays ? 1 : 0);
        MidiMonitorWords seen;
        uint32_t lost = 0;
        EXPECT_EQ(midi.Log().Read(cursor, &seen, 1, lost), c.logged ? 1u : 0u);
        EXPECT_EQ(c.logged ? MidiMonitorLine(seen) : c.line, c.line); // the log has it too
    }
    midi.HandleMessage(nullptr, 3);
    EXPECT_EQ(midi.Log().Written(), 10u);
    // Without a handler, notes only reach the monitor.
    MidiInput silent(platform, nullptr, nullptr, MidiApi::Jack);
    silent.HandleMessage(cases[5].bytes.data(), 3);
    EXPECT_EQ(silent.LastMessage(1), 64);
    EXPECT_EQ(std::tuple(sink.status.load(), sink.note.load(), sink.velocity.load()),
              std::tuple(0x80, 64, 40));
    EXPECT_EQ(MidiMonitorLine({}), "0x0 (0 0 0)");

    // A reader of the message log that falls behind loses the oldest and sees the rest in
    // order; one that keeps up loses nothing, across the ring's wrap.
    MidiMessageLog log;
    std::vector<MidiMonitorWords> out(MidiMessageLog::kEntries * 2);
    cursor = 0;
    uint32_t lost = 0;
    for (uint32_t i = 0; i < MidiMessageLog::kEntries + 44; ++i)
        log.Append({0xB0, static_cast<int32_t>(i % 128), static_cast<int32_t>(i / 128)});
    ASSERT_EQ(log.Read(cursor, out.data(), static_cast<uint32_t>(out.size()), lost),
              MidiMessageLog::kEntries);
    EXPECT_EQ(lost, 44u);
    for (uint32_t i = 0; i < MidiMessageLog::kEntries; ++i)
        EXPECT_EQ(out[i].data1 + 128 * out[i].data2, static_cast<int32_t>(44 + i));
    for (uint32_t i = 0; i < 300; ++i) {
        log.Append({0x90, static_cast<int32_t>(i % 128), 1});
        if (i % 7 == 6) {
            EXPECT_EQ(log.Read(cursor, out.data(), 16, lost), 7u);
            EXPECT_EQ(lost, 0u);
            EXPECT_EQ(out[6].data1, static_cast<int32_t>(i % 128));
        }
    }

    // Listed port names: the ALSA sequencer's address goes, so that a saved name survives
    // renumbering; JACK names stay whole.
    for (const auto& [name, alsa, listed] :
         {std::tuple{"Midi Through:Port-0 14:0", true, "Midi Through:Port-0"},
          {"Keystation:MIDI 1 24:10", true, "Keystation:MIDI 1"},
          {"Odd name", true, "Odd name"},
          {"Odd name 14:", true, "Odd name 14:"},
          {"a2j:Keystation 20:0", false, "a2j:Keystation 20:0"}})
        EXPECT_EQ(ListedMidiPortName(name, alsa), listed);
}

// JACK cancels the thread that runs a client's shutdown handler when the client is closed,
// and RtAudio closes its client from another thread while its handler still prints. Any
// handler registered in the program therefore runs with cancellation held off.
TEST(JackServerDeath, ShutdownHandlersRunWithCancellationHeldOff) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    jack_client_t* client = jack_client_open("twguard", JackNoStartServer, nullptr);
    ASSERT_NE(client, nullptr);
    static std::atomic<int> calls{0}, cancelState{-1};
    jack_on_shutdown(
        client,
        [](void*) {
            int state = -1;
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
            pthread_setcancelstate(state, nullptr);
            cancelState = state;
            ++calls;
        },
        nullptr);
    ASSERT_EQ(jack_activate(client), 0);
    server.Kill();
    ASSERT_TRUE(WaitFor([&] { return calls.load() > 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(cancelState.load(), PTHREAD_CANCEL_DISABLE);
    jack_client_close(client);
}

TEST(JackServerDeath, BothLayersLetGoClosingWorksAndARestartedServerPlaysAgain) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    auto keys = MakeSource("twkeys");
    HeadlessPlatform platform;
    Synth synth;
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("twkeys:out");
    ASSERT_TRUE(midi.IsPortOpen());
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.SetSampleRate(kJackRate);
    audio.InitAudioDevices("twrec");
    const uint32_t device = audio.SelectedDevice();
    audio.StartAudio(device);
    ASSERT_EQ(ToneProblem(*recorder, 8 * kJackPeriod, 440), "");

    server.Kill();
    // Neither layer goes on claiming a stream or a port on a server that is gone.
    EXPECT_TRUE(WaitFor([&] { return !audio.IsRunning(); }, std::chrono::seconds(3)));
    EXPECT_EQ(audio.BufferFrames(), 0u);
    EXPECT_TRUE(WaitFor([&] { return !midi.IsPortOpen(); }, std::chrono::seconds(3)));
    // The test's own clients of the dead server go too, as the program's have: while any is
    // left, the JACK library stays bound to the dead server.
    recorder.reset();
    keys.reset();
    {
        // The close procedure, twice over, and starts while there is no server: all return
        // at once and quietly.
        Deadline deadline("closing after the server died", std::chrono::seconds(5));
        const auto started = Clock::now();
        midi.CloseMidi();
        audio.StopAudio();
        audio.StopAudio();
        midi.CloseMidi();
        audio.StartAudio(device);
        midi.SwitchMidiPort(0);
        EXPECT_FALSE(audio.IsRunning() || midi.IsPortOpen());
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
    }

    ASSERT_TRUE(server.Restart()) << server.Log();
    recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    keys = MakeSource("twkeys");
    // "Start Audio" on the device list taken at start-up plays on the new server, and
    // choosing the MIDI port again sets the input up on it.
    audio.StartAudio(device);
    EXPECT_EQ(audio.BufferFrames(), kJackPeriod);
    EXPECT_EQ(ToneProblem(*recorder, 16 * kJackPeriod, 440), "");
    midi.SwitchMidiPort(0);
    ASSERT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(Hears(midi, *keys, 61));
    midi.CloseMidi();
    audio.StopAudio();
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_TRUE(platform.messages.empty());
}

// The server stops running cycles and dies while "Stop Audio" is under way: the stream is
// still open when the stop begins, and the library closes it on its own thread meanwhile.
// A stop that waited for the output to drain would wait for ever.
TEST(JackServerDeath, StopAudioWhileTheServerIsDyingNeitherHangsNorTouchesTheDeadStream) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    HeadlessPlatform platform;
    Synth synth;
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.SetSampleRate(kJackRate);
    audio.InitAudioDevices("twrec");
    audio.StartAudio(audio.SelectedDevice());
    ASSERT_TRUE(WaitFor([&] { return recorder->Frames() >= 4 * kJackPeriod; }));
    server.Freeze();
    std::thread killer([&server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        server.Kill();
    });
    {
        Deadline deadline("StopAudio while the server died", std::chrono::seconds(8));
        audio.StopAudio();
    }
    killer.join();
    EXPECT_FALSE(audio.IsRunning());
    audio.StopAudio();
    recorder.reset();

    ASSERT_TRUE(server.Restart()) << server.Log();
    recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    audio.StartAudio(audio.SelectedDevice());
    EXPECT_EQ(ToneProblem(*recorder, 8 * kJackPeriod, 440), "");
    audio.StopAudio();
    EXPECT_TRUE(platform.messages.empty());
}

} // namespace
} // namespace tw
