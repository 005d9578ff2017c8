// The preferences file: its bytes, and what a start-up takes from a whole, missing,
// foreign, short or damaged file.
#include "devices/preferences.h"
#include "model/text.h"
#include "support/builders.h"
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
    std::string opened, information; // opened paths joined by '|'
    int defaultsApplied = 0;
    void ApplyNewProjectDefaults(Project&) override { ++defaultsApplied; }
    void OpenProject(Project& project, const std::string& path) override {
        opened += (opened.empty() ? "" : "|") + path;
        SetText(project.projectPath, path);
    }
    void ClearProperties(Project&) override {}
    void ShowInformation(std::string_view text) override { information += text; }
    void ShowError(std::string_view) override {}
};

// A start-up takes, field by field, the file's value, the default or the value it had. A
// missing or foreign file gives defaults and the demo; a damaged one keeps what is readable,
// says which took defaults, is kept as ".bak" and is never read past the largest size.
TEST(PreferencesFile, AStartUpTakesWhatTheFileHolds) {
    test::TempDir app;
    fs::create_directories(app.Path() / "Resources");
    const std::string path = PreferencesPath(app.Path().string());
    const std::string demo = app.Path().string() + "/Projects/Demo Synth.tw1";
    // Texts that fill their fields exactly (but for the plugin folder, which leaves room for
    // one too long) and hold printf's '%', rate code 1 (48000 Hz), "open last" on.
    const std::string out(250, 'o'), midi = "%s" + std::string(125, 'm'), audio(127, 'a'),
                                     last(259, 'l');
    const auto head = [&](const std::string& m) { return test::Bytes().I32(414).Str(out).Str(m); };
    const std::string tail = test::Bytes().U8(1).U8(1).Str(last).String();
    const std::string good = head(midi).Str(audio).String() + tail;
    std::string code7 = good;
    code7[good.size() - tail.size()] = 7;
    const uint32_t all = kPrefAllFields, rate = kPrefSampleRate, lastField = kPrefLastProject;
    const uint32_t outAndMidi = kPrefPluginFolder | kPrefMidiDevice;
    const std::string everyField = "plugin folder, MIDI device, audio device, sample rate, open "
                                   "last project, last project";
    using R = PreferencesRead;
    const struct {
        const char* what;
        std::optional<std::string> bytes;
        R result;
        uint32_t read, reset; // the fields taken from the file, and those that took defaults
        std::string opened;
        std::string said;   // the notice; for a damaged file, the fields it names as reset
        uintmax_t size = 0; // the file is stretched (sparse) to this size
    } cases[] = {
        {"missing", std::nullopt, R::Missing, 0, all, demo + "|" + demo, kDefaultMode},
        {"another version", test::Bytes().I32(413).String() + good.substr(4), R::WrongVersion, 0,
         all, demo, kDefaultMode},
        {"whole", good, R::Loaded, all, 0, last, ""},
        {"cut in the audio name", good.substr(0, head(midi).data.size() + 60), R::Truncated,
         outAndMidi, 0, "", ""},
        {"unknown rate code", code7, R::Loaded, all, 0, last, ""},
        {"over-long MIDI name", head(std::string(128, 'm')).Str(audio).String() + tail, R::Damaged,
         all & ~kPrefMidiDevice, kPrefMidiDevice, last, "MIDI device"},
        {"over-long last project",
         head(midi).Str(audio).U8(1).U8(1).Str(std::string(260, 'p')).String(), R::Damaged,
         all & ~lastField, lastField, "", "last project"},
        {"negative audio length", head(midi).I32(-1).String() + tail, R::Damaged, outAndMidi,
         all & ~outAndMidi, "", "audio device, sample rate, open last project, last project"},
        {"folder length past the end", test::Bytes().I32(414).I32(0x7FFFFFF0).Str("m").String(),
         R::Damaged, 0, all, "", everyField},
        {"no version", std::string("\x9E\x01", 2), R::Damaged, 0, all, "", everyField},
        {"3 GB long", good, R::Damaged, all, 0, last, "", 3ull << 30},
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
        devices.sampleRateCode = 9; // a code none of these files holds
        project->openLastProject = 0;
        RecordingHost host;
        EXPECT_EQ(LoadPreferences(*project, devices, host), c.result);
        const auto want = [&](uint32_t field, const std::string& file, const char* fallback,
                              const char* old = "old") {
            return (c.read & field) != 0 ? file : (c.reset & field) != 0 ? fallback : old;
        };
        EXPECT_EQ(GetText(project->outputFolder), want(kPrefPluginFolder, out, ""));
        EXPECT_EQ(GetText(devices.midiDevice), want(kPrefMidiDevice, midi, ""));
        EXPECT_EQ(GetText(devices.audioDevice), want(kPrefAudioDevice, audio, ""));
        // A code the program never writes is kept as read, and names the default rate.
        const bool odd = c.bytes == code7;
        EXPECT_EQ(std::to_string(devices.sampleRateCode), want(rate, odd ? "7" : "1", "0", "9"));
        EXPECT_EQ(SampleRateOfCode(devices.sampleRateCode),
                  (c.read & rate) != 0 && !odd ? 48000u : 44100u);
        EXPECT_EQ(project->openLastProject, (c.read | c.reset) & kPrefOpenLastProject ? 1 : 0);
        EXPECT_EQ(host.opened, c.opened);
        if (c.read == all) { // a save writes back the file that was read
            EXPECT_EQ(EncodePreferences(*project, devices), *c.bytes);
        }
        // Nothing reopened: a new empty project, skin and window layout included.
        EXPECT_EQ(host.defaultsApplied,
                  c.result == R::Missing || c.result == R::WrongVersion || c.opened.empty());
        EXPECT_EQ(fs::exists(path + ".bak"), c.result == R::Damaged);
        if (c.result != R::Damaged) {
            EXPECT_EQ(host.information, c.said);
            continue;
        }
        EXPECT_EQ(host.information, "The preferences file is damaged:\n" + path + "\n\n" +
                                        (c.reset != 0 ? "Reset to their defaults: " + c.said + "."
                                                      : "Every setting could still be read.") +
                                        "\n\nThe damaged file was kept as\n" + path + ".bak");
        EXPECT_EQ(fs::file_size(path + ".bak"), fs::file_size(path));
        std::string kept(c.bytes->size(), '\0');
        std::ifstream(path + ".bak", std::ios::binary).read(kept.data(), kept.size());
        EXPECT_EQ(kept, *c.bytes);
        fs::remove(path + ".bak");
    }
}

} // namespace
} // namespace tw
