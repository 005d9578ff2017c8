// Saving and opening ".tw1" project files: the exact bytes, round trips, the version
// check, and files that are damaged or hostile.
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/fake_engine.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tw {
namespace {

using test::Bytes;

constexpr const char* kDashes = "--------------";

struct Fixture {
    std::unique_ptr<Project> project = test::MakeProject();
    HeadlessPlatform platform;
    test::FakeEngine engine;
    test::TempDir dir;

    Fixture() {
        FullReset(*project, engine);
        ApplyNewProjectDefaults(*project, platform);
        platform.ClearRecord();
    }
    std::string Save(const char* name = "p.tw1") {
        const std::string path = dir.File(name);
        EXPECT_TRUE(SaveProject(*project, platform, path));
        return path;
    }
};

// Slots of the rich project.
constexpr int32_t kOsc = 0;
constexpr int32_t kOut = 1;
constexpr int32_t kPar = 2;

// Every chunk non-empty: three modules, two cables, a Parameter with patch values, a
// polygon, a text, a comment, a hidden window, and "%" in the texts.
void BuildRich(Project& p, HeadlessPlatform& platform) {
    p.targetPlatform = kTarget32Bit;
    p.viewOriginX = -40;
    p.viewOriginY = 12;
    p.cableStyle = 2;
    SetText(p.pluginName, "Big 100% Synth");
    SetText(p.author, "Ann");
    SetText(p.versionText, "1203");
    SetText(p.uniqueId, "Rich");
    ASSERT_EQ(test::AddModule(p, kTypeOscillator, 100, 100), kOsc);
    ASSERT_EQ(test::AddModule(p, kTypeOutput, 300, 100), kOut);
    ASSERT_EQ(test::AddModule(p, kTypeParameter, 100, 40), kPar);
    ASSERT_TRUE(test::Wire(p, kPar, 0, kOsc, 1));
    ASSERT_TRUE(test::Wire(p, kOsc, 0, kOut, 1));
    SetText(p.slots[kOsc].name, "Lead %s osc");
    ModuleSlot& m = p.slots[kPar];
    m.imageType = 2;
    m.spareValues[0] = 7;
    m.panelX = 33;
    m.panelY = -4;
    m.mouseResponse = 4;
    m.steps = 10;
    m.showLabel = 0;
    m.labelColour[0] = 1;
    m.labelColour[1] = 2;
    m.labelColour[2] = 200;
    SetText(m.name, "Cut%off");
    for (int32_t patch = 0; patch < kPatchCount; ++patch) m.patchValues[patch] = patch % 11;
    SetText(p.patchNames[5], "Bright %d");
    const int32_t g = p.InsertPolygon(10, 20);
    p.polygons[g].solid = 1;
    p.polygons[g].red = 200;
    const int32_t t = p.InsertText(5, 6);
    SetText(p.texts[t].text, "Hello 100%");
    p.texts[t].size = 12;
    p.texts[t].alpha = 200;
    const int32_t c = p.InsertComment(40, 80);
    SetText(p.comments[c].text, "Remember 5% more");
    p.comments[c].showBorder = 0;
    platform.MoveEditorWindow(EditorWindow::GuiEditor, {12, 34, 410, 310});
    platform.ShowEditorWindow(EditorWindow::MidiMonitor, false);
}

Bytes Header(int32_t target, int32_t ox, int32_t oy, uint8_t zoom, uint8_t style, const char* name,
             const char* author, const char* version, const char* id) {
    Bytes b;
    b.Tag("HED#").I32(414).I32(target).I32(ox).I32(oy).U8(zoom).U8(style).Text(kDashes);
    b.Str("Tonewright").Str(name).Str(author).Str(version).Str(id);
    return b;
}

// The default layout on the headless 1920 x 1080 main window.
Bytes DefaultWindows() {
    Bytes b;
    b.Tag("WIN#").I32(4);
    b.I32(1).I32(0).I32(0).I32(1904).I32(952);
    b.I32(1).I32(450).I32(220).I32(400).I32(300);
    b.I32(1).I32(250).I32(120).I32(719).I32(65);
    b.I32(1).I32(250).I32(220).I32(156).I32(65);
    return b;
}

std::string PatchName(int32_t p) {
    return "Patch " + std::to_string(p);
}

TEST(ProjectFileSave, AnEmptyNewProjectWritesEveryChunkWithZeroCounts) {
    Fixture f;
    Bytes want = Header(2464, 0, 0, 4, 0, "Synth", "A Writer", "1000", "DfLt");
    want.Tag("SKN#").Str("Default");
    want.Tag("MOD#").I32(0);
    want.Tag("PLG#").I32(0);
    want.Tag("PAR#").I32(0);
    want.Tag("GUI#").I32(2).I32(400).I32(300);
    want.Tag("GRA#").I32(0).I32(0);
    want.Tag("PST#").I32(0);
    for (int32_t p = 0; p < 128; ++p) want.Str(PatchName(p));
    want.Append(DefaultWindows());
    want.Tag("COM#").I32(0);
    EXPECT_EQ(test::ReadFileBytes(f.Save()), want.data);
}

TEST(ProjectFileSave, ARichProjectWritesEveryFieldInLayoutOrder) {
    Fixture f;
    Project& p = *f.project;
    BuildRich(p, f.platform);

    Bytes want = Header(2432, -40, 12, 4, 2, "Big 100% Synth", "Ann", "1203", "Rich");
    want.Tag("SKN#").Str("Default");
    want.Tag("MOD#").I32(3);
    for (auto [slot, type, name] :
         {std::tuple{kOsc, 29, "Lead %s osc"}, std::tuple{kOut, 1, "Output"},
          std::tuple{kPar, 5, "Cut%off"}}) {
        want.I32(slot)
            .I32(type)
            .I32(p.slots[slot].anchorX)
            .I32(p.slots[slot].topY)
            .Str(name)
            .I32(0);
    }
    // Input 1 of the oscillator (port 1) from the Parameter's output (port 32); input 1 of
    // the Output (port 17) from the oscillator's output (port 0).
    want.Tag("PLG#").I32(2).I32(1).I32(32).I32(17).I32(0);
    want.Tag("PAR#").I32(1).I32(kPar).I32(2).I32(7).I32(33).I32(-4).I32(4).I32(0).I32(10).I32(0);
    want.U8(1).U8(2).U8(200).U8(0).Str("Cut%off").Zeros(128);
    want.Tag("GUI#").I32(2).I32(410).I32(310);
    want.Tag("GRA#").I32(1);
    want.I32(10).I32(20).I32(110).I32(70).I32(3).I32(255).I32(16).I32(200).I32(128).I32(128).I32(1);
    want.Zeros(20);
    want.I32(1)
        .Str("Hello 100%")
        .I32(5)
        .I32(6)
        .I32(12)
        .I32(128)
        .I32(128)
        .I32(128)
        .I32(200)
        .Zeros(16);
    want.Tag("PST#").I32(1);
    for (int32_t patch = 0; patch < 128; ++patch) {
        want.Str(patch == 5 ? "Bright %d" : PatchName(patch)).I32(kPar).I32(patch % 11);
    }
    want.Tag("WIN#").I32(4);
    want.I32(1).I32(0).I32(0).I32(1904).I32(952);
    want.I32(1).I32(12).I32(34).I32(410).I32(310);
    want.I32(1).I32(250).I32(120).I32(719).I32(65);
    want.I32(0).I32(250).I32(220).I32(156).I32(65);
    want.Tag("COM#").I32(1).I32(1).I32(0).I32(40).I32(80).Str("Remember 5% more");

    EXPECT_EQ(test::ReadFileBytes(f.Save()), want.data);
}

TEST(ProjectFileRoundTrip, EverythingSavedComesBackAndSavesToTheSameBytes) {
    Fixture f;
    BuildRich(*f.project, f.platform);
    const std::string path = f.Save();

    Fixture g;
    ASSERT_EQ(OpenProject(*g.project, g.engine, g.platform, path), LoadResult::Loaded);
    const Project& p = *g.project;
    EXPECT_EQ(p.fileVersion, 414);
    EXPECT_EQ(GetText(p.pluginName), "Big 100% Synth");
    EXPECT_EQ(p.targetPlatform, kTarget32Bit);
    EXPECT_EQ(p.viewOriginX, -40);
    EXPECT_EQ(p.cableStyle, 2);
    EXPECT_EQ(p.moduleCount, 3);
    EXPECT_EQ(p.slots[kOsc].type, kTypeOscillator);
    EXPECT_EQ(GetText(p.slots[kOsc].name), "Lead %s osc");
    EXPECT_STREQ(p.slots[kOsc].typeName, "Oscillator");
    EXPECT_EQ(p.inputs[PortIndex(kOsc, 1)].kind, kPortControl); // the catalogue rebuilt the ports
    EXPECT_EQ(p.slots[kPar].patchValues[7], 7);
    EXPECT_EQ(p.slots[kPar].showLabel, 0);
    EXPECT_FLOAT_EQ(p.slots[kPar].value, 0.0f); // patch 0 is current, value step 0
    EXPECT_EQ(GetText(p.patchNames[5]), "Bright %d");
    EXPECT_EQ(GetText(p.texts[0].text), "Hello 100%");
    EXPECT_EQ(GetText(p.comments[0].text), "Remember 5% more");
    EXPECT_EQ(p.activeCount, 3);
    EXPECT_EQ(p.routes[PortIndex(kOut, 1)], PortIndex(kOsc, 0));
    EXPECT_EQ(GetText(p.projectPath), path);
    EXPECT_EQ(g.platform.mainTitle, "Tonewright - " + path);
    EXPECT_EQ(g.platform.patchName, "Patch 0");
    EXPECT_EQ(g.platform.zoomShown, 4);
    EXPECT_FALSE(g.platform.windows[3].visible);

    EXPECT_EQ(EncodeProject(p, ReadSavedLayout(g.platform)), test::ReadFileBytes(path));
}

TEST(ProjectFileRoundTrip, ACableComesBackAsBothHalves) {
    Fixture f;
    BuildRich(*f.project, f.platform);
    Fixture g;
    ASSERT_EQ(OpenProject(*g.project, g.engine, g.platform, f.Save()), LoadResult::Loaded);
    const int32_t in = PortIndex(kOut, 1), out = PortIndex(kOsc, 0);
    EXPECT_EQ(g.project->outputs[in].link, out);
    EXPECT_EQ(g.project->inputs[out].link, in);
}

// A file with just a header and the given chunks.
Bytes FileWith(const Bytes& chunks, int32_t version = 414, uint8_t zoom = 4) {
    Bytes b;
    b.Tag("HED#").I32(version).I32(2464).I32(0).I32(0).U8(zoom).U8(0).Text(kDashes);
    b.Str("Tonewright").Str("S").Str("A").Str("1").Str("Abcd");
    return b.Append(chunks);
}

LoadResult Load(Fixture& f, const Bytes& file) {
    return OpenProjectBytes(*f.project, f.engine, f.platform, file.data, "mem.tw1");
}

TEST(ProjectFileOpen, AModuleOffTheGridIsSnappedToTheLoadedZoomsGrid) {
    Fixture f;
    Bytes mod;
    mod.Tag("MOD#").I32(1).I32(9).I32(kTypeInverter).I32(37).I32(53).Str("Inv").I32(0);
    ASSERT_EQ(Load(f, FileWith(mod)), LoadResult::Loaded);
    EXPECT_EQ(f.project->slots[9].anchorX, 20); // grid of 20 pixels at zoom 4
    EXPECT_EQ(f.project->slots[9].topY, 40);

    Fixture g;
    ASSERT_EQ(Load(g, FileWith(mod, 414, 2)), LoadResult::Loaded); // grid of 12 at zoom 2
    EXPECT_EQ(g.project->slots[9].anchorX, 36);
    EXPECT_EQ(g.project->slots[9].topY, 48);
}

TEST(ProjectFileOpen, ANewerVersionIsRefusedAndLeavesTheProjectAsItWas) {
    Fixture f;
    BuildRich(*f.project, f.platform);
    std::vector<uint8_t> bytes = test::ReadFileBytes(f.Save());
    bytes[4] = 415 & 0xFF; // version 415, little-endian
    bytes[5] = 415 >> 8;
    const std::vector<uint8_t> before = EncodeProject(*f.project, ReadSavedLayout(f.platform));
    f.platform.ClearRecord();

    EXPECT_EQ(OpenProjectBytes(*f.project, f.engine, f.platform, bytes, "new.tw1"),
              LoadResult::NewerVersion);
    EXPECT_EQ(
        f.platform.MessageTexts(),
        std::vector<std::string>{"Project made with a newer version of Tonewright\nLoad aborted"});
    EXPECT_EQ(f.platform.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(f.project->fileVersion, 415);
    EXPECT_EQ(f.engine.Count("reset"), 1); // only the fixture's own reset
    EXPECT_EQ(EncodeProject(*f.project, ReadSavedLayout(f.platform)), before);
}

TEST(ProjectFileOpen, AMissingFileLeavesAProjectWithWorkInItAlone) {
    Fixture f;
    ASSERT_EQ(test::AddModule(*f.project, kTypeNoise), 0);
    const std::string missing = f.dir.File("gone.tw1");
    EXPECT_EQ(OpenProject(*f.project, f.engine, f.platform, missing), LoadResult::CannotOpen);
    EXPECT_EQ(f.platform.MessageTexts(),
              std::vector<std::string>{"Unable To Open Project\n" + missing});
    EXPECT_EQ(f.project->slots[0].type, kTypeNoise);
    EXPECT_EQ(f.platform.propertiesRefreshes, 1);
}

TEST(ProjectFileOpen, AMissingFileGivesAnEmptyProjectItsDefaults) {
    Fixture f;
    SetText(f.project->pluginName, "Leftover");
    EXPECT_EQ(OpenProject(*f.project, f.engine, f.platform, f.dir.File("gone.tw1")),
              LoadResult::CannotOpen);
    EXPECT_EQ(GetText(f.project->pluginName), "Synth");
}

TEST(ProjectFileOpen, AFileThatIsNoProjectIsRefusedWithoutTouchingTheProject) {
    // Too short for a header; a sound file, whose size field reads as a small version; a
    // picture, whose signature reads as a newer one; the header tag with a negative version.
    Bytes tiny, wav, png;
    tiny.Text("HED#").U8(1);
    wav.Text("RIFF").I32(36).Text("WAVEfmt ").Zeros(64);
    png.Text("\x89PNG\r\n\x1a\n").Zeros(64);
    for (const Bytes& file : {tiny, wav, png, FileWith({}, -1)}) {
        SCOPED_TRACE(std::string(file.data.begin(), file.data.begin() + 4));
        Fixture f;
        test::AddModule(*f.project, kTypeNoise);
        SetText(f.project->projectPath, "last.tw1");
        const std::vector<uint8_t> before = EncodeProject(*f.project, ReadSavedLayout(f.platform));
        EXPECT_EQ(Load(f, file), LoadResult::NotAProject);
        EXPECT_EQ(f.platform.MessageTexts(),
                  std::vector<std::string>{"This file is not a Tonewright project\nLoad aborted"});
        EXPECT_EQ(EncodeProject(*f.project, ReadSavedLayout(f.platform)), before);
        EXPECT_EQ(f.project->fileVersion, 0);
        EXPECT_EQ(GetText(f.project->projectPath), "last.tw1");
    }
}

TEST(ProjectFileOpen, TheOlderPatchChunkFillsTheSpareValuesAndNames) {
    Fixture f;
    Bytes prg;
    prg.Tag("PRG#").I32(1);
    for (int32_t p = 0; p < 128; ++p) prg.Str("Old " + std::to_string(p)).I32(3).I32(100 + p);
    ASSERT_EQ(Load(f, FileWith(prg)), LoadResult::Loaded);
    EXPECT_EQ(f.project->slots[3].spareValues[127], 227);
    EXPECT_EQ(f.project->slots[3].patchValues[127], 0);
    EXPECT_EQ(GetText(f.project->patchNames[9]), "Old 9");
}

TEST(ProjectFileOpen, FourWindowsAreReadWhateverTheCountSaysAndFixedSizesWin) {
    Fixture f;
    Bytes win;
    win.Tag("WIN#").I32(0);
    win.I32(1).I32(5).I32(6).I32(700).I32(500);
    win.I32(0).I32(7).I32(8).I32(300).I32(200);
    win.I32(1).I32(9).I32(10).I32(1).I32(1);
    win.I32(0).I32(11).I32(12).I32(9999).I32(9999);
    ASSERT_EQ(Load(f, FileWith(win)), LoadResult::Loaded);
    const HeadlessWindow* w = f.platform.windows;
    EXPECT_EQ(w[0].rect.width, 700);
    EXPECT_FALSE(w[1].visible);
    EXPECT_EQ(f.platform.guiRecordedSize.width, 300);
    EXPECT_EQ(w[2].rect.x, 9);
    EXPECT_EQ(w[2].rect.width, kKeyboardWidth);
    EXPECT_EQ(w[3].rect.y, 12);
    EXPECT_EQ(w[3].rect.height, kMonitorHeight);
    EXPECT_FALSE(w[3].visible);
}

TEST(ProjectFileOpen, BytesBetweenChunksAndUnknownTagsArePassedOver) {
    Fixture f;
    Bytes chunks;
    chunks.Text("junk##XYZ#").Tag("GUI#").I32(2).I32(1).I32(1);
    chunks.Tag("SKN#").Str("Steel").Text("more junk");
    ASSERT_EQ(Load(f, FileWith(chunks)), LoadResult::Loaded);
    EXPECT_EQ(GetText(f.project->skinName), "Steel");
    EXPECT_EQ(f.platform.guiRecordedSize.width, 400); // "GUI#" is written, never read
}

TEST(ProjectFileHostile, IndicesOutsideTheTablesAreSkipped) {
    Fixture f;
    Bytes c;
    c.Tag("MOD#").I32(5);
    c.I32(-1).I32(kTypeNoise).I32(0).I32(0).Str("neg").I32(0);
    c.I32(1024).I32(kTypeNoise).I32(0).I32(0).Str("big").I32(0);
    c.I32(4).I32(0).I32(0).I32(0).Str("type 0").I32(0);
    c.I32(5).I32(42).I32(0).I32(0).Str("type 42").I32(0);
    c.I32(6).I32(kTypeNoise).I32(0).I32(0).Str("kept").I32(0);
    c.Tag("PLG#").I32(3).I32(-1).I32(0).I32(16384).I32(0).I32(5).I32(1 << 30);
    c.Tag("PAR#").I32(1).I32(70000).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0);
    c.U8(0).U8(0).U8(0).U8(0).Str("x").Zeros(128);
    c.Tag("PST#").I32(1);
    for (int32_t p = 0; p < 128; ++p) c.Str("P").I32(-7).I32(1);
    ASSERT_EQ(Load(f, FileWith(c)), LoadResult::Loaded);
    EXPECT_EQ(f.project->CountOccupied(), 1);
    EXPECT_EQ(GetText(f.project->slots[6].name), "kept");
    for (int32_t k = 0; k < kPortCount; ++k) ASSERT_EQ(f.project->outputs[k].link, kNone) << k;
}

TEST(ProjectFileHostile, CountsBeyondTheTablesStoreOnlyWhatFits) {
    Fixture f;
    Bytes c;
    c.Tag("GRA#").I32(300);
    for (int32_t i = 0; i < 300; ++i)
        c.I32(i).I32(0).I32(0).I32(0).I32(1).I32(1).I32(1).I32(1).I32(1).I32(1).I32(0).Zeros(20);
    c.I32(0);
    c.Tag("COM#").I32(130);
    for (int32_t i = 0; i < 130; ++i) c.I32(1).I32(1).I32(0).I32(0).Str("c" + std::to_string(i));
    c.Tag("SKN#").Str("After");
    ASSERT_EQ(Load(f, FileWith(c)), LoadResult::Loaded);
    EXPECT_EQ(f.project->polygonCount, 256);
    EXPECT_EQ(f.project->polygons[255].x1, 255);
    EXPECT_EQ(f.project->commentCount, 128);
    EXPECT_EQ(GetText(f.project->comments[127].text), "c127");
    EXPECT_EQ(GetText(f.project->skinName), "After"); // the surplus was read past, not scanned
}

TEST(ProjectFileHostile, OverlongStringsAreCutToTheirFields) {
    Fixture f;
    const std::string longName(300, 'n');
    const std::string longSkin(1000, 's');
    Bytes c;
    c.Tag("MOD#").I32(1).I32(0).I32(kTypeNoise).I32(0).I32(0).Str(longName).I32(0);
    c.Tag("SKN#").Str(longSkin);
    c.Tag("COM#").I32(1).I32(1).I32(1).I32(0).I32(0).Str(std::string(2000, 'c'));
    ASSERT_EQ(Load(f, FileWith(c)), LoadResult::Loaded);
    EXPECT_EQ(GetText(f.project->slots[0].name), longName.substr(0, kNameSize - 1));
    EXPECT_EQ(GetText(f.project->skinName).size(), static_cast<std::size_t>(kPathSize - 1));
    EXPECT_EQ(GetText(f.project->comments[0].text).size(),
              static_cast<std::size_t>(kCommentTextSize - 1));
}

TEST(ProjectFileHostile, ANegativeStringLengthAbandonsOnlyItsChunk) {
    Fixture f;
    Bytes c;
    c.Tag("MOD#").I32(2).I32(0).I32(kTypeNoise).I32(0).I32(0).I32(-5);
    c.Tag("SKN#").Str("Later");
    ASSERT_EQ(Load(f, FileWith(c)), LoadResult::Loaded);
    EXPECT_EQ(f.project->slots[0].type, kTypeNoise);
    EXPECT_EQ(GetText(f.project->skinName), "Later");
}

TEST(ProjectFileHostile, ValuesThatPickFromListsOrScaleTheCanvasAreBounded) {
    Fixture f;
    Bytes c;
    c.Tag("MOD#").I32(1).I32(0).I32(kTypeParameter).I32(INT32_MAX).I32(INT32_MIN).Str("p").I32(0);
    c.Tag("PAR#").I32(1).I32(0).I32(99).I32(0).I32(INT32_MIN).I32(0).I32(-3).I32(0).I32(5).I32(1);
    c.U8(0).U8(0).U8(0).U8(0).Str("p").Zeros(128);
    Bytes file = FileWith(c, 414, 0);
    file.data[21] = 9; // cable style 9
    ASSERT_EQ(Load(f, file), LoadResult::Loaded);
    const Project& p = *f.project;
    EXPECT_EQ(p.zoom, 4);
    EXPECT_EQ(p.cableStyle, 0);
    EXPECT_EQ(p.slots[0].imageType, 0);
    EXPECT_EQ(p.slots[0].mouseResponse, 0);
    EXPECT_GT(p.slots[0].panelX, INT32_MIN / 2);
    EXPECT_LT(p.slots[0].anchorX, INT32_MAX / 2);
}

TEST(ProjectFileHostile, ALaterCableForTheSameInputReplacesTheEarlierOneWhole) {
    Fixture f;
    Bytes c;
    c.Tag("PLG#").I32(2).I32(10).I32(40).I32(10).I32(50);
    ASSERT_EQ(Load(f, FileWith(c)), LoadResult::Loaded);
    EXPECT_EQ(f.project->outputs[10].link, 50);
    EXPECT_EQ(f.project->inputs[50].link, 10);
    EXPECT_EQ(f.project->inputs[40].link, kNone);
}

TEST(ProjectFileHostile, ATruncatedFileKeepsWhatWasReadAtEveryCut) {
    Fixture f;
    BuildRich(*f.project, f.platform);
    const std::vector<uint8_t> whole = test::ReadFileBytes(f.Save());
    const std::size_t afterCables = [&] {
        const std::string s(whole.begin(), whole.end());
        return s.find("PAR#");
    }();
    ASSERT_NE(afterCables, std::string::npos);

    Fixture g;
    for (std::size_t n = 0; n <= whole.size(); n += (n < 300 ? 1 : 37)) {
        const std::span<const uint8_t> part(whole.data(), n);
        const LoadResult r = OpenProjectBytes(*g.project, g.engine, g.platform, part, "cut.tw1");
        ASSERT_EQ(r, n < 8 ? LoadResult::NotAProject : LoadResult::Loaded) << n;
        if (n >= afterCables) {
            ASSERT_EQ(g.project->CountOccupied(), 3) << n;
            ASSERT_EQ(g.project->outputs[PortIndex(kOut, 1)].link, PortIndex(kOsc, 0)) << n;
        }
    }
}

TEST(ProjectFileSave, AFailedSaveSaysSoAndLeavesWhatWasThere) {
    Fixture f;
    // A folder stands where the file should go: the rename over it fails after the bytes
    // were written to the temporary file.
    const std::string path = f.dir.File("folder.tw1");
    std::filesystem::create_directory(path);
    test::WriteFileBytes(path + "/inside", {9});
    EXPECT_FALSE(SaveProject(*f.project, f.platform, path));
    EXPECT_EQ(f.platform.MessageTexts(), std::vector<std::string>{"Can not open file to save"});
    EXPECT_EQ(test::ReadFileBytes(path + "/inside"), std::vector<uint8_t>{9});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.dir.Path()), {}), 1);

    EXPECT_FALSE(SaveProject(*f.project, f.platform, f.dir.File("no/such/folder/p.tw1")));
    EXPECT_EQ(f.platform.messages.size(), 2u);
}

} // namespace
} // namespace tw
