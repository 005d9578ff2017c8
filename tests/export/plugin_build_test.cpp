// Building a plugin: the manifest's bytes, the files, the log, every refusal and failure.
#include "export/manifest.h"
#include "export/plugin_build.h"
#include "model/text.h"
#include "support/builders.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::WriteFileText;

// The skin as a case-sensitive disk holds it: the build asks for some files in other
// letter cases, and the last one also in its exact case, which must win.
const char* const kSkinFilesOnDisk[] = {"Knob_0to10.bmp", "Knob_0to100.bmp", "Knob_Plus_Minus.bmp",
                                        "Knob_1234.bmp",  "Knob_Wave.bmp",   "Switch_OnOff.bmp",
                                        "LED_Red.bmp",    "led_red.bmp"};
constexpr const char* kPlugin = "target/Synth.dll";
constexpr const char* kFolder = "target/Synth/";

// In a scratch folder: "app" with a template and a skin, "target", a Parameter (slot 2) into
// the Output (slot 0), and a host recording its boxes and showing a one-colour panel.
struct Rig : BuildHost {
    const fs::path home = fs::current_path();
    test::TempDir dir;
    const std::string templateBytes = std::string("TEMPLATE\0\x01\x02", 11);
    std::unique_ptr<Project> project = test::MakeProject();
    int32_t param = -1;
    BuildFields fields{"Synth", "A Writer", "1000", "DfLt"};
    PanelSize panel;
    std::string text; // the log, a line each, without the space that ends every line
    BuildLog log{[this](std::string_view line) {
        EXPECT_TRUE(line.ends_with(' ')) << line;
        text.append(line.substr(0, line.size() - 1)).append("\n");
    }};
    std::string boxes; // the message boxes' texts, joined by '|'
    int flagSeen = -1; // the Parameter's flag as the panel was captured

    Rig() {
        fs::current_path(dir.Path());
        for (const char* folder : {"app/Resources", "app/Skins/Default", "target"})
            fs::create_directories(folder);
        WriteFileText("app/Resources/64Bit.dat", templateBytes);
        WriteFileText("app/Resources/64BitUI.dat", "WINDOW");
        WriteSkin("skin");
        SetText(project->appFolder, "app");
        SetText(project->outputFolder, "target");
        const int32_t out = test::AddModule(*project, kTypeOutput);
        const int32_t gone = test::AddModule(*project, kTypeOscillator);
        param = test::AddModule(*project, kTypeParameter);
        project->DeleteModule(gone);
        EXPECT_TRUE(test::Wire(*project, param, 0, out, 0));
    }
    ~Rig() override { fs::current_path(home); }
    void WriteSkin(const std::string& bytes) const {
        for (const char* name : kSkinFilesOnDisk)
            WriteFileText("app/Skins/Default/" + std::string(name), bytes);
    }
    void ShowError(std::string_view t) override { (boxes += boxes.empty() ? "" : "|") += t; }
    void ShowWarning(std::string_view t) override { ShowError(t); }
    void Pause(int) override {}
    Bitmap CapturePanel(int32_t w, int32_t h) override {
        flagSeen = project->slots[param].renderOnBackground;
        return {w, h, std::vector<uint32_t>(static_cast<std::size_t>(w * h), 0xFF102030u)};
    }
    bool Run() { return RunBuild(*project, fields, panel, log, *this) == BuildOutcome::Ran; }
};

// The plugin is the template and the manifest: real slot numbers (a deleted module leaves a
// gap), input 0 a cable like any other, verbatim texts. The panel is captured with the
// caller's flags, restored afterwards, and kept in 24 bits, rows padded, size field 0.
TEST(PluginBuild, WritesThePluginAndItsFolderAndARebuildReplacesThemWhole) {
    Rig r;
    r.panel = {383, 261};
    r.fields.author = "100% %s";
    ModuleSlot& s = r.project->slots[r.param];
    s.patchValues[0] = 37;
    s.imageType = 1;
    s.panelX = 20;
    s.panelY = 30;
    s.controlSize = 40;
    s.mouseResponse = 4;
    s.spareValues[0] = 9;
    SetText(s.name, "Level %d");
    SetRenderOnBackground(*r.project, 0);
    ASSERT_TRUE(r.Run());
    EXPECT_EQ(r.text, ReadFileText(TW_EXPORT_GOLDEN_DIR "/build_log.txt"));
    test::Bytes b;
    b.Text("HED#").Text(std::string(32, '-')).Str("Tonewright").Str("Synth").Str("100% %s");
    b.Str("1000").Str("DfLt").Text("MOD#").I32(2).I32(kTypeOutput).I32(0);
    b.I32(kTypeParameter).I32(2).Text("PLG#").I32(1).I32(0).I32(32).Text("PAT#").I32(128).I32(1);
    for (int p = 0; p < 128; ++p)
        b.Str("Patch " + std::to_string(p)).I32(2).I32(p ? 0 : 37).I32(100);
    b.Text("GUI#").I32(2).I32(383).I32(261).Text("PAR#").I32(1).I32(2).I32(9).I32(kTypeParameter);
    b.I32(1).I32(20).I32(30).I32(40).I32(4).Str("Level %d").I32(1).I32(0);
    EXPECT_EQ(ReadFileText(kPlugin),
              r.templateBytes + b.Text("PAX#").I32(1).I32(2).I32(37).String());
    // A controller bound to a control adds a chunk of its own after all the others.
    ASSERT_TRUE(r.project->BindMidiCc(r.param, 74));
    EXPECT_EQ(EncodeManifest(*r.project, 383, 261), b.Text("MCC#").I32(1).I32(2).I32(74).String());
    // Voices or another channel add one more, after that.
    r.project->voiceCount = 8;
    r.project->midiChannel = kAllChannels;
    EXPECT_EQ(EncodeManifest(*r.project, 383, 261), b.Text("VOX#").I32s({3, 8, 0, 2}).String());
    r.project->ResetInstrument();
    r.project->ForgetMidiCc(r.param);
    EXPECT_EQ(r.flagSeen, 0);
    for (const ModuleSlot& s : r.project->slots) ASSERT_EQ(s.renderOnBackground, 1);
    // The window template beside the description, which tells hosts of it and that the
    // background was captured without the controls.
    EXPECT_EQ(ReadFileText("target/Synth/Synth_ui.so"), "WINDOW");
    const std::string described = ReadFileText("target/Synth/manifest.ttl");
    EXPECT_NE(described.find("ui:binary <Synth_ui.so>"), std::string::npos) << described;
    EXPECT_NE(described.find("backgroundShowsControls> false"), std::string::npos);

    const std::string bmp = ReadFileText("target/Synth/Background.bmp");
    constexpr int32_t kRow = 1152; // 383 * 3 = 1149 bytes, padded
    ASSERT_EQ(bmp.size(), 54u + kRow * 261);
    test::Bytes header;
    header.Text("BM").I32s({54 + kRow * 261, 0, 54, 40, 383, 261}).U16(1).U16(24).I32(0);
    EXPECT_EQ(bmp.substr(0, 54), header.I32(kRow * 261).Zeros(16).String());
    EXPECT_EQ(bmp.substr(54, 6), "\x30\x20\x10\x30\x20\x10");
    EXPECT_EQ(bmp.substr(54 + 1149, 3), std::string(3, '\0'));

    // A host that has the plugin loaded keeps the files it opened: a rebuild puts new files
    // in their place instead of rewriting them, and a build that stops half-way or has
    // nothing to build leaves the previous plugin as it was.
    const auto files = [] {
        std::map<std::string, std::string> contents;
        for (const auto& e : fs::recursive_directory_iterator("target"))
            if (e.is_regular_file()) contents[e.path().string()] = ReadFileText(e.path());
        return contents;
    };
    const auto before = files();
    ASSERT_EQ(before.size(), 13u);
    std::map<std::string, int> open;
    for (const auto& [path, bytes] : before) open[path] = ::open(path.c_str(), O_RDONLY);
    WriteFileText("app/Resources/64Bit.dat", "NEW TEMPLATE");
    WriteFileText("app/Resources/64BitUI.dat", "NEW WINDOW");
    r.WriteSkin("new skin");
    r.fields.id = "NeW1";
    r.panel = {200, 100};
    ASSERT_TRUE(r.Run());
    auto rebuilt = files();
    for (const auto& [path, bytes] : before) {
        EXPECT_EQ(ReadFileText("/proc/self/fd/" + std::to_string(open[path])), bytes) << path;
        close(open[path]);
        EXPECT_NE(rebuilt[path], bytes) << path;
    }

    // The disk fills up while the plugin file is written: no file changes, none is added.
    WriteFileText("app/Resources/64Bit.dat", std::string(4000, 'T'));
    {
        const test::FileSizeLimit fullDisk(3000);
        ASSERT_TRUE(r.Run());
    }
    EXPECT_EQ(r.log.errorCount, 1);
    EXPECT_EQ(files(), rebuilt);
    r.project->DeleteModule(0);
    r.project->DeleteModule(r.param);
    EXPECT_EQ(RunBuild(*r.project, r.fields, r.panel, r.log, r), BuildOutcome::NothingToSave);
    EXPECT_EQ(r.boxes, "Nothing to save");
    EXPECT_EQ(files(), rebuilt);
}

// Errors 5 to 9 are counted and logged; a failed build makes no background and ends its
// log with the count, and leaves no plugin file without its whole manifest.
TEST(PluginBuild, FailuresAreCountedAndLogged) {
    const struct {
        void (*prepare)(Rig&);
        const char* firstError; // the first error's lines
        int errors;
        bool plugin; // whether the plugin file is there afterwards
        int bitmaps; // the plugin folder's bitmaps: -1 none, 0 empty files, 1 copies
        rlim_t diskLimit = 0;
    } cases[] = {
        {[](Rig&) { fs::remove("app/Resources/64Bit.dat"); },
         ">ERROR 5:- Can not read from app/Resources/64Bit.dat\n\n", 1, false, -1},
        {[](Rig& r) { SetText(r.project->outputFolder, "target/x"); },
         ">ERROR 6:- Can not write to target/x/Synth.dll\n>Check folder permissions.\n\n", 1, false,
         -1},
        {[](Rig&) { fs::remove_all("app/Skins"); },
         ">ERROR 7: Can not read file app/Skins/Default/Knob_0to10.bmp\n", 7, true, 0},
        {[](Rig&) { WriteFileText("target/Synth", "a file"); },
         ">ERROR 8: Can not open file target/Synth/Knob_0to10.bmp\n>Check folder permissions.\n",
         11, true, -1},
        // Past 1000 bytes: the plugin file, manifest.ttl with its window and plugin.ttl (the
        // rig has no preset to write).
        {[](Rig&) {}, ">ERROR 9: Can not open file to save target/Synth.dll\n", 3, false, 1, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstError);
        Rig r;
        c.prepare(r);
        {
            const test::FileSizeLimit disk(c.diskLimit != 0 ? c.diskLimit : RLIM_INFINITY);
            ASSERT_TRUE(r.Run());
        }
        const std::string& text = r.text;
        EXPECT_EQ(text.find(c.firstError), text.find(">ERROR")) << text;
        EXPECT_EQ(r.log.errorCount, c.errors);
        EXPECT_TRUE(text.ends_with("\n\n>Build Process Failed\n" + std::to_string(c.errors) +
                                   "  Error(s)\n"))
            << text;
        EXPECT_EQ(fs::exists(kPlugin), c.plugin);
        for (const char* name : kPluginSkinBitmaps) {
            const fs::path copy = kFolder + std::string(name);
            EXPECT_EQ(fs::exists(copy) ? fs::file_size(copy) > 0 : -1, c.bitmaps) << name;
        }
        EXPECT_FALSE(fs::exists("target/Synth/Background.bmp"));
    }
}

// Names become files, URIs and labels: cut at characters (UTF-8) or bytes (other text);
// empty fields and names a host cannot read back or that land elsewhere are refused.
TEST(PluginBuild, IdentityFieldsAreCutAtCharactersOrRefused) {
    const auto times = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    const std::string u = "\xC3\x9C", euro = "\xE2\x82\xAC", umlauts = "\xC3\x84\xC3\x96\xC3\x9C";
    const struct {
        BuildFields typed;
        const char* refused;
        BuildFields taken = {};
    } cases[] = {
        {{"", "", "", ""},
         "Plugin must have a name.|Plugin must have an author.|Plugin must have a version "
         "number.|Plugin must have a unique 4 character ID."},
        {{"../escape", "", "1", "DfLt"},
         "Plugin must have an author.|Plugin name must not contain '/'."},
        {{"..", "A", "1", "DfLt"}, "Plugin name must not be '.' or '..'."},
        {{"Tab\there", "A", "1", "DfLt"}, "Plugin name must not contain control characters."},
        {{"S", "A", "1", "D\x7F"}, "Plugin ID must not contain control characters."},
        // A backslash is an ordinary character of a file name here.
        {{"My\\Synth", "A", "1", "DfLt"}, "", {"My\\Synth", "A", "1", "DfLt"}},
        {{times(u, 12), times(u, 30), times(euro, 24), umlauts + "\xC3\x9FX"},
         "",
         {times(u, 12), times(u, 23), times(euro, 23), umlauts + "\xC3\x9F"}},
        {{times("\xDC", 30), "A", "1", "DfLt"}, "", {times("\xDC", 23), "A", "1", "DfLt"}},
    };
    Rig r;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.name);
        r.boxes.clear();
        r.fields = c.typed;
        EXPECT_EQ(r.Run(), *c.refused == '\0');
        EXPECT_EQ(r.boxes, c.refused);
        if (!r.boxes.empty()) continue;
        test::Bytes id;
        id.Str(c.taken.name).Str(c.taken.author).Str(c.taken.version).Str(c.taken.id);
        EXPECT_NE(ReadFileText("target/" + c.taken.name + ".dll").find(id.String()),
                  std::string::npos);
    }
}

} // namespace
} // namespace tw
