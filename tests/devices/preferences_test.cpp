// The preferences file: its bytes, what a start-up takes from a whole, missing, foreign,
// short or damaged file, and a save that fails.
#include "devices/preferences.h"
#include "devices/preferences_host.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/fake_engine.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;

const std::string kDefaultMode =
    "Tonewright default startup mode.\n\nPlease Visit:- Setup -> Preferences.";

// Records what the start-up asks of the program; every opened project opens.
struct RecordingHost : PreferencesHost {
    std::string opened, information, errors; // opened paths joined by '|'
    int defaultsApplied = 0;
    void ApplyNewProjectDefaults(Project&) override { ++defaultsApplied; }
    void OpenProject(Project& project, const std::string& path) override {
        opened += (opened.empty() ? "" : "|") + path;
        SetText(project.projectPath, path);
    }
    void ClearProperties(Project&) override {}
    void ShowInformation(std::string_view text) override { information += text; }
    void ShowError(std::string_view text) override { errors += text; }
};

TEST(PreferencesFile, IsWrittenFieldByFieldAndReadBack) {
    auto project = test::MakeProject();
    DevicePreferences devices;
    SetText(project->outputFolder, "/home/me/plugins");
    SetText(devices.midiDevice, "Keys 100%s");
    SetText(devices.audioDevice, "HDA Intel PCH");
    project->openLastProject = 1;
    SetText(project->projectPath, "/home/me/My Synth.tw1");
    test::Bytes b;
    b.I32(414).Str("/home/me/plugins").Str("Keys 100%s").Str("HDA Intel PCH").U8(0).U8(1);
    const std::string bytes = b.Str("/home/me/My Synth.tw1").String();
    EXPECT_EQ(EncodePreferences(*project, devices), bytes);
    auto read = test::MakeProject();
    DevicePreferences readDevices;
    readDevices.sampleRate = 48000;
    EXPECT_EQ(DecodePreferences(bytes, *read, readDevices), PreferencesRead::Loaded);
    EXPECT_EQ(EncodePreferences(*read, readDevices), bytes);
    EXPECT_EQ(readDevices.sampleRate, 44100u);
    // Empty values make the smallest file.
    EXPECT_EQ(EncodePreferences(*test::MakeProject(), DevicePreferences{}).size(), 22u);
}

// What a start-up takes, field by field: the file's value, the default, or the value it
// had. A missing or foreign file gives the defaults and opens the demo; a damaged one
// keeps every value that can still be read, says which took their defaults, is kept as
// ".bak", and is never read past the largest size a file can have.
TEST(PreferencesFile, AStartUpTakesWhatTheFileHolds) {
    test::TempDir app;
    fs::create_directories(app.Path() / "Resources");
    const std::string path = PreferencesPath(app.Path().string());
    const std::string demo = app.Path().string() + "/Projects/Demo Synth.tw1";
    // Texts that fill their fields exactly (but for the plugin folder, which leaves room for
    // one too long), rate code 1 (48000 Hz), "open last" on.
    const std::string out(250, 'o'), midi(127, 'm'), audio(127, 'a'), last(259, 'l');
    const auto head = [&](const std::string& m) { return test::Bytes().I32(414).Str(out).Str(m); };
    const std::string tail = test::Bytes().U8(1).U8(1).Str(last).String();
    const std::string good = head(midi).Str(audio).String() + tail;
    std::string code7 = good;
    code7[good.size() - tail.size()] = 7;
    const uint32_t all = kPrefAllFields, rate = kPrefSampleRate, lastField = kPrefLastProject;
    const struct {
        const char* what;
        std::optional<std::string> bytes;
        PreferencesRead result;
        uint32_t read, reset; // the fields taken from the file, and those that took defaults
        std::string opened;
        std::string said;   // the whole notice, or for a damaged file a part of it
        uintmax_t size = 0; // the file is stretched (sparse) to this size
    } cases[] = {
        {"missing", std::nullopt, PreferencesRead::Missing, 0, all, demo + "|" + demo,
         kDefaultMode},
        {"another version", test::Bytes().I32(413).String() + good.substr(4),
         PreferencesRead::WrongVersion, 0, all, demo, kDefaultMode},
        {"whole", good, PreferencesRead::Loaded, all, 0, last, ""},
        {"cut in the audio name", good.substr(0, head(midi).data.size() + 60),
         PreferencesRead::Truncated, kPrefPluginFolder | kPrefMidiDevice, 0, "", ""},
        {"unknown rate code", code7, PreferencesRead::Loaded, all & ~rate, 0, last, ""},
        {"over-long MIDI name", head(std::string(128, 'm')).Str(audio).String() + tail,
         PreferencesRead::Damaged, all & ~kPrefMidiDevice, kPrefMidiDevice, last,
         "Reset to their defaults: MIDI device."},
        {"over-long last project",
         head(midi).Str(audio).U8(1).U8(1).Str(std::string(260, 'p')).String(),
         PreferencesRead::Damaged, all & ~lastField, lastField, "",
         "Reset to their defaults: last project."},
        {"negative audio length", head(midi).I32(-1).String() + tail, PreferencesRead::Damaged,
         kPrefPluginFolder | kPrefMidiDevice, all & ~(kPrefPluginFolder | kPrefMidiDevice), "",
         "Reset to their defaults: audio device, sample rate, open last project, last project."},
        {"folder length past the end", test::Bytes().I32(414).I32(0x7FFFFFF0).Str("m").String(),
         PreferencesRead::Damaged, 0, all, "",
         "Reset to their defaults: plugin folder, MIDI device, audio device, sample rate, open "
         "last project, last project."},
        {"no version", std::string("\x9E\x01", 2), PreferencesRead::Damaged, 0, all, "", ""},
        {"3 GB long", good, PreferencesRead::Damaged, all, 0, last,
         "Every setting could still be read.", 3ull << 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(path);
        if (c.bytes) test::WriteFileText(path, *c.bytes);
        if (c.size != 0) fs::resize_file(path, c.size);
        auto project = test::MakeProject();
        SetText(project->appFolder, app.Path().string());
        SetText(project->outputFolder, "old");
        DevicePreferences devices;
        SetText(devices.midiDevice, "old");
        SetText(devices.audioDevice, "old");
        devices.sampleRate = 22050; // a rate no code gives
        project->openLastProject = 0;
        RecordingHost host;
        EXPECT_EQ(LoadPreferences(*project, devices, host), c.result);
        const auto want = [&](uint32_t field, const std::string& file, const char* fallback) {
            return (c.read & field) != 0 ? file : (c.reset & field) != 0 ? fallback : "old";
        };
        EXPECT_EQ(GetText(project->outputFolder), want(kPrefPluginFolder, out, ""));
        EXPECT_EQ(GetText(devices.midiDevice), want(kPrefMidiDevice, midi, ""));
        EXPECT_EQ(GetText(devices.audioDevice), want(kPrefAudioDevice, audio, ""));
        EXPECT_EQ(devices.sampleRate, (c.read & rate)    ? 48000u
                                      : (c.reset & rate) ? 44100u
                                                         : 22050u);
        EXPECT_EQ(project->openLastProject, (c.read | c.reset) & kPrefOpenLastProject ? 1 : 0);
        EXPECT_EQ(host.opened, c.opened);
        const bool defaults =
            c.result == PreferencesRead::Missing || c.result == PreferencesRead::WrongVersion;
        EXPECT_EQ(host.defaultsApplied, defaults ? 1 : 0);
        EXPECT_EQ(fs::exists(path + ".bak"), c.result == PreferencesRead::Damaged);
        if (c.result != PreferencesRead::Damaged) {
            EXPECT_EQ(host.information, c.said);
            continue;
        }
        const std::string& said = host.information;
        EXPECT_TRUE(said.starts_with("The preferences file is damaged:\n" + path + "\n\n")) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_TRUE(said.ends_with("The damaged file was kept as\n" + path + ".bak")) << said;
        EXPECT_EQ(fs::file_size(path + ".bak"), fs::file_size(path));
        std::string kept(c.bytes->size(), '\0');
        std::ifstream(path + ".bak", std::ios::binary).read(kept.data(), kept.size());
        EXPECT_EQ(kept, *c.bytes);
        fs::remove(path + ".bak");
    }
}

// With the program's own host and the real project lifecycle: a first start opens the
// demo and says so, the next one reopens it quietly; with "open last" off a start shows a
// new project; a missing demo is reported. A save that fails (the disk is full) says so and
// keeps the previous file whole.
TEST(PreferencesFile, StartUpsAndSavesWithTheProgramsHost) {
    test::TempDir app;
    fs::create_directories(app.Path() / "Resources");
    fs::create_directories(app.Path() / "Projects");
    const std::string demo = app.Path().string() + "/Projects/Demo Synth.tw1";
    {
        auto p = test::MakeProject();
        SetText(p->pluginName, "Demo Synth");
        test::AddModule(*p, kTypeOscillator);
        HeadlessPlatform saver;
        ASSERT_TRUE(SaveProject(*p, saver, demo));
    }
    test::FakeEngine engine;
    DevicePreferences devices;
    // Starts the program: returns the notices shown, and the project as it stands.
    const auto start = [&](std::unique_ptr<Project>& p, PreferencesRead want) {
        p = test::MakeProject();
        SetText(p->appFolder, app.Path().string());
        HeadlessPlatform platform;
        PlatformPreferencesHost host{platform, engine};
        EXPECT_EQ(LoadPreferences(*p, devices, host), want);
        std::string said;
        for (const std::string& m : platform.MessageTexts())
            if (!m.starts_with("Skin File Not Found")) said += m + "|";
        return said;
    };
    std::unique_ptr<Project> p;
    EXPECT_EQ(start(p, PreferencesRead::Missing), kDefaultMode + "|");
    EXPECT_EQ(GetText(p->pluginName), "Demo Synth");
    HeadlessPlatform quiet;
    PlatformPreferencesHost saving{quiet, engine};
    ASSERT_TRUE(SavePreferences(*p, devices, saving));
    EXPECT_EQ(start(p, PreferencesRead::Loaded), "");
    EXPECT_EQ(GetText(p->projectPath), demo);
    p->openLastProject = 0;
    ASSERT_TRUE(SavePreferences(*p, devices, saving));
    EXPECT_EQ(start(p, PreferencesRead::Loaded), "");
    EXPECT_EQ(p->CountOccupied(), 0);

    fs::remove(demo);
    fs::remove(PreferencesPath(app.Path().string()));
    // The demo fails, then the empty last project path fails in the same way.
    EXPECT_EQ(start(p, PreferencesRead::Missing), "Unable To Open Project\n" + demo + "|" +
                                                      kDefaultMode + "|Unable To Open Project\n|");
    EXPECT_EQ(GetText(p->pluginName), "Synth");

    const std::string path = PreferencesPath(app.Path().string());
    test::WriteFileText(path, "previous contents");
    SetText(p->projectPath, std::string(200, 'p'));
    RecordingHost host;
    {
        const test::FileSizeLimit fullDisk(100);
        EXPECT_FALSE(SavePreferences(*p, devices, host));
    }
    EXPECT_EQ(host.errors, "Can not save to\n" + path);
    EXPECT_EQ(ReadFileText(path), "previous contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(app.Path() / "Resources"), {}), 1);
}

} // namespace
} // namespace tw
