// Live notes on a real JACK server, wired as the program wires them: notes sent exactly
// 28978 frames apart into the program's own port sound exactly so far apart, the first on
// the very frame it was sent for.
#include "devices/audio_device.h"
#include "devices/jack_fixture.h"
#include "devices/midi_device.h"
#include "engine/live_events.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <jack/midiport.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace tw {
namespace {

using namespace test;

constexpr int64_t kSpacing = 28978;
constexpr int kNotes = 6;

// A client whose one MIDI output plays note 60 on at start + i * kSpacing and off half way.
struct Sequencer {
    jack_client_t* client = jack_client_open("twseq", JackNoStartServer, nullptr);
    jack_port_t* out = client != nullptr ? jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE,
                                                              JackPortIsOutput, 0)
                                         : nullptr;
    std::atomic<int64_t> start{-1};

    Sequencer() {
        if (out == nullptr) return;
        jack_set_process_callback(client, &Process, this);
        jack_activate(client);
    }
    ~Sequencer() {
        if (client != nullptr) jack_client_close(client);
    }
    static int Process(jack_nframes_t frames, void* self) {
        auto* s = static_cast<Sequencer*>(self);
        void* buffer = jack_port_get_buffer(s->out, frames);
        jack_midi_clear_buffer(buffer);
        const int64_t first = s->start.load();
        if (first < 0) return 0;
        const int64_t now = jack_last_frame_time(s->client);
        for (int i = 0; i < 2 * kNotes; ++i) {
            const int64_t at = first + (i / 2) * kSpacing + (i % 2) * kSpacing / 2;
            if (at < now || at >= now + frames) continue;
            const jack_midi_data_t message[3] = {
                static_cast<jack_midi_data_t>(i % 2 == 0 ? 0x90 : 0x80), 60, 100};
            jack_midi_event_write(buffer, static_cast<jack_nframes_t>(at - now), message, 3);
        }
        return 0;
    }
};

int64_t JackClock(void* midi, uint32_t frames, uint32_t) noexcept {
    return static_cast<MidiInput*>(midi)->AudioBlockFrame(frames);
}

void AdoptRate(void* player, uint32_t rate) {
    AdoptSampleRate(static_cast<LivePlayer*>(player)->engine, rate);
}

TEST(LiveTiming, NotesSentAFixedNumberOfFramesApartSoundExactlySoFarApart) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    JackRecorder recorder("twrec", static_cast<uint32_t>((kNotes + 3) * kSpacing));
    ASSERT_TRUE(recorder.Ok());
    auto project = MakeProject();
    Engine engine(*project);
    ResetEngine(engine);
    const int32_t notes = AddModule(*project, kTypeMidi2CV, 100, 60);
    ASSERT_TRUE(
        Wire(*project, notes, midi2cv::kGate, AddModule(*project, kTypeOutput, 100, 300), 1));

    HeadlessPlatform platform;
    LivePlayer player(engine);
    MidiInput midi(platform, nullptr, nullptr, MidiApi::Jack);
    midi.SetTimedHandler(&PostLiveMessage, &player);
    AudioOutput audio(platform, &ProcessLiveAudio, &player, AudioApi::Jack);
    audio.SetRateHandler(&AdoptRate);
    audio.UseOwnClient(&midi);
    ASSERT_TRUE(audio.OnJack());
    player.clock = &JackClock;
    player.clockData = &midi;
    recorder.Start();
    midi.InitMidiDevices("");
    audio.InitAudioDevices("twrec");
    audio.StartAudio(audio.SelectedDevice());
    ASSERT_TRUE(audio.IsRunning()) << audio.StartProblem();
    project->RebuildRoutes();

    Sequencer sequencer;
    ASSERT_NE(sequencer.out, nullptr);
    ASSERT_EQ(jack_connect(sequencer.client, "twseq:out", "Tonewright:Tonewright MIDI In"), 0);
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() > 2 * kJackPeriod; }));
    // Recorded frames before the first note: the program's resting level.
    const int64_t quietUntil = recorder.Frames();
    sequencer.start = jack_frame_time(sequencer.client) + kJackRate / 2;
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() >= (kNotes + 2) * kSpacing; },
                        std::chrono::seconds(30)));
    audio.StopAudio();

    // Each note's first frame above the resting level, after the previous note ended.
    const std::vector<float>& left = recorder.Left();
    const float rest = left[quietUntil - 1];
    std::vector<int64_t> onsets;
    int64_t at = quietUntil;
    for (int i = 0; i < kNotes; ++i) {
        while (at < static_cast<int64_t>(recorder.Frames()) && left[at] <= rest) ++at;
        onsets.push_back(at);
        at += kSpacing * 3 / 4; // past its end
    }
    std::vector<int64_t> offsets;
    for (int i = 0; i < kNotes; ++i) offsets.push_back(onsets[i] - onsets[0] - i * kSpacing);
    const auto [fewest, most] = std::minmax_element(offsets.begin(), offsets.end());
    std::printf("%d notes %lld frames apart at %u Hz, %u-frame cycles: spread %lld frames\n",
                kNotes, static_cast<long long>(kSpacing), kJackRate, kJackPeriod,
                static_cast<long long>(*most - *fewest));
    EXPECT_EQ(*most - *fewest, 0);
    // The sequencer and the recorder run in the cycle the program runs in, so a note read
    // in a cycle sounds in that cycle's audio, on its own frame: no latency at all.
    EXPECT_EQ(static_cast<uint32_t>(recorder.firstFrame + onsets[0]),
              static_cast<uint32_t>(sequencer.start.load()));
}

} // namespace
} // namespace tw
