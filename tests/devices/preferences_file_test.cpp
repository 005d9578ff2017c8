// The preferences file: its bytes, what a start-up does with a missing, foreign, short or
// damaged file, and that saving never loses the previous file.
#include "devices/preferences.h"
#include "model/text.h"
#include "support/builders.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tw {
namespace {

namespace fs = std::filesystem;

// Little-endian words and counted texts, written out by hand for the expected bytes.
std::string Word(uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}
std::string Counted(const std::string& s) {
    return Word(static_cast<uint32_t>(s.size())) + s;
}

class RecordingHost : public PreferencesHost {
public:
    std::vector<std::string> opened;
    std::vector<std::string> information;
    std::vector<std::string> errors;
    int defaultsApplied = 0;
    int propertiesCleared = 0;
    bool openSucceeds = true;

    void ApplyNewProjectDefaults(Project&) override { ++defaultsApplied; }
    void OpenProject(Project& project, const std::string& path) override {
        opened.push_back(path);
        if (openSucceeds) SetText(project.projectPath, path);
    }
    void ClearProperties(Project&) override { ++propertiesCleared; }
    void ShowInformation(std::string_view text) override { information.emplace_back(text); }
    void ShowError(std::string_view text) override { errors.emplace_back(text); }
};

class PreferencesFile : public ::testing::Test {
protected:
    void SetUp() override {
        app = fs::temp_directory_path() /
              ("tw_prefs_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(app);
        fs::create_directories(app / "Resources");
        project = test::MakeProject();
        SetText(project->appFolder, app.string());
    }
    void TearDown() override { fs::remove_all(app); }

    std::string PrefsPath() const { return (app / "Resources" / "Tonewright_v0.414.cfg").string(); }
    std::string DemoPath() const { return app.string() + "/Projects/Demo Synth.tw1"; }
    void WriteRaw(const std::string& bytes) const {
        std::ofstream(PrefsPath(), std::ios::binary) << bytes;
    }
    std::string ReadRaw() const {
        std::ifstream in(PrefsPath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path app;
    std::unique_ptr<Project> project;
    DevicePreferences devices;
    RecordingHost host;
};

TEST_F(PreferencesFile, IsNamedAfterTheVersionInTheResourcesFolder) {
    EXPECT_EQ(PreferencesPath("/opt/tw"), "/opt/tw/Resources/Tonewright_v0.414.cfg");
}

TEST_F(PreferencesFile, EmptyValuesMakeA22ByteFileThatLoadsAt48kWithoutOpeningAProject) {
    devices.sampleRateCode = 1;
    project->openLastProject = 0;
    ASSERT_TRUE(SavePreferences(*project, devices, host));
    const std::string expected =
        Word(414) + Word(0) + Word(0) + Word(0) + std::string{'\x01', '\x00'} + Word(0);
    ASSERT_EQ(expected.size(), 22u);
    EXPECT_EQ(ReadRaw(), expected);

    DevicePreferences loaded;
    auto fresh = test::MakeProject();
    SetText(fresh->appFolder, app.string());
    EXPECT_EQ(LoadPreferences(*fresh, loaded, host), PreferencesRead::Loaded);
    EXPECT_EQ(SampleRateOfCode(loaded.sampleRateCode), 48000u);
    EXPECT_TRUE(host.opened.empty());
    EXPECT_TRUE(host.information.empty());
}

TEST_F(PreferencesFile, TextsAreWrittenByteForByteInTheirOrder) {
    SetText(project->outputFolder, "/home/me/plugins");
    SetText(devices.midiDevice, "Keys 100%s");
    SetText(devices.audioDevice, "HDA Intel PCH");
    devices.sampleRateCode = 0;
    project->openLastProject = 1;
    SetText(project->projectPath, "/home/me/My Synth.tw1");
    const std::string expected = Word(414) + Counted("/home/me/plugins") + Counted("Keys 100%s") +
                                 Counted("HDA Intel PCH") + std::string{'\x00', '\x01'} +
                                 Counted("/home/me/My Synth.tw1");
    EXPECT_EQ(EncodePreferences(*project, devices), expected);

    auto fresh = test::MakeProject();
    DevicePreferences loaded;
    loaded.sampleRateCode = 1;
    EXPECT_EQ(DecodePreferences(expected, *fresh, loaded), PreferencesRead::Loaded);
    EXPECT_EQ(GetText(fresh->outputFolder), "/home/me/plugins");
    EXPECT_EQ(GetText(loaded.midiDevice), "Keys 100%s");
    EXPECT_EQ(GetText(loaded.audioDevice), "HDA Intel PCH");
    EXPECT_EQ(SampleRateOfCode(loaded.sampleRateCode), 44100u);
    EXPECT_EQ(fresh->openLastProject, 1);
    EXPECT_EQ(GetText(fresh->projectPath), "/home/me/My Synth.tw1");
}

TEST_F(PreferencesFile, OpenLastProjectReopensTheStoredPath) {
    WriteRaw(Word(414) + Word(0) + Word(0) + Word(0) + std::string{'\x00', '\x01'} +
             Counted("/data/last.tw1"));
    EXPECT_EQ(LoadPreferences(*project, devices, host), PreferencesRead::Loaded);
    EXPECT_EQ(host.opened, std::vector<std::string>{"/data/last.tw1"});
    EXPECT_EQ(host.defaultsApplied, 0);
}

TEST_F(PreferencesFile, MissingFileGivesDefaultsAndOpensTheDemoProject) {
    SetText(project->outputFolder, "/somewhere");
    devices.sampleRateCode = 1;
    EXPECT_EQ(LoadPreferences(*project, devices, host), PreferencesRead::Missing);
    EXPECT_EQ(host.defaultsApplied, 1);
    EXPECT_EQ(host.propertiesCleared, 1);
    EXPECT_EQ(GetText(project->outputFolder), "");
    EXPECT_EQ(SampleRateOfCode(devices.sampleRateCode), 44100u);
    EXPECT_EQ(project->openLastProject, 1);
    // The demo becomes the last project, which the start-up then reopens.
    EXPECT_EQ(host.opened, (std::vector<std::string>{DemoPath(), DemoPath()}));
    ASSERT_EQ(host.information.size(), 1u);
    EXPECT_EQ(host.information[0],
              "Tonewright default startup mode.\n\nPlease Visit:- Setup -> Preferences.");
}

TEST_F(PreferencesFile, AnotherVersionGivesDefaultsWithoutReopeningTheLastProject) {
    WriteRaw(Word(413) + Word(0) + Word(0) + Word(0) + std::string{'\x01', '\x01'} +
             Counted("/data/last.tw1"));
    EXPECT_EQ(LoadPreferences(*project, devices, host), PreferencesRead::WrongVersion);
    EXPECT_EQ(host.defaultsApplied, 1);
    EXPECT_EQ(host.opened, std::vector<std::string>{DemoPath()});
    EXPECT_EQ(SampleRateOfCode(devices.sampleRateCode), 44100u);
}

// A damaged file keeps every value that can still be read and says which took their
// defaults; the damaged file is kept beside it, and is never read past the largest size.
TEST_F(PreferencesFile, ADamagedFileKeepsWhatCanBeReadAndIsKeptAsABackup) {
    const std::string good = Word(414) + Counted("/keep/out") + Counted("m") + Counted("a") +
                             std::string{'\x01', '\x01'} + Counted("/data/last.tw1");
    const std::string tail = std::string{'\x01', '\x01'} + Counted("/data/last.tw1");
    const struct {
        const char* what;
        std::string bytes;
        uintmax_t size; // the file is stretched (sparse) to this size; 0: as written
        uint32_t reset;
        const char* said;
    } cases[] = {
        {"over-long MIDI name",
         Word(414) + Counted("/keep/out") + Counted(std::string(128, 'd')) + Counted("a") + tail, 0,
         kPrefMidiDevice, "Reset to their defaults: MIDI device."},
        {"over-long last project",
         good.substr(0, good.size() - 18) + Counted(std::string(260, 'p')), 0, kPrefLastProject,
         "Reset to their defaults: last project."},
        {"negative audio length", Word(414) + Counted("/keep/out") + Counted("m") + Word(-1) + tail,
         0, kPrefAudioDevice | kPrefSampleRate | kPrefOpenLastProject | kPrefLastProject,
         "Reset to their defaults: audio device, sample rate, open last project, last project."},
        {"folder length past the end", Word(414) + Word(0x7FFFFFF0) + Counted("m"), 0,
         kPrefAllFields,
         "Reset to their defaults: plugin folder, MIDI device, audio device, sample rate, open "
         "last project, last project."},
        {"no version", std::string("\x9E\x01", 2), 0, kPrefAllFields, nullptr},
        {"3 GB long", good, 3ull << 30, 0, "Every setting could still be read."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fresh = test::MakeProject();
        SetText(fresh->appFolder, app.string());
        DevicePreferences loaded;
        RecordingHost seen;
        WriteRaw(c.bytes);
        if (c.size != 0) fs::resize_file(PrefsPath(), c.size);
        EXPECT_EQ(LoadPreferences(*fresh, loaded, seen), PreferencesRead::Damaged);
        const auto kept = [&](uint32_t field) { return (c.reset & field) == 0; };
        EXPECT_EQ(GetText(fresh->outputFolder), kept(kPrefPluginFolder) ? "/keep/out" : "");
        EXPECT_EQ(GetText(loaded.midiDevice), kept(kPrefMidiDevice) ? "m" : "");
        EXPECT_EQ(GetText(loaded.audioDevice), kept(kPrefAudioDevice) ? "a" : "");
        EXPECT_EQ(SampleRateOfCode(loaded.sampleRateCode), kept(kPrefSampleRate) ? 48000u : 44100u);
        EXPECT_EQ(fresh->openLastProject, 1);
        // Only a path that was read is reopened.
        EXPECT_EQ(seen.opened, kept(kPrefLastProject) ? std::vector<std::string>{"/data/last.tw1"}
                                                      : std::vector<std::string>{});
        EXPECT_EQ(seen.defaultsApplied, 0);
        ASSERT_EQ(seen.information.size(), 1u);
        const std::string said = seen.information[0];
        EXPECT_EQ(said.rfind("The preferences file is damaged:\n" + PrefsPath() + "\n\n", 0), 0u);
        if (c.said != nullptr) {
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        }
        EXPECT_TRUE(said.ends_with("The damaged file was kept as\n" + PrefsPath() + ".bak"));
        EXPECT_EQ(fs::file_size(PrefsPath() + ".bak"), fs::file_size(PrefsPath()));
        std::ifstream backup(PrefsPath() + ".bak", std::ios::binary);
        std::string head(c.bytes.size(), '\0');
        backup.read(head.data(), static_cast<std::streamsize>(head.size()));
        EXPECT_EQ(head, c.bytes);
    }
}

TEST_F(PreferencesFile, TextsExactlyFillingTheirFieldsAreAccepted) {
    const std::string path(259, 'p');
    const std::string device(127, 'd');
    const std::string bytes = Word(414) + Counted(path) + Counted(device) + Counted(device) +
                              std::string{'\x00', '\x00'} + Counted(path);
    EXPECT_EQ(DecodePreferences(bytes, *project, devices), PreferencesRead::Loaded);
    EXPECT_EQ(GetText(project->outputFolder), path);
    EXPECT_EQ(GetText(devices.audioDevice), device);
}

TEST_F(PreferencesFile, AShortFileKeepsWhatItHoldsAndLeavesTheRestAsItWas) {
    SetText(devices.audioDevice, "Old Audio");
    devices.sampleRateCode = 1;
    project->openLastProject = 0;
    // The audio device name is cut off in the middle.
    const std::string full = Word(414) + Counted("/plugins") + Counted("Midi In") +
                             Counted("New Audio") + std::string{'\x00', '\x01'} + Counted("/x.tw1");
    const std::string cut = full.substr(0, 8 + 8 + 4 + 7 + 4 + 3);
    WriteRaw(cut);
    EXPECT_EQ(LoadPreferences(*project, devices, host), PreferencesRead::Truncated);
    EXPECT_EQ(GetText(project->outputFolder), "/plugins");
    EXPECT_EQ(GetText(devices.midiDevice), "Midi In");
    EXPECT_EQ(GetText(devices.audioDevice), "Old Audio");
    EXPECT_EQ(SampleRateOfCode(devices.sampleRateCode), 48000u);
    EXPECT_TRUE(host.opened.empty()); // the open-last flag kept its old 0
    EXPECT_EQ(host.defaultsApplied, 0);
}

// A code the program never writes names the default rate, whatever was chosen before, and
// is written back as it was read.
TEST_F(PreferencesFile, AnUnknownSampleRateCodeNamesTheDefaultRateAndIsKept) {
    for (const char code : {'\x02', '\x07', '\xFF'}) {
        SCOPED_TRACE(static_cast<int>(static_cast<uint8_t>(code)));
        devices.sampleRateCode = 1;
        const std::string bytes =
            Word(414) + Word(0) + Word(0) + Word(0) + std::string{code, '\x00'} + Word(0);
        EXPECT_EQ(DecodePreferences(bytes, *project, devices), PreferencesRead::Loaded);
        EXPECT_EQ(SampleRateOfCode(devices.sampleRateCode), 44100u);
        EXPECT_EQ(EncodePreferences(*project, devices), bytes);
    }
}

TEST_F(PreferencesFile, AFailedSaveReportsThePathAndKeepsThePreviousFile) {
    WriteRaw("previous contents");
    SetText(project->projectPath, std::string(200, 'p'));
    {
        const test::FileSizeLimit fullDisk(100);
        EXPECT_FALSE(SavePreferences(*project, devices, host));
    }
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], "Can not save to\n" + PrefsPath());
    EXPECT_EQ(ReadRaw(), "previous contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(app / "Resources"), {}), 1);
}

} // namespace
} // namespace tw
