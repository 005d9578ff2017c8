// The program's shell on a JACK server: "Start Audio" at the server's rate rather than the
// preferred one, the server killed with MIDI open, "Stop Audio", the server back, "Start
// Audio" again, and "Exit"; and a server that comes and goes by itself.
#include "app/commands.h"
#include "app/shell_rig.h"
#include "app/toolbar.h"
#include "devices/jack_fixture.h"
#include "devices/preferences.h"
#include "model/text.h"
#include "support/builders.h"

#include <QLabel>
#include <QTest>
#include <RtMidi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace tw {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The other shell tests expect no sound server at all: the server a test points the
// libraries at is forgotten again when it ends.
struct ForgetServer {
    ~ForgetServer() {
        unsetenv("JACK_DEFAULT_SERVER");
        unsetenv("JACK_NO_START_SERVER");
    }
};

TEST(DeviceFaultsInTheShell, AKilledServerLeavesStopStartAndExitWorking) {
    const ForgetServer forget;
    test::JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto recorder = std::make_unique<test::JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    auto keys = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "twkeys");
    keys->openVirtualPort("keys");

    // Preferences that choose the recorder, the MIDI source and 44100 Hz on a server at
    // 48000 Hz, and an empty project whose patch is "A440Hz" into the left output.
    test::ShellRig rig;
    std::filesystem::remove(rig.DemoPath());
    Project defaults;
    DevicePreferences devices;
    SetText(devices.audioDevice, "twrec");
    SetText(devices.midiDevice, "twkeys:keys");
    const std::string bytes = EncodePreferences(defaults, devices);
    test::WriteFileBytes(rig.PreferencesFile(), {bytes.begin(), bytes.end()});
    MainWindow& w = rig.Open();
    ASSERT_TRUE(test::Wire(rig.P(), test::AddModule(rig.P(), kTypeA440, 100, 60), 0,
                           test::AddModule(rig.P(), kTypeOutput, 100, 300), 1));
    AudioOutput& audio = w.Context().audio;
    MidiInput& midi = w.Context().midi;
    ASSERT_TRUE(midi.IsPortOpen());
    rig.services.ClearRecord();

    w.RunCommand(kCmdStartAudio);
    ASSERT_TRUE(audio.IsRunning());
    ASSERT_EQ(test::ToneProblem(*recorder, 8 * test::kJackPeriod, 440.0), "");
    EXPECT_EQ(rig.services.MessageTexts(),
              std::vector<std::string>{"The audio device runs at 48000 Hz, so Tonewright plays at "
                                       "48000 Hz.\n\nThe sample rate of the preferences (44100 "
                                       "Hz) is kept."});
    EXPECT_EQ(w.Context().preferences.sampleRateCode, 0);
    rig.services.ClearRecord();

    server.Kill();
    EXPECT_TRUE(test::WaitFor([&] { return !audio.IsRunning() && !midi.IsPortOpen(); }, 3s));
    recorder.reset(); // the test's own clients of the dead server go, as the program's have
    keys.reset();
    auto started = Clock::now();
    w.RunCommand(kCmdStopAudio);
    EXPECT_LT(Clock::now() - started, 2s);
    EXPECT_FALSE(w.Toolbar()->AudioShownRunning());

    ASSERT_TRUE(server.Restart()) << server.Log();
    recorder = std::make_unique<test::JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    w.RunCommand(kCmdStartAudio);
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_TRUE(w.Toolbar()->AudioShownRunning());
    EXPECT_EQ(test::ToneProblem(*recorder, 16 * test::kJackPeriod, 440.0), "");
    EXPECT_TRUE(rig.services.messages.empty());

    // "Exit", not saving: the close procedure closes MIDI and stops the audio.
    rig.services.answers = {MessageAnswer::No};
    started = Clock::now();
    w.RunCommand(kCmdExit);
    EXPECT_LT(Clock::now() - started, 2s);
    EXPECT_TRUE(w.HasClosed());
    EXPECT_EQ(rig.services.MessageTexts(), std::vector<std::string>{"Save project first"});
    EXPECT_FALSE(audio.IsRunning() || midi.IsPortOpen());
    rig.window.reset();
}

// Started before the server: its arrival brings the devices, own MIDI port and wanted audio.
// Killed while playing: a window line says so, the toolbar shows audio stopped; restarted,
// everything comes back by itself.
TEST(DeviceFaultsInTheShell, TheProgramFollowsAServerThatComesAndGoes) {
    const ForgetServer forget;
    test::JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    server.Kill();
    test::ShellRig rig;
    MainWindow& w = rig.Open();
    AudioOutput& audio = w.Context().audio;
    MidiInput& midi = w.Context().midi;
    ASSERT_TRUE(test::Wire(rig.P(), test::AddModule(rig.P(), kTypeA440, 100, 60), 0,
                           test::AddModule(rig.P(), kTypeOutput, 100, 300), 1));
    EXPECT_FALSE(midi.OnServer());
    w.RunCommand(kCmdStartAudio); // nothing to play on yet: wanted all the same
    EXPECT_FALSE(audio.IsRunning());

    const auto ownPortThere = [](jack_client_t* client) {
        return jack_port_by_name(client, "Tonewright:Tonewright MIDI In") != nullptr;
    };
    std::unique_ptr<test::JackRecorder> recorder;
    for (const char* when : {"started after the program", "restarted after a kill"}) {
        SCOPED_TRACE(when);
        ASSERT_TRUE(server.Restart()) << server.Log();
        recorder = std::make_unique<test::JackRecorder>("twrec");
        ASSERT_TRUE(recorder->Ok());
        recorder->Start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return audio.IsRunning(); }, 5000));
        EXPECT_TRUE(w.Toolbar()->AudioShownRunning());
        EXPECT_TRUE(ownPortThere(recorder->client));
        EXPECT_GE(audio.DeviceCount(), 1u);
        auto* notice = w.findChild<QLabel*>(QStringLiteral("ServerNotice"));
        EXPECT_TRUE(notice == nullptr || notice->isHidden());

        server.Kill();
        recorder.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !w.Toolbar()->AudioShownRunning(); }, 5000));
        notice = w.findChild<QLabel*>(QStringLiteral("ServerNotice"));
        ASSERT_NE(notice, nullptr);
        EXPECT_FALSE(notice->isHidden());
        EXPECT_EQ(notice->text().toStdString(), kServerGoneNotice);
    }
    // No box said any of it; "Stop Audio" ends the wish and the notice.
    for (const std::string& text : rig.services.MessageTexts())
        EXPECT_EQ(text.find("sound server"), std::string::npos) << text;
    w.RunCommand(kCmdStopAudio);
    EXPECT_TRUE(w.findChild<QLabel*>(QStringLiteral("ServerNotice"))->isHidden());
    rig.window.reset();
}

} // namespace
} // namespace tw
