// Building a plugin folder: the plugin file, the copied skin bitmaps, the captured
// background, the log a user reads, and every way the build can fail.
#include "export/bmp_writer.h"
#include "export/manifest.h"
#include "export/plugin_build.h"
#include "export_fixtures.h"
#include "model/text.h"
#include "support/builders.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::Half;
using test::ReadFile;
using test::Word;
using test::WriteFile;
using Lines = std::vector<std::string>;

// The colour the fake panel shows at (x, y).
uint32_t PanelColour(int32_t x, int32_t y) {
    return 0xFF000000u | static_cast<uint32_t>((x * 7) & 0xFF) << 16 |
           static_cast<uint32_t>((y * 5) & 0xFF) << 8 | static_cast<uint32_t>((x + y) & 0xFF);
}

class FakeHost : public BuildHost {
public:
    Lines errors, warnings;
    std::vector<int> pauses;
    int captures = 0;
    uint32_t tint = 0; // turns the panel's colours
    std::function<void()> onCapture;

    void ShowError(std::string_view text) override { errors.emplace_back(text); }
    void ShowWarning(std::string_view text) override { warnings.emplace_back(text); }
    void Pause(int ms) override { pauses.push_back(ms); }
    Bitmap CapturePanel(int32_t w, int32_t h) override {
        ++captures;
        if (onCapture) onCapture();
        Bitmap b;
        b.width = w;
        b.height = h;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) b.pixels.push_back(PanelColour(x, y) ^ tint);
        return b;
    }
};

// Skin files as a case-sensitive disk holds them: the build asks for some of them in
// other letter cases.
const char* const kSkinFilesOnDisk[] = {"Knob_0to10.bmp", "Knob_0to100.bmp", "Knob_Plus_Minus.bmp",
                                        "Knob_1234.bmp",  "Knob_Wave.bmp",   "Switch_OnOff.bmp",
                                        "LED_Red.bmp"};

class PluginBuild : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(App() / "Resources");
        fs::create_directories(App() / "Skins" / "Default");
        fs::create_directories(Target());
        WriteFile(App() / "Resources" / "64Bit.dat", templateBytes);
        WriteFile(App() / "Resources" / "32Bit.dat", "THIRTY-TWO");
        for (const char* name : kSkinFilesOnDisk) {
            WriteFile(App() / "Skins" / "Default" / name, std::string("skin:") + name);
        }
        project = test::MakeProject();
        SetText(project->appFolder, App().string());
        SetText(project->outputFolder, Target().string());
        param = test::AddModule(*project, kTypeParameter);
        osc = test::AddModule(*project, kTypeOscillator);
        ASSERT_TRUE(test::Wire(*project, param, 0, osc, 0));
    }

    fs::path App() const { return scratch.path() / "app"; }
    fs::path Target() const { return scratch.path() / "target"; }
    std::string Plugin() const { return Target().string() + "/Synth.dll"; }
    std::string Folder() const { return Target().string() + "/Synth"; }
    std::string SkinFolder() const { return App().string() + "/Skins/Default/"; }
    bool Run() {
        return RunBuild(*project, fields, PanelSize{384, 261}, kept.log, host) == BuildOutcome::Ran;
    }

    test::ScratchFolder scratch;
    const std::string templateBytes = std::string("TEMPLATE\0\x01\x02", 11);
    std::unique_ptr<Project> project;
    int32_t param = -1, osc = -1;
    BuildFields fields{"Synth", "A Writer", "1000", "DfLt"};
    test::KeptLog kept;
    FakeHost host;
};

TEST_F(PluginBuild, WritesTemplateAndManifestBitmapsAndBackground) {
    ASSERT_TRUE(Run());
    EXPECT_EQ(kept.log.errorCount, 0);
    EXPECT_EQ(ReadFile(Plugin()), templateBytes + EncodeManifest(*project, 384, 261));
    for (const char* name : kPluginSkinBitmaps) {
        const std::string copy = ReadFile(Folder() + "/" + name);
        EXPECT_EQ(copy.substr(0, 5), "skin:") << name;
        EXPECT_EQ(copy.size(), 5 + std::string(name).size()) << name;
    }
    const std::string skin = SkinFolder();
    const std::string background = Folder() + "/Background.bmp";
    EXPECT_EQ(kept.lines, (Lines{">Opening Manifest ",
                                 "2  Objects Indexed ",
                                 "1  IO Routes Visited ",
                                 "1 Parameters mapped ",
                                 ">Closing Manifest ",
                                 " ",
                                 ">Compiling " + Plugin() + " ",
                                 "11  Bytes Written ",
                                 " ",
                                 ">Linking Object Library 64Bit ",
                                 " ",
                                 ">Creating folder: " + Folder() + " ",
                                 ">Copying bitmaps to: " + Folder() + " ",
                                 skin + "Knob_0to10.bmp ",
                                 skin + "Knob_0to100.bmp ",
                                 skin + "Knob_Plus_Minus.bmp ",
                                 skin + "Knob_1234.bmp ",
                                 skin + "Knob_Wave.bmp ",
                                 skin + "Switch_OnOff.bmp ",
                                 skin + "LED_Red.bmp ",
                                 ">Writing plugin description: " + Folder() + "/manifest.ttl ",
                                 ">Writing plugin description: " + Folder() + "/plugin.ttl ",
                                 ">Writing plugin description: " + Folder() + "/presets.ttl ",
                                 ">Creating background bitmap: " + background + " ",
                                 " ",
                                 "** Build Process Finished ** "}));
    EXPECT_EQ(host.pauses, (std::vector<int>{200, 200}));
    EXPECT_EQ(host.captures, 1);
}

TEST_F(PluginBuild, BackgroundOfA400By300EditorIs384By261BottomUp) {
    const PanelSize panel = PanelOfEditor(400, 300);
    ASSERT_EQ(panel.width, 384);
    ASSERT_EQ(panel.height, 261);
    ASSERT_TRUE(Run());
    const std::string bmp = ReadFile(Folder() + "/Background.bmp");
    const std::string header = std::string("BM") + Word(0) + Word(0) + Word(54) + Word(40) +
                               Word(384) + Word(261) + Half(1) + Half(24) + Word(0) + Word(300672) +
                               Word(0) + Word(0) + Word(0) + Word(0);
    ASSERT_EQ(bmp.size(), 54u + 300672u);
    EXPECT_EQ(bmp.substr(0, 54), header);
    // Each stored row is 384 * 3 = 1152 bytes; the first stored row is the panel's bottom.
    for (const auto& [x, y] : {std::pair{0, 0}, {383, 0}, {17, 130}, {0, 260}, {383, 260}}) {
        const std::size_t at = 54 + static_cast<std::size_t>(260 - y) * 1152 + 3 * x;
        const uint32_t c = PanelColour(x, y);
        EXPECT_EQ(static_cast<uint8_t>(bmp[at]), c & 0xFF) << x << "," << y;
        EXPECT_EQ(static_cast<uint8_t>(bmp[at + 1]), (c >> 8) & 0xFF) << x << "," << y;
        EXPECT_EQ(static_cast<uint8_t>(bmp[at + 2]), (c >> 16) & 0xFF) << x << "," << y;
    }
}

TEST_F(PluginBuild, MissingTemplateIsError5AndNothingIsWritten) {
    fs::remove(App() / "Resources" / "64Bit.dat");
    ASSERT_TRUE(Run());
    const std::string templatePath = App().string() + "/Resources/64Bit.dat";
    EXPECT_EQ(kept.lines, (Lines{">ERROR 5:- Can not read from " + templatePath + " ", " ",
                                 ">Build Process Failed ", "1  Error(s) "}));
    EXPECT_FALSE(fs::exists(Plugin()));
    EXPECT_FALSE(fs::exists(Folder()));
    EXPECT_EQ(host.captures, 0);
}

TEST_F(PluginBuild, UnwritablePluginFileIsError6) {
    SetText(project->outputFolder, Target().string() + "/missing");
    ASSERT_TRUE(Run());
    const std::string plugin = Target().string() + "/missing/Synth.dll";
    EXPECT_EQ(kept.lines,
              (Lines{">ERROR 6:- Can not write to " + plugin + " ", ">Check folder permissions. ",
                     " ", ">Build Process Failed ", "1  Error(s) "}));
}

TEST_F(PluginBuild, MissingSkinFolderIsSevenError7sWithEmptyFilesLeft) {
    fs::remove_all(App() / "Skins" / "Default");
    ASSERT_TRUE(Run());
    EXPECT_EQ(kept.log.errorCount, 7);
    EXPECT_EQ(ReadFile(Plugin()), templateBytes + EncodeManifest(*project, 384, 261));
    Lines errors;
    for (const std::string& line : kept.lines)
        if (line.rfind(">ERROR", 0) == 0) errors.push_back(line);
    Lines expected;
    for (const char* name : kPluginSkinBitmaps) {
        expected.push_back(">ERROR 7: Can not read file " + SkinFolder() + name + " ");
        EXPECT_TRUE(fs::exists(Folder() + "/" + name));
        EXPECT_EQ(fs::file_size(Folder() + "/" + name), 0u);
    }
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(Lines(kept.lines.end() - 3, kept.lines.end()),
              (Lines{" ", ">Build Process Failed ", "7  Error(s) "}));
    EXPECT_FALSE(fs::exists(Folder() + "/Background.bmp"));
}

TEST_F(PluginBuild, UnwritableBitmapDestinationsAreError8) {
    WriteFile(Folder(), "a file where the plugin folder should be");
    ASSERT_TRUE(Run());
    // Seven bitmaps and the three files of the plugin's description.
    EXPECT_EQ(kept.log.errorCount, 10);
    const auto first = std::find(kept.lines.begin(), kept.lines.end(),
                                 ">ERROR 8: Can not open file " + Folder() + "/Knob_0to10.bmp ");
    ASSERT_NE(first, kept.lines.end());
    EXPECT_EQ(*(first + 1), ">Check folder permissions. ");
    EXPECT_NE(std::find(kept.lines.begin(), kept.lines.end(),
                        ">ERROR 8: Can not open file " + Folder() + "/manifest.ttl "),
              kept.lines.end());
    EXPECT_EQ(kept.lines.back(), "10  Error(s) ");
}

TEST_F(PluginBuild, ChecksAreShownInOrderAndRefuseWithoutLogging) {
    fields = {"", "", "", ""};
    EXPECT_FALSE(Run());
    EXPECT_EQ(host.errors, (Lines{"Plugin must have a name.", "Plugin must have an author.",
                                  "Plugin must have a version number.",
                                  "Plugin must have a unique 4 character ID."}));
    EXPECT_TRUE(kept.lines.empty());
    EXPECT_FALSE(fs::exists(Plugin()));

    host.errors.clear();
    SetText(project->outputFolder, "/t");
    fields = {"Synth", "A Writer", "1000", "DfLt"};
    EXPECT_FALSE(Run());
    EXPECT_EQ(host.errors, Lines{"Invalid Plugin Directory.\nSee:- Setup -> Preferences."});
    EXPECT_TRUE(kept.lines.empty());
}

// Names become files, URIs and host labels: they are cut at character boundaries (a
// UTF-8 name counts its characters), and names that would land elsewhere or that a host
// cannot read back are refused before anything is written.
TEST_F(PluginBuild, IdentityFieldsAreCutAtCharactersOrRefused) {
    const std::string u = "\xC3\x9C"; // Ü
    const auto times = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    const struct {
        BuildFields typed;
        Lines refused;
        BuildFields taken; // when not refused
    } cases[] = {
        {{"../escape", "", "1000", "DfLt"},
         {"Plugin must have an author.", "Plugin name must not contain '/'."},
         {}},
        {{"..", "A Writer", "1000", "DfLt"}, {"Plugin name must not be '.' or '..'."}, {}},
        {{"Tab\there", "A Writer", "1000", "DfLt"},
         {"Plugin name must not contain control characters."},
         {}},
        {{"Synth", "A Writer", "1000", "D\x7F"},
         {"Plugin ID must not contain control characters."},
         {}},
        // A backslash is an ordinary character of a file name here.
        {{"My\\Synth", "A Writer", "1000", "DfLt"}, {}, {"My\\Synth", "A Writer", "1000", "DfLt"}},
        {{std::string(30, 'n'), std::string(30, 'a'), "123456789012345678901234567", "ABCDEF"},
         {},
         {std::string(23, 'n'), std::string(23, 'a'), "12345678901234567890123", "ABCD"}},
        {{times(u, 12), times(u, 30), times("\xE2\x82\xAC", 24),
          "\xC3\x84\xC3\x96\xC3\x9C\xC3\x9FX"},
         {},
         {times(u, 12), times(u, 23), times("\xE2\x82\xAC", 23),
          "\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F"}},
        // Not UTF-8: each byte is a character.
        {{std::string(30, '\xDC'), "A Writer", "1000", "DfLt"},
         {},
         {std::string(23, '\xDC'), "A Writer", "1000", "DfLt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.name);
        host.errors.clear();
        kept.lines.clear();
        fields = c.typed;
        EXPECT_EQ(Run(), c.refused.empty());
        EXPECT_EQ(host.errors, c.refused);
        if (!c.refused.empty()) {
            EXPECT_TRUE(kept.lines.empty());
            continue;
        }
        EXPECT_EQ(GetText(project->pluginName), c.taken.name);
        EXPECT_EQ(GetText(project->author), c.taken.author);
        EXPECT_EQ(GetText(project->versionText), c.taken.version);
        EXPECT_EQ(GetText(project->uniqueId), c.taken.id);
        EXPECT_TRUE(fs::exists(Target() / (c.taken.name + ".dll")));
    }
    EXPECT_FALSE(fs::exists(scratch.path() / "escape.dll"));
    EXPECT_FALSE(fs::exists(Target() / "Tab\there.dll"));
}

TEST_F(PluginBuild, AnEmptyProjectHasNothingToSave) {
    auto empty = test::MakeProject();
    SetText(empty->appFolder, App().string());
    SetText(empty->outputFolder, Target().string());
    fs::create_directories(Folder());
    WriteFile(Folder() + "/Background.bmp", "earlier build");
    ASSERT_EQ(RunBuild(*empty, fields, PanelSize{384, 261}, kept.log, host),
              BuildOutcome::NothingToSave);
    EXPECT_EQ(host.warnings, Lines{"Nothing to save"});
    EXPECT_FALSE(fs::exists(Plugin()));
    EXPECT_EQ(kept.lines, (Lines{" ", "** Build Process Finished ** "}));
    // The earlier build's background is not replaced by a picture of nothing.
    EXPECT_EQ(ReadFile(Folder() + "/Background.bmp"), "earlier build");
    EXPECT_EQ(host.captures, 0);
}

TEST_F(PluginBuild, TargetPlatformChoosesTheTemplateAndTheLinkingLine) {
    project->targetPlatform = kTarget32Bit;
    ASSERT_TRUE(Run());
    EXPECT_EQ(ReadFile(Plugin()).substr(0, 10), "THIRTY-TWO");
    EXPECT_NE(std::find(kept.lines.begin(), kept.lines.end(), ">Linking Object Library 32Bit "),
              kept.lines.end());

    kept.lines.clear();
    project->targetPlatform = 7;
    ASSERT_TRUE(Run());
    EXPECT_EQ(ReadFile(Plugin()).substr(0, templateBytes.size()), templateBytes);
    for (const std::string& line : kept.lines) EXPECT_EQ(line.find(">Linking"), std::string::npos);
    EXPECT_EQ(kept.lines.back(), "** Build Process Finished ** ");
}

TEST_F(PluginBuild, TheCaptureSeesTheCallersFlagsAndEveryBuildRestoresThem) {
    SetRenderOnBackground(*project, 0);
    int flagSeen = -1;
    host.onCapture = [&] { flagSeen = project->slots[param].renderOnBackground; };
    ASSERT_TRUE(Run());
    EXPECT_EQ(flagSeen, 0);
    for (const ModuleSlot& s : project->slots) ASSERT_EQ(s.renderOnBackground, 1);
}

// A host that has the plugin loaded keeps the files it opened: a rebuild puts new files in
// their place instead of rewriting them, and a build that stops half-way leaves the
// previous plugin as it was.
TEST_F(PluginBuild, ARebuildReplacesEveryFileAndAFailedOneLeavesThemAsTheyWere) {
    ASSERT_TRUE(Run());
    std::vector<std::string> files = {Plugin(), Folder() + "/Background.bmp",
                                      Folder() + "/manifest.ttl", Folder() + "/plugin.ttl",
                                      Folder() + "/presets.ttl"};
    for (const char* name : kPluginSkinBitmaps) files.push_back(Folder() + "/" + name);
    std::vector<std::string> before;
    std::vector<int> open;
    for (const std::string& f : files) {
        before.push_back(ReadFile(f));
        open.push_back(::open(f.c_str(), O_RDONLY));
    }
    WriteFile(App() / "Resources" / "64Bit.dat", "NEW TEMPLATE");
    for (const char* name : kSkinFilesOnDisk)
        WriteFile(App() / "Skins" / "Default" / name, std::string("new skin:") + name);
    fields.id = "NeW1";
    host.tint = 0x00FFFFFFu;
    ASSERT_TRUE(Run());
    EXPECT_EQ(kept.log.errorCount, 0);
    std::vector<std::string> rebuilt;
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        std::string seen(before[i].size() + 1, '\0');
        const ssize_t n = pread(open[i], seen.data(), seen.size(), 0);
        close(open[i]);
        EXPECT_EQ(seen.substr(0, n > 0 ? static_cast<std::size_t>(n) : 0), before[i]);
        rebuilt.push_back(ReadFile(files[i]));
        EXPECT_NE(rebuilt[i], before[i]);
    }

    // The disk fills up while the plugin file is written.
    WriteFile(App() / "Resources" / "64Bit.dat", std::string(4000, 'T'));
    {
        const test::FileSizeLimit fullDisk(3000);
        ASSERT_TRUE(Run());
    }
    EXPECT_EQ(kept.log.errorCount, 1);
    for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(ReadFile(files[i]), rebuilt[i]);
    EXPECT_EQ(std::distance(fs::directory_iterator(Target()), {}), 2); // no temporary file
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), {}), 11);
}

TEST(Bmp24, RowsArePaddedToFourBytesAndTheSizeFieldIsOptional) {
    Bitmap image;
    image.width = 3;
    image.height = 2;
    image.pixels = {0xFF010203, 0xFF040506, 0xFF070809, 0x80A0B0C0, 0xFFD0E0F0, 0xFF112233};
    EXPECT_EQ(Bmp24RowBytes(3), 12);
    EXPECT_EQ(Bmp24RowBytes(384), 1152);
    const std::string pad(3, '\0');
    const std::string rows = std::string("\xC0\xB0\xA0\xF0\xE0\xD0\x33\x22\x11", 9) + pad +
                             std::string("\x03\x02\x01\x06\x05\x04\x09\x08\x07", 9) + pad;
    const std::string header = std::string("BM") + Word(54 + 24) + Word(0) + Word(54) + Word(40) +
                               Word(3) + Word(2) + Half(1) + Half(24) + Word(0) + Word(24) +
                               Word(0) + Word(0) + Word(0) + Word(0);
    EXPECT_EQ(EncodeBmp24(image, true), header + rows);
    EXPECT_EQ(EncodeBmp24(image, false).substr(2, 4), Word(0));
}

TEST(SkinLookup, IgnoresLetterCaseButPrefersAnExactName) {
    test::ScratchFolder dir;
    WriteFile(dir.path() / "LED_Red.bmp", "upper");
    const std::string folder = dir.str() + "/";
    EXPECT_EQ(FindFileIgnoringCase(folder, "led_red.bmp"), folder + "LED_Red.bmp");
    WriteFile(dir.path() / "led_red.bmp", "lower");
    EXPECT_EQ(FindFileIgnoringCase(folder, "led_red.bmp"), folder + "led_red.bmp");
    EXPECT_EQ(FindFileIgnoringCase(folder, "none.bmp"), folder + "none.bmp");
}

} // namespace
} // namespace tw
