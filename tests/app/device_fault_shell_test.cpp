// The program's shell when the JACK server dies under it: "Start Audio", the server killed
// with MIDI open, "Stop Audio", the server back, "Start Audio" again, and "Exit".
#include "app/commands.h"
#include "app/main_window.h"
#include "app/shell_rig.h"
#include "app/toolbar.h"
#include "devices/jack_fixture.h"
#include "devices/preferences.h"
#include "engine/engine.h"
#include "model/text.h"
#include "support/builders.h"
#include "support/files.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tw {
namespace {

using test::JackRecorder;
using test::JackServer;
using test::kJackPeriod;
using test::ShellRig;
using test::ToneProblem;
using test::WaitFor;
using Clock = std::chrono::steady_clock;

// The other shell tests expect no sound server at all; the server this test points the
// libraries at is forgotten again when it ends.
class JackEnvironment {
public:
    JackEnvironment() {
        for (int i = 0; i < 2; ++i) {
            if (const char* value = std::getenv(kNames[i])) saved_[i] = value;
        }
    }
    ~JackEnvironment() {
        for (int i = 0; i < 2; ++i) {
            if (saved_[i]) {
                setenv(kNames[i], saved_[i]->c_str(), 1);
            } else {
                unsetenv(kNames[i]);
            }
        }
    }
    JackEnvironment(const JackEnvironment&) = delete;
    JackEnvironment& operator=(const JackEnvironment&) = delete;

private:
    static constexpr const char* kNames[2] = {"JACK_DEFAULT_SERVER", "JACK_NO_START_SERVER"};
    std::optional<std::string> saved_[2];
};

TEST(DeviceFaultsInTheShell, AKilledServerLeavesStopStartAndExitWorking) {
    JackEnvironment environment;
    JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    auto recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    auto keys = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "twkeys");
    keys->openVirtualPort("keys");

    // Preferences that choose the recorder, the MIDI source and the server's rate, and an
    // empty project whose patch is "A440Hz" into the left output.
    ShellRig rig;
    std::filesystem::remove(rig.DemoPath());
    {
        Project defaults;
        DevicePreferences devices;
        SetText(devices.audioDevice, "twrec");
        SetText(devices.midiDevice, "twkeys:keys");
        devices.sampleRateCode = 1;
        const std::string bytes = EncodePreferences(defaults, devices);
        test::WriteFileBytes(rig.PreferencesFile(), {bytes.begin(), bytes.end()});
    }
    MainWindow& w = rig.Open();
    const int32_t tone = test::AddModule(rig.P(), kTypeA440, 100, 60);
    const int32_t out = test::AddModule(rig.P(), kTypeOutput, 100, 300);
    ASSERT_TRUE(test::Wire(rig.P(), tone, 0, out, 1));
    AudioOutput& audio = w.Context().audio;
    MidiInput& midi = w.Context().midi;
    ASSERT_TRUE(midi.IsPortOpen());
    ASSERT_STREQ(midi.DeviceName(midi.SelectedPort()), "twkeys:keys");
    ASSERT_STREQ(audio.DeviceName(audio.SelectedDevice()), "twrec");
    rig.services.ClearRecord();

    w.RunCommand(kCmdStartAudio);
    // The pitch the engine's note tables give "A440Hz" at the server's rate.
    const double hz =
        static_cast<double>(w.Context().engine.notes.frequencyPerSample[69]) * test::kJackRate;
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_TRUE(w.Toolbar()->AudioShownRunning());
    ASSERT_EQ(ToneProblem(*recorder, 8 * kJackPeriod, hz), "");

    server.Kill();
    EXPECT_TRUE(WaitFor([&] { return !audio.IsRunning(); }, std::chrono::seconds(3)));
    EXPECT_TRUE(WaitFor([&] { return !midi.IsPortOpen(); }, std::chrono::seconds(3)));
    // The test's own clients of the dead server go, as the program's have.
    recorder.reset();
    keys.reset();

    const auto stopping = Clock::now();
    w.RunCommand(kCmdStopAudio);
    EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(2));
    EXPECT_FALSE(w.Toolbar()->AudioShownRunning());
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_TRUE(rig.services.messages.empty());

    ASSERT_TRUE(server.Restart()) << server.Log();
    recorder = std::make_unique<JackRecorder>("twrec");
    ASSERT_TRUE(recorder->Ok());
    recorder->Start();
    w.RunCommand(kCmdStartAudio);
    ASSERT_TRUE(audio.IsRunning());
    EXPECT_TRUE(w.Toolbar()->AudioShownRunning());
    EXPECT_EQ(ToneProblem(*recorder, 16 * kJackPeriod, hz), "");
    EXPECT_TRUE(rig.services.messages.empty());

    // "Exit", not saving: the close procedure closes MIDI and stops the audio.
    rig.services.answers = {MessageAnswer::No};
    const auto exiting = Clock::now();
    w.RunCommand(kCmdExit);
    EXPECT_LT(Clock::now() - exiting, std::chrono::seconds(2));
    EXPECT_TRUE(w.HasClosed());
    EXPECT_FALSE(audio.IsRunning());
    EXPECT_FALSE(midi.IsPortOpen());
    EXPECT_EQ(rig.services.MessageTexts(), std::vector<std::string>{"Save project first"});
    rig.window.reset();
}

} // namespace
} // namespace tw
