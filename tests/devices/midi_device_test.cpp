// The MIDI input: what the callback keeps for the monitor and passes to the engine, how
// ports are named, chosen and switched, all against a real JACK server with MIDI sources of
// the test's own.
#include "devices/device_rig.h"
#include "devices/jack_fixture.h"
#include "devices/midi_device.h"
#include "platform/headless_platform.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tw {
namespace {

using test::JackGraph;
using test::JackServer;
using test::WaitFor;
using test::WaitForConnections;

constexpr const char* kInputPort = "RtMidi Input Client:RtMidi Input";

// Stands in for the engine's note handler: remembers what reached it.
struct NoteSink {
    Relaxed<int32_t> calls;
    Relaxed<int32_t> status;
    Relaxed<int32_t> note;
    Relaxed<int32_t> velocity;

    static void Handle(void* self, int32_t s, int32_t n, int32_t v) {
        auto* sink = static_cast<NoteSink*>(self);
        sink->status = s;
        sink->note = n;
        sink->velocity = v;
        sink->calls = sink->calls + 1;
    }
};

using test::MakeSource;

void Send(RtMidiOut& out, std::vector<unsigned char> bytes) {
    out.sendMessage(&bytes);
}

constexpr auto kResend = std::chrono::seconds(1);

// On a starved server the first message through a fresh connection is now and then lost.
// An active-sensing byte is repeated until one gets through, so that the messages a test
// counts start from a known state.
bool WarmUp(const MidiInput& midi, RtMidiOut& source) {
    const uint32_t before = midi.Log().Written();
    bool through = false;
    for (int attempt = 0; attempt < 10 && !through; ++attempt) {
        Send(source, {0xFE});
        through = WaitFor([&] { return midi.Log().Written() > before; }, kResend);
    }
    // Pings still on their way arrive now rather than among the counted messages.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return through;
}

std::vector<int32_t> Words(const MidiInput& midi) {
    return {midi.LastMessage(0), midi.LastMessage(1), midi.LastMessage(2), midi.LastMessage(3)};
}

TEST(MidiCallback, ShortAndMalformedNoteMessagesNeverReachTheNoteHandler) {
    HeadlessPlatform platform;
    NoteSink sink;
    test::JackTurn turn;
    test::UseJackServer("tw_no_server_here");
    MidiInput midi(platform, &NoteSink::Handle, &sink, MidiApi::Jack);

    const unsigned char noteOn[] = {0x90, 60, 100};
    midi.HandleMessage(noteOn, 3);
    EXPECT_EQ(sink.calls, 1);

    // Missing velocity: the monitor shows it, the engine never sees it.
    const unsigned char shortNote[] = {0x90, 62};
    midi.HandleMessage(shortNote, 2);
    EXPECT_EQ(Words(midi), (std::vector<int32_t>{0x90, 62, 100, 0}));
    // Data bytes outside 0..127 would index past the note tables.
    const unsigned char badNote[] = {0x80, 200, 0};
    midi.HandleMessage(badNote, 3);
    const unsigned char badVelocity[] = {0x90, 60, 255};
    midi.HandleMessage(badVelocity, 3);
    EXPECT_EQ(sink.calls, 1);
    EXPECT_EQ(midi.Log().Written(), 4u);

    // An empty message changes nothing at all.
    midi.HandleMessage(noteOn, 0);
    midi.HandleMessage(nullptr, 3);
    std::vector<unsigned char> empty;
    MidiInput::OnMidiMessage(0.0, &empty, &midi);
    EXPECT_EQ(Words(midi), (std::vector<int32_t>{0x90, 60, 255, 0}));
    EXPECT_EQ(midi.Log().Written(), 4u);

    // Without a handler, note messages only reach the monitor.
    MidiInput silent(platform, nullptr, nullptr, MidiApi::Jack);
    silent.HandleMessage(noteOn, 3);
    EXPECT_EQ(silent.LastMessage(1), 60);
}

TEST(MidiNames, AlsaAddressesAreDroppedAndJackNamesKeptWhole) {
    EXPECT_EQ(ListedMidiPortName("Midi Through:Midi Through Port-0 14:0", true),
              "Midi Through:Midi Through Port-0");
    // Two-digit client and port numbers go entirely, so the name survives renumbering.
    EXPECT_EQ(ListedMidiPortName("Keystation:Keystation MIDI 1 24:10", true),
              "Keystation:Keystation MIDI 1");
    EXPECT_EQ(ListedMidiPortName("Odd name", true), "Odd name");
    EXPECT_EQ(ListedMidiPortName("Odd name 14:", true), "Odd name 14:");
    EXPECT_EQ(ListedMidiPortName("twkeys:keys", false), "twkeys:keys");
    EXPECT_EQ(ListedMidiPortName("a2j:Keystation 20:0", false), "a2j:Keystation 20:0");
}

TEST(MidiMonitor, LinesFollowTheMonitorFormats) {
    EXPECT_EQ(MidiMonitorLine({}), "0x0 (0 0 0)");
    EXPECT_EQ(MidiMonitorLine({0x90, 60, 100}), "Note On  0x90 (144 60 100)");
    EXPECT_EQ(MidiMonitorLine({0x80, 60, 64}), "Note Off 0x80 (128 60 0)");
    EXPECT_EQ(MidiMonitorLine({0x91, 60, 100}), "0x91 (145 60 100)");
    EXPECT_EQ(MidiMonitorLine({0xF8, 0, 0}), "0xf8 (248 0 0)");
}

TEST(MidiMessageLog, AReaderThatFallsBehindLosesTheOldestAndSeesTheRestInOrder) {
    MidiMessageLog log;
    std::vector<MidiMonitorWords> out(MidiMessageLog::kEntries * 2);
    uint32_t cursor = 0;
    uint32_t lost = 0;
    EXPECT_EQ(log.Read(cursor, out.data(), 8, lost), 0u);

    const uint32_t total = MidiMessageLog::kEntries + 44;
    for (uint32_t i = 0; i < total; ++i) {
        log.Append({0xB0, static_cast<int32_t>(i % 128), static_cast<int32_t>(i / 128)});
    }
    const uint32_t got = log.Read(cursor, out.data(), static_cast<uint32_t>(out.size()), lost);
    EXPECT_EQ(lost, 44u);
    ASSERT_EQ(got, MidiMessageLog::kEntries);
    for (uint32_t i = 0; i < got; ++i) {
        const uint32_t sequence = 44 + i;
        EXPECT_EQ(out[i].data1, static_cast<int32_t>(sequence % 128));
        EXPECT_EQ(out[i].data2, static_cast<int32_t>(sequence / 128));
    }
    EXPECT_EQ(cursor, total);

    // A reader that keeps up loses nothing, in small reads across the ring's wrap.
    for (uint32_t i = 0; i < 300; ++i) {
        log.Append({0x90, static_cast<int32_t>(i % 128), 1});
        if (i % 7 == 6) {
            EXPECT_EQ(log.Read(cursor, out.data(), 16, lost), 7u);
            EXPECT_EQ(lost, 0u);
            EXPECT_EQ(out[6].data1, static_cast<int32_t>(i % 128));
        }
    }
}

TEST(MidiInputOverJack, EveryMessageReachesTheMonitorAndOnlyChannelOneNotesPlay) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto keys = MakeSource("twkeys", "keys");
    HeadlessPlatform platform;
    NoteSink sink;
    MidiInput midi(platform, &NoteSink::Handle, &sink, MidiApi::Jack);
    midi.InitMidiDevices("twkeys:keys");
    ASSERT_EQ(midi.DeviceCount(), 1u);
    EXPECT_STREQ(midi.DeviceName(0), "twkeys:keys");
    EXPECT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(MidiMonitorLine(midi.MonitorWords()), "0x0 (0 0 0)");
    // A message sent before the server has put the connection into its graph is lost.
    JackGraph graph;
    ASSERT_TRUE(graph.Ok());
    ASSERT_TRUE(WaitForConnections(graph.Client(), kInputPort, {"twkeys:keys"}));
    ASSERT_TRUE(WarmUp(midi, *keys));

    struct Case {
        std::vector<unsigned char> bytes;
        std::vector<int32_t> words; // all four, after the message
        const char* line;
    };
    const Case cases[] = {
        {{0xB0, 7, 100}, {0xB0, 7, 100, 0}, "0xb0 (176 7 100)"},
        // Shorter messages leave the later words as they were.
        {{0xC0, 5}, {0xC0, 5, 100, 0}, "0xc0 (192 5 100)"},
        {{0xF8}, {0xF8, 5, 100, 0}, "0xf8 (248 5 100)"},
        // System exclusive arrives whole; only its first four bytes are kept.
        {{0xF0, 0x7D, 1, 2, 3, 4, 5, 0xF7}, {0xF0, 0x7D, 1, 2}, "0xf0 (240 125 1)"},
        // A note on channel 2 shows but does not play.
        {{0x91, 60, 100}, {0x91, 60, 100, 2}, "0x91 (145 60 100)"},
        {{0x90, 64, 90}, {0x90, 64, 90, 2}, "Note On  0x90 (144 64 90)"},
        {{0x80, 64, 40}, {0x80, 64, 40, 2}, "Note Off 0x80 (128 64 0)"},
    };
    uint32_t cursor = midi.Log().Written();
    for (const Case& c : cases) {
        const uint32_t before = midi.Log().Written();
        Send(*keys, c.bytes);
        ASSERT_TRUE(WaitFor([&] { return midi.Log().Written() > before; }))
            << "no message after " << c.line;
        EXPECT_EQ(midi.Log().Written(), before + 1) << c.line;
        EXPECT_EQ(Words(midi), c.words) << c.line;
        MidiMonitorWords seen;
        uint32_t lost = 0;
        ASSERT_EQ(midi.Log().Read(cursor, &seen, 1, lost), 1u);
        EXPECT_EQ(MidiMonitorLine(seen), c.line);
        if (c.bytes[0] == 0x91) {
            EXPECT_EQ(sink.calls, 0) << "channel 2 reached the engine";
        }
    }
    EXPECT_EQ(sink.calls, 2);
    EXPECT_EQ(sink.status, 0x80);
    EXPECT_EQ(sink.note, 64);
    EXPECT_EQ(sink.velocity, 40);
    EXPECT_TRUE(platform.messages.empty());
}

TEST(MidiInputOverJack, ThePreferredPortIsOpenedAndSwitchingMovesTheInput) {
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto keys = MakeSource("twkeys", "keys");
    auto pads = MakeSource("twpads", "pads");
    HeadlessPlatform platform;
    MidiInput midi(platform, nullptr, nullptr, MidiApi::Jack);
    midi.InitMidiDevices("twpads:pads");
    ASSERT_EQ(midi.DeviceCount(), 2u);
    const uint32_t padsPort = std::string(midi.DeviceName(0)) == "twpads:pads" ? 0 : 1;
    const uint32_t keysPort = 1 - padsPort;
    ASSERT_STREQ(midi.DeviceName(keysPort), "twkeys:keys");
    EXPECT_EQ(midi.SelectedPort(), padsPort);
    EXPECT_STREQ(midi.DeviceName(7), "");

    // What the input port is connected to, read from the server's graph: a message from an
    // unconnected source could only be waited for, never ruled out.
    JackGraph graph;
    ASSERT_TRUE(graph.Ok());
    const auto sources = [&](std::vector<std::string> expected) {
        return WaitForConnections(graph.Client(), kInputPort, std::move(expected));
    };
    // Sent again until heard: only arrival is in question here.
    const auto hears = [&](RtMidiOut& source, unsigned char note) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            Send(source, {0x90, note, 1});
            if (WaitFor([&] { return midi.LastMessage(1) == note; }, kResend)) return true;
        }
        return false;
    };
    EXPECT_TRUE(sources({"twpads:pads"}));
    EXPECT_TRUE(hears(*pads, 2));

    midi.SwitchMidiPort(keysPort);
    EXPECT_EQ(midi.SelectedPort(), keysPort);
    EXPECT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(sources({"twkeys:keys"}));
    EXPECT_TRUE(hears(*keys, 3));

    // Out-of-range and same-port requests change nothing.
    midi.SwitchMidiPort(5);
    midi.SwitchMidiPort(keysPort);
    EXPECT_EQ(midi.SelectedPort(), keysPort);
    EXPECT_TRUE(sources({"twkeys:keys"}));

    // A preferred name that matches nothing opens port 0.
    midi.InitMidiDevices("gone:away");
    EXPECT_EQ(midi.SelectedPort(), 0u);
    EXPECT_TRUE(midi.IsPortOpen());
    EXPECT_TRUE(sources({midi.DeviceName(0)}));

    midi.CloseMidi();
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_TRUE(WaitFor([&] { return test::PortConnections(graph.Client(), kInputPort).empty(); }));
    EXPECT_TRUE(platform.messages.empty());
}

} // namespace
} // namespace tw
