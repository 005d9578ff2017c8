// The audio output and the MIDI input without a sound server, and against a real one with
// devices of the test's own; and that server dying, freezing and coming back under them.
#include "devices/audio_device.h"
#include "devices/jack_fixture.h"
#include "devices/midi_device.h"
#include "engine/engine.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace tw {
namespace {

using namespace test;
using Lines = std::vector<std::string>;
const std::string kOwnPort = std::string("Tonewright:") + kOwnMidiPortName;

// The MIDI layer's note handler wired to the engine, as the program wires it.
void PlayNote(void* engine, int32_t status, int32_t note, int32_t velocity) {
    HandleNoteEvent(*static_cast<Engine*>(engine), status, note, velocity);
}

void AdoptRate(void* engine, uint32_t rate) {
    AdoptSampleRate(*static_cast<Engine*>(engine), rate);
}

// An engine playing a saw at a note's pitch and velocity, on the left.
struct Synth {
    std::unique_ptr<Project> project = MakeProject();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    explicit Synth(uint32_t rate = kJackRate) {
        engine->sampleRate = static_cast<float>(rate);
        ResetEngine(*engine);
        Project& p = *project;
        const int32_t notes = AddModule(p, kTypeMidi2CV, 100, 60);
        const int32_t osc = AddModule(p, kTypeOscillator, 100, 200);
        const int32_t out = AddModule(p, kTypeOutput, 100, 400);
        EXPECT_TRUE(Wire(p, notes, 1, osc, 1) && Wire(p, osc, 0, out, 1) &&
                    Wire(p, notes, 2, out, 0));
    }
};

std::unique_ptr<RtMidiOut> MakeSource(const std::string& client) {
    auto out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, client);
    out->openVirtualPort("out");
    return out;
}

// Sends a note until the input has it (the first through a fresh connection may be lost).
// The monitor may show the same note from before, so only a message logged since counts.
bool Hears(const MidiInput& midi, RtMidiOut& source, unsigned char note) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        const uint32_t before = midi.Log().Written();
        std::vector<unsigned char> message{0x90, note, 100};
        source.sendMessage(&message);
        if (WaitFor([&] { return midi.Log().Written() != before && midi.LastMessage(1) == note; },
                    std::chrono::seconds(1)))
            return true;
    }
    return false;
}

// Runs `step`; one that hangs past `limit` seconds ends the run, as nothing else reports it.
void Within(int limit, const std::function<void()>& step) {
    auto done = std::async(std::launch::async, step);
    if (done.wait_for(std::chrono::seconds(limit)) == std::future_status::ready) return;
    std::fprintf(stderr, "HUNG: a step did not return within %d s\n", limit);
    std::_Exit(3);
}

// Choosing and switching devices, as the Preferences dialog does: audio starts at the
// server's rate whatever is asked for (the engine's tables follow); the MIDI input finds
// a listed name's port whatever sources have come and gone since the list was taken.
TEST(DeviceSwitching, MovesTheStreamAndFindsMidiPortsByName) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    JackRecorder recorder("twrec");
    recorder.Start(); // an inactive client's ports cannot be connected
    const auto connected = [&](const std::string& port, Lines expected) {
        return WaitForConnections(recorder.client, port, std::move(expected));
    };
    // Registered in this order, the ports are listed in this order.
    auto a = MakeSource("twa"), b = MakeSource("twb"), c = MakeSource("twc");
    HeadlessPlatform platform;
    Synth synth(44100);
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("twb:out");
    ASSERT_EQ(midi.DeviceCount(), 3u);
    EXPECT_EQ(midi.SelectedPort(), 1u);
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.UseOwnClient(&midi);
    audio.SetRateHandler(&AdoptRate);
    audio.InitAudioDevices("twrec");
    const uint32_t rec = audio.SelectedDevice();
    ASSERT_EQ(audio.DeviceCount(), 2u); // and "system"
    ASSERT_STREQ(audio.DeviceName(rec), "twrec");
    audio.StartAudio(7); // outside the list
    EXPECT_FALSE(audio.IsRunning());
    audio.StartAudio(1 - rec); // "system", asked for 44100 Hz
    EXPECT_EQ(audio.BufferFrames(), kJackPeriod);
    EXPECT_EQ(audio.StreamRate(), kJackRate);
    EXPECT_EQ(audio.SampleRate(), 44100u);
    EXPECT_EQ(synth.engine->sampleRate, kJackRate);
    EXPECT_TRUE(connected("system:playback_1", {"Tonewright:Out L"}));
    audio.StartAudio(rec); // while running: changes nothing
    EXPECT_TRUE(connected("twrec:in_1", {}));
    audio.StopAudio();
    EXPECT_EQ(audio.BufferFrames(), 0u);
    audio.StartAudio(rec);
    EXPECT_TRUE(connected("twrec:in_1", {"Tonewright:Out L"}));
    EXPECT_TRUE(connected("twrec:in_2", {"Tonewright:Out R"}));
    EXPECT_TRUE(connected("system:playback_1", {}));
    EXPECT_TRUE(Hears(midi, *b, 81)); // 880 Hz
    EXPECT_EQ(ToneProblem(recorder, 8 * kJackPeriod, 880), "");
    audio.StopAudio();

    midi.SwitchMidiPort(5); // out of range, then the same port again: nothing changes
    midi.SwitchMidiPort(1);
    EXPECT_TRUE(connected(kOwnPort, {"twb:out"}));
    // A source's client goes: the library numbers twb 0 and twc 1, the list still 1 and 2.
    a.reset();
    midi.SwitchMidiPort(2);
    EXPECT_TRUE(Hears(midi, *c, 3));
    EXPECT_TRUE(connected(kOwnPort, {"twc:out"}));
    // Only a port goes, its client stays: it does not open, is tried again when chosen
    // again, and is found once it is back.
    b->closePort();
    midi.SwitchMidiPort(1);
    midi.SwitchMidiPort(1);
    EXPECT_FALSE(midi.IsPortOpen());
    b->openVirtualPort("out");
    midi.SwitchMidiPort(1);
    EXPECT_TRUE(Hears(midi, *b, 4));
    midi.InitMidiDevices("gone:away"); // a preferred name that matches nothing: port 0
    EXPECT_TRUE(connected(kOwnPort, {midi.DeviceName(0)}));
    midi.CloseMidi();
    EXPECT_TRUE(connected(kOwnPort, {}));
    EXPECT_TRUE(platform.messages.empty());
}

// Without a server each layer says so, once. Every MIDI message reaches the monitor and log
// (first four bytes); only whole notes, controllers and bends within 0..127 play. Listed
// names drop the ALSA address (saved names survive renumbering) and keep JACK names whole.
TEST(DevicesWithoutSoundServer, SaySoOnceAndTheMidiCallbackKeepsAndPlaysMessages) {
    UseJackServer("tw_absent_" + std::to_string(getpid()));
    HeadlessPlatform platform;
    static std::vector<int32_t> played;
    const auto play = [](void*, int32_t s, int32_t n, int32_t v) { played = {s, n, v}; };
    MidiInput midi(platform, play, nullptr, MidiApi::Jack);
    AudioOutput audio(platform, &ProcessAudio, nullptr, AudioApi::Jack);
    midi.InitMidiDevices("");
    audio.InitAudioDevices("");
    audio.StopAudio();
    audio.StartAudio(0);
    midi.SwitchMidiPort(0);
    EXPECT_FALSE(audio.IsRunning() || midi.IsPortOpen());
    EXPECT_EQ(platform.MessageTexts(),
              (Lines{"No hardware Midi device available. Check device is connected, turned on "
                     "and not in use by another program. Then restart Tonewright",
                     "No audio devices available"}));
    EXPECT_EQ(platform.messages[1].icon, MessageIcon::Information);

    const struct {
        std::vector<unsigned char> bytes;
        std::vector<int32_t> words; // all four, afterwards
        const char* line;
        bool plays;
    } cases[] = {
        {{0xB0, 7, 100}, {0xB0, 7, 100, 0}, "Control Change 0xb0 (176 7 100) ch 1", true},
        {{0xC0, 5}, {0xC0, 5, 100, 0}, "Program Change 0xc0 (192 5 100) ch 1", false},
        {{0xF0, 0x7D, 1, 2, 3, 4, 5, 0xF7}, {0xF0, 0x7D, 1, 2}, "0xf0 (240 125 1)", false},
        {{0xEF, 0, 64}, {0xEF, 0, 64, 2}, "Pitch Bend 0xef (239 0 64) ch 16", true},
        {{0x91, 60, 100}, {0x91, 60, 100, 2}, "Note On  0x91 (145 60 100) ch 2", true},
        {{0xA0, 60, 100}, {0xA0, 60, 100, 2}, "Key Pressure 0xa0 (160 60 100) ch 1", false},
        {{0x90, 64, 90}, {0x90, 64, 90, 2}, "Note On  0x90 (144 64 90) ch 1", true},
        {{0x90, 62}, {0x90, 62, 90, 2}, "Note On  0x90 (144 62 90) ch 1", false},
        {{0x80, 200, 0}, {0x80, 200, 0, 2}, "Note Off 0x80 (128 200 0) ch 1", false},
        {{0x90, 60, 255}, {0x90, 60, 255, 2}, "Note On  0x90 (144 60 255) ch 1", false},
        {{0x80, 64, 40}, {0x80, 64, 40, 2}, "Note Off 0x80 (128 64 0) ch 1", true},
        {{}, {0x80, 64, 40, 2}, "Note Off 0x80 (128 64 0) ch 1", false}, // changes nothing at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        played.clear();
        std::vector<unsigned char> bytes = c.bytes;
        MidiInput::OnMidiMessage(0.0, &bytes, &midi);
        EXPECT_EQ(MidiMonitorLine(midi.MonitorWords()), c.line);
        for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(midi.LastMessage(i), c.words[i]);
        EXPECT_EQ(played, c.plays ? std::vector<int32_t>(c.words.begin(), c.words.end() - 1)
                                  : std::vector<int32_t>{});
    }
    midi.HandleMessage(nullptr, 3); // nor does a missing one
    EXPECT_EQ(midi.Log().Written(), std::size(cases) - 1);

    MidiMessageLog log;
    for (int32_t i = 0; i < static_cast<int32_t>(MidiMessageLog::kEntries) + 44; ++i)
        log.Append({0xB0, i % 128, i / 128});
    std::vector<MidiMonitorWords> out(MidiMessageLog::kEntries + 1);
    uint32_t cursor = 0, lost = 0;
    ASSERT_EQ(log.Read(cursor, out.data(), MidiMessageLog::kEntries + 1, lost),
              MidiMessageLog::kEntries);
    EXPECT_EQ(lost, 44u);
    for (uint32_t i = 0; i < MidiMessageLog::kEntries; ++i)
        EXPECT_EQ(out[i].data1 + 128 * out[i].data2, static_cast<int32_t>(44 + i));

    EXPECT_EQ(ListedMidiPortName("Keystation:MIDI 1 24:10", true), "Keystation:MIDI 1");
    for (const char* kept : {"Odd name", "Odd name 14:"})
        EXPECT_EQ(ListedMidiPortName(kept, true), kept);
    EXPECT_EQ(ListedMidiPortName("a2j:Keystation 20:0", false), "a2j:Keystation 20:0");
}

// No source at start: the own port is there instead of a complaint and plays what is wired
// to it. The preferred source is opened by name when it shows up, closed when it goes and
// opened again when back; the monitor tells each until the next message.
TEST(MidiSources, TheOwnPortTakesAnySourceAndTheChosenOneIsFollowedByName) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    HeadlessPlatform platform;
    Synth synth;
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("twkeys:out");
    EXPECT_TRUE(!midi.IsPortOpen() && midi.AnyPortOpen());
    EXPECT_EQ(midi.OwnPortInterfaces(), "JACK");
    EXPECT_TRUE(platform.messages.empty());
    JackRecorder patchbay("twpatch");
    auto sequencer = MakeSource("twseq");
    ASSERT_EQ(jack_connect(patchbay.client, "twseq:out", kOwnPort.c_str()), 0);
    EXPECT_TRUE(Hears(midi, *sequencer, 64));
    EXPECT_EQ(synth.engine->notes.gate[64], 1.0f);
    EXPECT_EQ(MidiMonitorLine(midi.MonitorWords()), "Note On  0x90 (144 64 100) ch 1");

    std::unique_ptr<RtMidiOut> keys;
    const struct {
        MidiSourceChange change;
        const char* notice;
    } steps[] = {{MidiSourceChange::Found, "twkeys:out is connected"},
                 {MidiSourceChange::Gone, "twkeys:out is gone"},
                 {MidiSourceChange::Back, "twkeys:out is connected"}};
    unsigned char note = 65;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.notice);
        if (keys)
            keys.reset();
        else
            keys = MakeSource("twkeys");
        EXPECT_TRUE(WaitFor([&] { return midi.FollowSource() == step.change; }));
        EXPECT_EQ(midi.SourceNotice(), step.notice);
        EXPECT_EQ(midi.IsPortOpen(), keys != nullptr);
        EXPECT_TRUE(!keys || Hears(midi, *keys, ++note));
        EXPECT_EQ(midi.SourceNotice(), keys ? "" : step.notice);
    }
    midi.CloseMidi();
    EXPECT_FALSE(midi.AnyPortOpen());
    EXPECT_EQ(jack_port_by_name(patchbay.client, kOwnPort.c_str()), nullptr);
}

// With no source chosen only the own port listens; a source both chosen and wired to the own
// port is heard once; the notes a vanished source held end, whichever way they came.
TEST(MidiSources, NoNoteIsDoubledAndAVanishedSourceEndsItsNotes) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    HeadlessPlatform platform;
    // The MIDI threads write what the handler hears; the test reads it under the lock.
    using Heard = std::vector<std::vector<int32_t>>;
    static std::mutex lock;
    static Heard heardSoFar;
    const auto play = [](void*, int32_t s, int32_t n, int32_t v) {
        std::lock_guard held(lock);
        heardSoFar.push_back({s, n, v});
    };
    const auto heard = [] {
        std::lock_guard held(lock);
        return heardSoFar;
    };
    const auto forget = [] {
        std::lock_guard held(lock);
        heardSoFar.clear();
    };
    MidiInput midi(platform, play, nullptr, MidiApi::Jack);
    auto keys = MakeSource("twkeys");
    midi.InitMidiDevices("");
    EXPECT_FALSE(midi.IsPortOpen());
    // Wired by the user, then chosen: one wire, which the program leaves to its maker.
    JackRecorder patchbay("twpatch");
    ASSERT_EQ(jack_connect(patchbay.client, "twkeys:out", kOwnPort.c_str()), 0);
    midi.InitMidiDevices("twkeys:out");
    ASSERT_TRUE(midi.IsPortOpen());
    const auto send = [&](std::vector<unsigned char> message) {
        const uint32_t before = midi.Log().Written();
        keys->sendMessage(&message);
        return WaitFor([&] { return midi.Log().Written() > before; });
    };
    // The first message through a fresh connection may be lost.
    ASSERT_TRUE(WaitFor([&] { return send({0xB0, 1, 0}); }, std::chrono::seconds(20)));
    forget();
    const uint32_t before = midi.Log().Written();
    ASSERT_TRUE(send({0x90, 60, 100}) && send({0x80, 60, 0}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // a second copy would be in
    EXPECT_EQ(heard(), (Heard{{0x90, 60, 100}, {0x80, 60, 0}}));
    EXPECT_EQ(midi.Log().Written(), before + 2);

    // The user's wire outlives the choice; unplugged, the note it held ends, on its channel.
    forget();
    midi.DropSource();
    ASSERT_TRUE(send({0x91, 62, 100}));
    ASSERT_EQ(jack_disconnect(patchbay.client, "twkeys:out", kOwnPort.c_str()), 0);
    EXPECT_TRUE(WaitFor([&] { return heard().size() == 2; }));
    EXPECT_EQ(heard(), (Heard{{0x91, 62, 100}, {0x81, 62, 0}}));
    // Wired by the program for the choice: the source gone, its note ends.
    forget();
    midi.InitMidiDevices("twkeys:out");
    EXPECT_TRUE(WaitForConnections(patchbay.client, kOwnPort, {"twkeys:out"}));
    ASSERT_TRUE(WaitFor([&] { return send({0x90, 64, 100}); }, std::chrono::seconds(20)));
    keys.reset();
    EXPECT_TRUE(WaitFor([&] { return midi.FollowSource() == MidiSourceChange::Gone; }));
    EXPECT_TRUE(WaitFor([&] { return heard().size() == 2; }));
    EXPECT_EQ(heard().back(), (std::vector<int32_t>{0x80, 64, 0}));
    // Dropping a choice the program wired takes its wire away.
    keys = MakeSource("twkeys");
    midi.InitMidiDevices("twkeys:out");
    EXPECT_TRUE(WaitForConnections(patchbay.client, kOwnPort, {"twkeys:out"}));
    midi.DropSource();
    EXPECT_TRUE(WaitForConnections(patchbay.client, kOwnPort, {}));
}

// The input hands on every channel, and the engine behind it (as live play has it) takes the
// notes and the bend of the channel the project listens to, as the plugin does.
TEST(DevicesWithoutSoundServer, TheEngineBehindTheInputHearsTheProjectsChannel) {
    UseJackServer("tw_absent_" + std::to_string(getpid()));
    HeadlessPlatform platform;
    const struct {
        int32_t channel;
        bool first, second; // hears channel 1, channel 2
    } cases[] = {{1, true, false}, {2, false, true}, {kAllChannels, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channel);
        const auto project = MakeProject();
        Engine engine(*project);
        ResetEngine(engine);
        project->midiChannel = c.channel;
        const auto play = [](void* e, int32_t s, int32_t n, int32_t v) {
            HandleMidiMessage(*static_cast<Engine*>(e), s, n, v);
        };
        MidiInput midi(platform, play, &engine, MidiApi::Jack);
        for (std::vector<unsigned char> bytes :
             {std::vector<unsigned char>{0x90, 60, 100}, {0x91, 62, 100}, {0xE1, 0, 127}}) {
            MidiInput::OnMidiMessage(0.0, &bytes, &midi);
        }
        EXPECT_EQ(engine.notes.gate[60] != 0.0f, c.first);
        EXPECT_EQ(engine.notes.gate[62] != 0.0f, c.second);
        EXPECT_EQ(engine.notes.bend > 0.0f, c.second);
    }
}

// JACK cancels the thread that runs a client's shutdown handler when the client is closed,
// and RtAudio closes its client from another thread while its handler still prints. Any
// handler registered in the program therefore runs with cancellation held off.
TEST(JackServerDeath, ShutdownHandlersRunWithCancellationHeldOff) {
    JackServer server;
    JackRecorder guard("twguard");
    static std::atomic<int> calls{0}, cancelState{-1};
    const auto handler = [](void*) {
        int state = -1;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
        pthread_setcancelstate(state, nullptr);
        cancelState = state;
        ++calls;
    };
    jack_on_shutdown(guard.client, handler, nullptr);
    guard.Start();
    server.Kill();
    ASSERT_TRUE(WaitFor([] { return calls > 0; }));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(cancelState.load(), PTHREAD_CANCEL_DISABLE);
}

// The server dies under the running program, frozen during "Stop Audio" (a stop that
// waited for the output to drain would wait for ever) or killed while playing: both layers
// let go, close at once and quietly while it is gone, and play again when it comes back.
TEST(JackServerDeath, TheProgramLetsGoClosesAndPlaysAgainOnARestartedServer) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto recorder = std::make_unique<JackRecorder>("twrec");
    recorder->Start();
    auto keys = MakeSource("twkeys");
    HeadlessPlatform platform;
    Synth synth;
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("twkeys:out");
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.UseOwnClient(&midi);
    audio.SetSampleRate(kJackRate);
    audio.InitAudioDevices("twrec");
    // On a server that came back, the test's own clients come back too; "Start Audio" on
    // the device list taken at start-up plays, and the MIDI port chosen again plays a note.
    const auto play = [&](bool restarted) {
        if (restarted) {
            ASSERT_TRUE(server.Restart()) << server.Log();
            recorder = std::make_unique<JackRecorder>("twrec");
            recorder->Start();
            keys = MakeSource("twkeys");
            midi.SwitchMidiPort(0);
        }
        audio.StartAudio(audio.SelectedDevice());
        EXPECT_EQ(audio.BufferFrames(), kJackPeriod);
        EXPECT_TRUE(Hears(midi, *keys, 69));
        EXPECT_EQ(ToneProblem(*recorder, 8 * kJackPeriod, 440), "");
    };
    // Neither layer goes on claiming a stream or a port on a server that is gone, and the
    // test's own clients go too, as the program's have: while any is left, the JACK library
    // stays bound to the dead server.
    const auto gone = [&] {
        EXPECT_TRUE(WaitFor([&] { return !audio.IsRunning() && !midi.IsPortOpen(); }));
        EXPECT_EQ(audio.BufferFrames(), 0u);
        recorder.reset();
        keys.reset();
    };
    play(false);
    server.Freeze();
    std::thread killer([&server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        server.Kill();
    });
    Within(8, [&] { audio.StopAudio(); });
    killer.join();
    gone();
    play(true);
    server.Kill();
    gone();
    // The close procedure, twice over, and starts: all return at once and quietly.
    Within(2, [&] {
        for (int twice = 0; twice < 2; ++twice) {
            midi.CloseMidi();
            audio.StopAudio();
        }
        audio.StartAudio(audio.SelectedDevice());
        midi.SwitchMidiPort(0);
    });
    EXPECT_FALSE(audio.IsRunning() || midi.IsPortOpen());
    play(true);
    EXPECT_TRUE(platform.messages.empty());
}

} // namespace
} // namespace tw
