// Faults of the sound system under a running program: the JACK server dying while audio
// plays and MIDI is open, and MIDI sources vanishing while the input is connected to one.
// After each the program must go on: closing works, nothing hangs, and a server that comes
// back can be played on again.
#include "devices/audio_device.h"
#include "devices/device_rig.h"
#include "devices/jack_fixture.h"
#include "devices/midi_device.h"
#include "engine/engine.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <RtMidi.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tw {
namespace {

using test::JackGraph;
using test::JackRecorder;
using test::JackServer;
using test::kJackPeriod;
using test::kJackRate;
using test::ToneProblem;
using test::WaitFor;
using test::WaitForConnections;
using Clock = std::chrono::steady_clock;

constexpr const char* kInputPort = "RtMidi Input Client:RtMidi Input";

using test::MakeSource;
using test::PlayNote;

// An engine playing "A440Hz" into the left output: a steady sine that needs no note.
struct ToneSynth : test::Synth {
    ToneSynth() { test::BuildTonePatch(*project); }
};

uint32_t MidiIndex(const MidiInput& midi, const std::string& name) {
    for (uint32_t i = 0; i < midi.DeviceCount(); ++i) {
        if (name == midi.DeviceName(i)) return i;
    }
    return kMaxMidiDevices;
}

// Sends a note until the input has it: whether a message arrives, not whether the first
// through a fresh connection does, is in question.
bool Hears(const MidiInput& midi, RtMidiOut& source, unsigned char note) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::vector<unsigned char> bytes{0x90, note, 1};
        source.sendMessage(&bytes);
        if (WaitFor([&] { return midi.LastMessage(1) == note; }, std::chrono::seconds(1))) {
            return true;
        }
    }
    return false;
}

// Fails the whole run, loudly, when a step that must return does not: a hung call cannot
// be reported any other way.
class Deadline {
public:
    Deadline(const char* what, std::chrono::seconds limit) {
        watcher_ = std::thread([this, what, limit] {
            std::unique_lock lock(mutex_);
            if (!done_.wait_for(lock, limit, [this] { return met_; })) {
                std::fprintf(stderr, "HUNG: %s did not return within %llds\n", what,
                             static_cast<long long>(limit.count()));
                std::_Exit(3);
            }
        });
    }
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            met_ = true;
        }
        done_.notify_all();
        watcher_.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool met_ = false;
    std::thread watcher_;
};

// JACK cancels the thread that runs a client's shutdown handler when the client is closed,
// and RtAudio closes its client from another thread while its handler still prints. Any
// handler registered in the program therefore runs with cancellation held off.
TEST(JackServerDeath, ShutdownHandlersRunWithCancellationHeldOff) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    jack_status_t status{};
    jack_client_t* client = jack_client_open("twguard", JackNoStartServer, &status);
    ASSERT_NE(client, nullptr);
    struct Seen {
        std::atomic<int> calls{0};
        std::atomic<int> cancelState{-1};
    } seen;
    jack_on_shutdown(
        client,
        [](void* arg) {
            auto* s = static_cast<Seen*>(arg);
            int state = -1;
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
            pthread_setcancelstate(state, nullptr);
            s->cancelState = state;
            ++s->calls;
        },
        &seen);
    ASSERT_EQ(jack_activate(client), 0);
    server.Kill();
    ASSERT_TRUE(WaitFor([&] { return seen.calls.load() > 0; }, std::chrono::seconds(5)));
    EXPECT_EQ(seen.calls.load(), 1);
    EXPECT_EQ(seen.cancelState.load(), PTHREAD_CANCEL_DISABLE);
    jack_client_close(client);
}

TEST(JackServerDeath, BothLayersLetGoClosingWorksAndARestartedServerPlaysAgain) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    auto keys = MakeSource("twkeys", "keys");

    HeadlessPlatform platform;
    ToneSynth synth;
    MidiInput midi(platform, &PlayNote, synth.engine.get(), MidiApi::Jack);
    midi.InitMidiDevices("twkeys:keys");
    ASSERT_TRUE(midi.IsPortOpen());
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.SetSampleRate(kJackRate);
    audio.InitAudioDevices("twrec");
    const uint32_t device = audio.SelectedDevice();
    ASSERT_STREQ(audio.DeviceName(device), "twrec");
    audio.StartAudio(device);
    ASSERT_TRUE(audio.IsRunning());
    ASSERT_EQ(ToneProblem(*recorder, 8 * kJackPeriod, 440), "");

    server.Kill();
    // Neither layer goes on claiming a stream or a port on a server that is gone.
    EXPECT_TRUE(WaitFor([&] { return !audio.IsRunning(); }, std::chrono::seconds(3)));
    EXPECT_EQ(audio.BufferFrames(), 0u);
    EXPECT_TRUE(WaitFor([&] { return !midi.IsPortOpen(); }, std::chrono::seconds(3)));
    // The test's own clients of the dead server go too, as the program's have: while any is
    // left, the JACK library stays bound to the dead server and a failed attempt to reach
    // a server breaks the clients that are left.
    recorder.reset();
    keys.reset();

    {
        // The close procedure, twice over, and a start while there is no server: all
        // return at once and quietly.
        Deadline deadline("closing after the server died", std::chrono::seconds(5));
        const auto started = Clock::now();
        midi.CloseMidi();
        audio.StopAudio();
        audio.StopAudio();
        midi.CloseMidi();
        audio.StartAudio(device);
        EXPECT_FALSE(audio.IsRunning());
        midi.SwitchMidiPort(0);
        EXPECT_FALSE(midi.IsPortOpen());
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(2));
    }
    EXPECT_TRUE(platform.messages.empty());

    ASSERT_TRUE(server.Restart()) << server.Log();
    recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    keys = MakeSource("twkeys", "keys");

    // "Start Audio" on the device list taken at start-up plays on the new server.
    audio.StartAudio(device);
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_EQ(audio.BufferFrames(), kJackPeriod);
    EXPECT_EQ(ToneProblem(*recorder, 16 * kJackPeriod, 440), "");
    // Choosing the MIDI port again sets the input up on the new server.
    midi.SwitchMidiPort(MidiIndex(midi, "twkeys:keys"));
    ASSERT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(Hears(midi, *keys, 61));

    midi.CloseMidi();
    audio.StopAudio();
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_TRUE(platform.messages.empty());
}

TEST(JackServerDeath, StopAudioWhileTheServerIsDyingNeitherHangsNorTouchesTheDeadStream) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    HeadlessPlatform platform;
    ToneSynth synth;
    AudioOutput audio(platform, &ProcessAudio, synth.engine.get(), AudioApi::Jack);
    audio.SetSampleRate(kJackRate);
    audio.InitAudioDevices("twrec");
    audio.StartAudio(audio.SelectedDevice());
    ASSERT_TRUE(audio.IsRunning());
    ASSERT_TRUE(WaitFor([&] { return recorder->Frames() >= 4 * kJackPeriod; }));

    // The server stops running cycles, and dies while "Stop Audio" is under way: the stream
    // is still open when the stop begins, and the library closes it on its own thread
    // meanwhile. A stop that waited for the output to drain would wait for ever.
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
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_EQ(ToneProblem(*recorder, 8 * kJackPeriod, 440), "");
    audio.StopAudio();
    EXPECT_TRUE(platform.messages.empty());
}

TEST(MidiSourceGone, TheInputStaysUsableAndSwitchingFindsPortsByName) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    // Registered in this order, the ports are listed in this order.
    auto first = MakeSource("twa", "out");
    auto second = MakeSource("twb", "out");
    auto third = MakeSource("twc", "out");
    HeadlessPlatform platform;
    MidiInput midi(platform, nullptr, nullptr, MidiApi::Jack);
    midi.InitMidiDevices("twa:out");
    ASSERT_EQ(midi.DeviceCount(), 3u);
    ASSERT_EQ(midi.SelectedPort(), 0u);
    ASSERT_STREQ(midi.DeviceName(1), "twb:out");
    ASSERT_STREQ(midi.DeviceName(2), "twc:out");
    JackGraph graph;
    ASSERT_TRUE(graph.Ok());
    const auto sources = [&](std::vector<std::string> expected) {
        return WaitForConnections(graph.Client(), kInputPort, std::move(expected));
    };
    ASSERT_TRUE(sources({"twa:out"}));
    ASSERT_TRUE(Hears(midi, *first, 1));

    // The connected source's client goes away. The input's own port stays, unconnected.
    first.reset();
    EXPECT_TRUE(sources({}));
    EXPECT_TRUE(midi.IsPortOpen());

    // The library now numbers twb 0 and twc 1; the list still says 1 and 2. Each choice
    // must reach the port it names.
    midi.SwitchMidiPort(2);
    EXPECT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(sources({"twc:out"}));
    EXPECT_TRUE(Hears(midi, *third, 3));
    midi.SwitchMidiPort(1);
    EXPECT_TRUE(sources({"twb:out"}));
    EXPECT_TRUE(Hears(midi, *second, 2));

    // This time only the port goes; its client stays.
    second->closePort();
    EXPECT_TRUE(sources({}));
    // A port that is no longer there does not open, and is tried again when chosen again.
    midi.SwitchMidiPort(0);
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_TRUE(sources({}));
    midi.SwitchMidiPort(0);
    EXPECT_FALSE(midi.IsPortOpen());
    midi.SwitchMidiPort(2);
    EXPECT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(sources({"twc:out"}));
    EXPECT_TRUE(Hears(midi, *third, 4));

    // The source a name stands for comes back: choosing it finds it again.
    first = MakeSource("twa", "out");
    midi.SwitchMidiPort(0);
    EXPECT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(sources({"twa:out"}));
    EXPECT_TRUE(Hears(midi, *first, 5));

    third.reset();
    midi.CloseMidi();
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_TRUE(WaitFor([&] { return test::PortConnections(graph.Client(), kInputPort).empty(); }));
    EXPECT_TRUE(platform.messages.empty());
}

} // namespace
} // namespace tw
