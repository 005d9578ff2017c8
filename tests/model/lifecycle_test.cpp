// New / open / save flows, the default layout, skin images and the patches.
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/fake_engine.h"
#include "support/files.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

struct Fixture {
    std::unique_ptr<Project> project = test::MakeProject();
    HeadlessPlatform platform;
    test::FakeEngine engine;
    test::TempDir dir;

    Fixture() {
        SetText(project->appFolder, dir.Path().string());
        FullReset(*project, engine);
        ApplyNewProjectDefaults(*project, platform);
        platform.ClearRecord();
        engine.calls.clear();
    }
    std::vector<uint8_t> Bytes() { return EncodeProject(*project, ReadSavedLayout(platform)); }
};

constexpr int32_t kEleven[7] = {11, 101, 3, 4, 5, 2, 2};

// ---- New, save and open flows ----

TEST(NewProjectFlow, CancelLeavesTheProjectExactlyAsItWas) {
    Fixture f;
    test::AddModule(*f.project, kTypeNoise);
    const std::vector<uint8_t> before = f.Bytes();
    f.platform.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(NewProjectFlow(*f.project, f.engine, f.platform));
    EXPECT_EQ(f.platform.MessageTexts(), std::vector<std::string>{"Save Changes To Synth.tw1"});
    EXPECT_EQ(f.platform.messages[0].buttons, MessageButtons::YesNoCancel);
    EXPECT_EQ(f.Bytes(), before);
    EXPECT_TRUE(f.engine.calls.empty());
}

TEST(NewProjectFlow, NoResetsToTheDefaultsAndStopsTheAudio) {
    Fixture f;
    test::AddModule(*f.project, kTypeNoise);
    SetText(f.project->pluginName, "Mine");
    f.project->zoom = 7;
    f.platform.answers = {MessageAnswer::No};
    EXPECT_TRUE(NewProjectFlow(*f.project, f.engine, f.platform));
    EXPECT_EQ(f.project->CountOccupied(), 0);
    EXPECT_EQ(GetText(f.project->pluginName), "Synth");
    EXPECT_EQ(f.project->zoom, 4);
    EXPECT_EQ(f.engine.Count("reset"), 1);
    EXPECT_EQ(f.platform.mainTitle, "Tonewright - Synth");
    EXPECT_EQ(f.platform.audioStops, 1);
}

TEST(NewProjectFlow, YesSavesFirstAndKeepsTheProjectWhenTheSaveDoesNotHappen) {
    Fixture f;
    test::AddModule(*f.project, kTypeNoise);
    f.platform.answers = {MessageAnswer::Yes};
    f.platform.savePaths = {std::nullopt}; // the save dialog is cancelled
    EXPECT_FALSE(NewProjectFlow(*f.project, f.engine, f.platform));
    EXPECT_EQ(f.project->CountOccupied(), 1);

    const std::string path = f.dir.File("kept.tw1");
    f.platform.answers = {MessageAnswer::Yes, MessageAnswer::Ok};
    f.platform.savePaths = {path};
    EXPECT_TRUE(NewProjectFlow(*f.project, f.engine, f.platform));
    EXPECT_EQ(f.project->CountOccupied(), 0);
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(SaveFlow, AsksForThePathThenConfirmsAndWrites) {
    Fixture f;
    const std::string path = f.dir.File("out.tw1");
    EXPECT_FALSE(SaveFlow(*f.project, f.platform)); // no path scripted: dialog cancelled
    EXPECT_TRUE(f.platform.messages.empty());

    test::WriteFileBytes(path, {7, 7});
    f.platform.savePaths = {path};
    f.platform.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(SaveFlow(*f.project, f.platform));
    EXPECT_EQ(f.platform.MessageTexts(),
              std::vector<std::string>{"Confirm Save Project\n\n" + path});
    EXPECT_EQ(test::ReadFileBytes(path), (std::vector<uint8_t>{7, 7}));

    f.platform.savePaths = {path};
    f.platform.answers = {MessageAnswer::Ok};
    EXPECT_TRUE(SaveFlow(*f.project, f.platform));
    EXPECT_EQ(test::ReadFileBytes(path), f.Bytes());
}

TEST(OpenFlow, OffersToSaveFirstAndKeepsTheProjectUnlessAFileIsOpened) {
    Fixture f;
    test::AddModule(*f.project, kTypeNoise);
    const std::string path = f.dir.File("in.tw1");
    ASSERT_TRUE(SaveProject(*f.project, f.platform, path));
    Fixture g;
    test::AddModule(*g.project, kTypeAdsr);
    const std::vector<uint8_t> before = g.Bytes();
    // Cancel; Yes with the save dialog cancelled; No with the open dialog cancelled.
    for (const MessageAnswer answer :
         {MessageAnswer::Cancel, MessageAnswer::Yes, MessageAnswer::No}) {
        SCOPED_TRACE(static_cast<int>(answer));
        g.platform.ClearRecord();
        g.platform.answers = {answer};
        g.platform.savePaths = {std::nullopt};
        g.platform.openPaths = {answer == MessageAnswer::No ? std::nullopt
                                                            : std::optional<std::string>(path)};
        EXPECT_EQ(OpenFlow(*g.project, g.engine, g.platform), std::nullopt);
        EXPECT_EQ(g.platform.openPaths.empty(), answer == MessageAnswer::No);
        EXPECT_EQ(g.Bytes(), before);
        EXPECT_EQ(g.platform.audioStops, 0);
    }
    EXPECT_EQ(g.platform.messages.at(0).text, "Save project first");
    EXPECT_EQ(g.platform.messages[0].buttons, MessageButtons::YesNoCancel);

    g.platform.answers = {MessageAnswer::No};
    g.platform.openPaths = {path};
    EXPECT_EQ(OpenFlow(*g.project, g.engine, g.platform), LoadResult::Loaded);
    EXPECT_EQ(g.project->slots[0].type, kTypeNoise);
    EXPECT_EQ(g.platform.audioStops, 1);
}

// ---- Default layout ----

TEST(DefaultLayout, FillsTheMainWindowWithTheDspEditorAndShowsEveryWindow) {
    Fixture f;
    f.platform.mainWindow = {0, 0, 1000, 700};
    f.platform.ShowEditorWindow(EditorWindow::MidiMonitor, false);
    f.platform.MoveEditorWindow(EditorWindow::GuiEditor, {1, 2, 333, 222});
    ApplyDefaultLayout(*f.project, f.platform);
    const HeadlessWindow* w = f.platform.windows;
    EXPECT_EQ(w[0].rect.x, 0);
    EXPECT_EQ(w[0].rect.width, 984);
    EXPECT_EQ(w[0].rect.height, 572);
    EXPECT_EQ(w[1].rect.x, 450);
    EXPECT_EQ(w[1].rect.y, 220);
    EXPECT_EQ(w[1].rect.width, 333); // size kept
    EXPECT_EQ(w[2].rect.x, 250);
    EXPECT_EQ(w[2].rect.y, 120);
    EXPECT_EQ(w[3].rect.y, 220);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(w[i].visible) << i;
        EXPECT_EQ(w[i].raisedCount, 1) << i;
    }
    EXPECT_EQ(f.project->windows[1].width, 333);
}

// ---- Skin images ----

TEST(SkinImages, AStripOfElevenFramesGivesAParameterTenSteps) {
    Fixture f;
    test::WriteSkin(f.dir.Path(), "Default", kEleven, 32);
    LoadSkinImages(*f.project, f.platform);
    EXPECT_TRUE(f.platform.messages.empty()) << f.platform.MessageTexts()[0];
    const SkinImage& knob = f.project->skinImages[0];
    EXPECT_EQ(knob.width, 32);
    EXPECT_EQ(knob.height, 352);
    EXPECT_EQ(knob.frames, 11);
    EXPECT_EQ(f.project->background.width, 40);

    const int32_t slot = test::AddModule(*f.project, kTypeParameter);
    f.project->slots[slot].patchValues[0] = 5;
    f.project->RecomputeParameterValues();
    EXPECT_EQ(f.project->slots[slot].steps, 10);
    EXPECT_FLOAT_EQ(f.project->slots[slot].value, 0.5f);
}

TEST(SkinImages, FolderAndFileNamesAreMatchedWithoutRegardToCase) {
    Fixture f;
    test::WriteSkin(f.dir.Path(), "Default", kEleven);
    std::filesystem::rename(f.dir.Path() / "Skins", f.dir.Path() / "SKINS");
    std::filesystem::rename(f.dir.Path() / "SKINS" / "Default" / "Knob_Wave.bmp",
                            f.dir.Path() / "SKINS" / "Default" / "knob_wave.BMP");
    SetText(f.project->skinName, "default");
    LoadSkinImages(*f.project, f.platform);
    EXPECT_TRUE(f.platform.messages.empty());
    EXPECT_EQ(f.project->skinImages[4].frames, 5);
}

TEST(SkinImages, EachMissingOrUnreadableFileIsReportedOnceAndKeepsItsOldImage) {
    Fixture f;
    test::WriteSkin(f.dir.Path(), "Default", kEleven);
    LoadSkinImages(*f.project, f.platform);
    ASSERT_EQ(f.project->skinImages[1].frames, 101);
    const std::filesystem::path folder = f.dir.Path() / "Skins" / "Default";
    std::filesystem::remove(folder / "Knob_0to100.bmp");
    test::WriteFileBytes((folder / "LED_Red.bmp").string(), {'B', 'M', 0, 0});
    f.platform.ClearRecord();

    LoadSkinImages(*f.project, f.platform);
    const std::string base = (folder).string();
    EXPECT_EQ(f.platform.MessageTexts(),
              (std::vector<std::string>{"Skin File Not Found\n\n" + base + "/Knob_0to100.bmp",
                                        "Skin File Not Readable\n\n" + base + "/LED_Red.bmp"}));
    EXPECT_EQ(f.platform.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(f.project->skinImages[1].frames, 101);
    EXPECT_EQ(f.project->skinImages[6].frames, 2);
}

TEST(SkinImages, AnOpenedProjectTakesItsParameterStepsFromItsSkin) {
    Fixture f;
    test::WriteSkin(f.dir.Path(), "Default", kEleven, 16);
    const int32_t slot = test::AddModule(*f.project, kTypeParameter);
    f.project->slots[slot].imageType = 2; // a 3-frame strip
    f.project->slots[slot].steps = 100;
    const std::string path = f.dir.File("skin.tw1");
    ASSERT_TRUE(SaveProject(*f.project, f.platform, path));

    Fixture g;
    SetText(g.project->appFolder, f.dir.Path().string());
    ASSERT_EQ(OpenProject(*g.project, g.engine, g.platform, path), LoadResult::Loaded);
    EXPECT_EQ(g.project->slots[slot].steps, 2);
}

// ---- Patches ----

TEST(Patches, PreviousAndNextStopAtTheEndsAndSilenceTheDelayLine) {
    Fixture f;
    PreviousPatch(*f.project, f.engine, f.platform);
    EXPECT_EQ(f.project->currentPatch, 0);
    EXPECT_EQ(f.engine.Count("clear delay"), 1);
    NextPatch(*f.project, f.engine, f.platform);
    EXPECT_EQ(f.project->currentPatch, 1);
    EXPECT_EQ(f.platform.patchName, "Patch 1");
    ASSERT_TRUE(SelectPatch(*f.project, f.platform, 127));
    NextPatch(*f.project, f.engine, f.platform);
    EXPECT_EQ(f.project->currentPatch, 127);
    EXPECT_FALSE(SelectPatch(*f.project, f.platform, 128));
    EXPECT_FALSE(SelectPatch(*f.project, f.platform, -1));
    EXPECT_EQ(f.project->currentPatch, 127);
}

TEST(Patches, SelectingAPatchRecomputesTheParameterValues) {
    Fixture f;
    const int32_t slot = test::AddModule(*f.project, kTypeParameter);
    f.project->slots[slot].steps = 4;
    f.project->slots[slot].patchValues[9] = 3;
    ASSERT_TRUE(SelectPatch(*f.project, f.platform, 9));
    EXPECT_FLOAT_EQ(f.project->slots[slot].value, 0.75f);
    PatchListOpened(f.engine);
    EXPECT_EQ(f.engine.Count("clear delay"), 1);
}

TEST(Patches, ATypedNameIsTakenOnlyWithOneToSixtyThreeCharacters) {
    Fixture f;
    SelectPatch(*f.project, f.platform, 2);
    EXPECT_FALSE(SetPatchName(*f.project, std::string(64, 'x')));
    EXPECT_FALSE(SetPatchName(*f.project, ""));
    EXPECT_EQ(GetText(f.project->patchNames[2]), "Patch 2");
    EXPECT_TRUE(SetPatchName(*f.project, std::string(63, 'y')));
    EXPECT_EQ(GetText(f.project->patchNames[2]), std::string(63, 'y'));
    EXPECT_TRUE(SetPatchName(*f.project, "50% wet"));
    EXPECT_EQ(GetText(f.project->patchNames[2]), "50% wet");
}

TEST(Patches, CopyingAPatchCopiesItsNameAndEverySlotsValue) {
    Fixture f;
    SetText(f.project->patchNames[3], "Three");
    for (int32_t s = 0; s < kSlotCount; ++s) f.project->slots[s].patchValues[3] = s;
    f.project->slots[1023].patchValues[8] = 99;

    f.platform.answers = {MessageAnswer::No};
    EXPECT_FALSE(ConfirmAndCopyPatch(*f.project, f.platform, 3, 7));
    EXPECT_EQ(f.platform.MessageTexts(), std::vector<std::string>{"Confirm Patch Copy"});
    EXPECT_EQ(GetText(f.project->patchNames[7]), "Patch 7");

    f.platform.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(ConfirmAndCopyPatch(*f.project, f.platform, 3, 7));
    EXPECT_EQ(GetText(f.project->patchNames[7]), "Three");
    for (int32_t s = 0; s < kSlotCount; ++s) ASSERT_EQ(f.project->slots[s].patchValues[7], s);
    EXPECT_EQ(f.project->slots[1023].patchValues[8], 99);
    EXPECT_FALSE(CopyPatch(*f.project, 3, 128));
    EXPECT_FALSE(CopyPatch(*f.project, -1, 3));
}

} // namespace
} // namespace tw
