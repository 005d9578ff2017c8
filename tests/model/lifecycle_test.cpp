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
};

constexpr int32_t kFrames[7] = {11, 101, 3, 4, 5, 2, 2};

TEST(Flows, NewAndOpenOfferToSaveFirstAndKeepTheWorkUnlessItMayGo) {
    Fixture source;
    test::AddModule(*source.project, kTypeNoise);
    const std::string file = source.dir.File("in.tw1");
    ASSERT_TRUE(SaveProject(*source.project, source.platform, file));
    const auto none = std::optional<std::string>();
    const struct {
        bool open;
        MessageAnswer answer, confirm; // to the offer, and to the save's confirmation
        bool savePath, openPath, replaced;
    } rows[] = {
        {false, MessageAnswer::Cancel, MessageAnswer::Ok, true, false, false},
        {false, MessageAnswer::Yes, MessageAnswer::Ok, false, false, false},
        {false, MessageAnswer::Yes, MessageAnswer::Cancel, true, false, false},
        {false, MessageAnswer::Yes, MessageAnswer::Ok, true, false, true},
        {false, MessageAnswer::No, MessageAnswer::Ok, false, false, true},
        {true, MessageAnswer::Cancel, MessageAnswer::Ok, false, true, false},
        {true, MessageAnswer::Yes, MessageAnswer::Ok, false, true, false},
        {true, MessageAnswer::No, MessageAnswer::Ok, false, false, false},
        {true, MessageAnswer::No, MessageAnswer::Ok, false, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.open ? "open " : "new ") << &row - rows);
        Fixture f;
        test::AddModule(*f.project, kTypeAdsr);
        const std::string saved = f.dir.File("saved.tw1");
        f.platform.answers = {row.answer, row.confirm};
        f.platform.savePaths = {row.savePath ? std::optional(saved) : none};
        f.platform.openPaths = {row.openPath ? std::optional(file) : none};
        const bool replaced = row.open ? OpenFlow(*f.project, f.engine, f.platform).has_value()
                                       : NewProjectFlow(*f.project, f.engine, f.platform);
        EXPECT_EQ(replaced, row.replaced);
        EXPECT_EQ(f.platform.messages.at(0).text,
                  row.open ? "Save project first" : "Save Changes To Synth.tw1");
        EXPECT_EQ(f.platform.messages[0].buttons, MessageButtons::YesNoCancel);
        EXPECT_EQ(f.project->slots[0].type != kTypeAdsr, row.replaced);
        EXPECT_EQ(f.platform.audioStops, row.replaced ? 1 : 0);
        EXPECT_EQ(std::filesystem::exists(saved), row.answer == MessageAnswer::Yes &&
                                                      row.savePath &&
                                                      row.confirm == MessageAnswer::Ok);
    }
}

TEST(Flows, NewResetsToTheDefaults) {
    Fixture f;
    SetText(f.project->pluginName, "Mine");
    f.project->zoom = 7;
    f.platform.answers = {MessageAnswer::No};
    EXPECT_TRUE(NewProjectFlow(*f.project, f.engine, f.platform));
    EXPECT_EQ(GetText(f.project->pluginName), "Synth");
    EXPECT_EQ(f.project->zoom, 4);
    EXPECT_EQ(f.platform.mainTitle, "Tonewright - Synth");
}

TEST(DefaultLayout, FillsTheMainWindowWithTheDspEditorAndShowsEveryWindowKeepingSizes) {
    Fixture f;
    f.platform.mainWindow = {0, 0, 1000, 700};
    f.platform.ShowEditorWindow(EditorWindow::MidiMonitor, false);
    f.platform.MoveEditorWindow(EditorWindow::GuiEditor, {1, 2, 333, 222});
    ApplyDefaultLayout(*f.project, f.platform);
    const HeadlessWindow* w = f.platform.windows;
    EXPECT_EQ(std::vector({w[0].rect.width, w[0].rect.height, w[1].rect.x, w[1].rect.width}),
              std::vector({984, 572, 450, 333}));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(w[i].visible && w[i].raisedCount == 1) << i;
    EXPECT_EQ(f.project->windows[1].width, 333);
}

TEST(SkinImages, StripsAreFoundWithoutRegardToCaseAndGiveTheirFrames) {
    Fixture f;
    test::WriteSkin(f.dir.Path(), "Default", kFrames, 32);
    const std::filesystem::path folder = f.dir.Path() / "Skins" / "Default";
    std::filesystem::rename(folder / "Knob_Wave.bmp", folder / "knob_wave.BMP");
    std::filesystem::rename(f.dir.Path() / "Skins", f.dir.Path() / "SKINS");
    SetText(f.project->skinName, "default");
    LoadSkinImages(*f.project, f.platform);
    EXPECT_TRUE(f.platform.messages.empty());
    const SkinImage* images = f.project->skinImages;
    EXPECT_EQ(std::vector({images[0].frames, images[0].height, images[4].frames}),
              std::vector({11, 352, 5}));
    EXPECT_EQ(f.project->background.width, 40);
}

TEST(SkinImages, EachMissingOrUnreadableFileIsReportedOnceAndKeepsItsOldImage) {
    Fixture f;
    test::WriteSkin(f.dir.Path(), "Default", kFrames);
    LoadSkinImages(*f.project, f.platform);
    const std::string folder = (f.dir.Path() / "Skins" / "Default").string();
    std::filesystem::remove(folder + "/Knob_0to100.bmp");
    test::WriteFileBytes(folder + "/LED_Red.bmp", {'B', 'M', 0, 0});
    LoadSkinImages(*f.project, f.platform);
    EXPECT_EQ(f.platform.MessageTexts(),
              (std::vector<std::string>{"Skin File Not Found\n\n" + folder + "/Knob_0to100.bmp",
                                        "Skin File Not Readable\n\n" + folder + "/LED_Red.bmp"}));
    EXPECT_EQ(f.project->skinImages[1].frames, 101);
    EXPECT_EQ(f.project->skinImages[6].frames, 2);
}

TEST(SkinImages, AnOpenedProjectTakesItsParameterStepsFromItsSkin) {
    Fixture f;
    test::WriteSkin(f.dir.Path(), "Default", kFrames, 16);
    const int32_t slot = test::AddModule(*f.project, kTypeParameter);
    f.project->slots[slot].imageType = 2; // a 3-frame strip
    f.project->slots[slot].patchValues[0] = 1;
    const std::string path = f.dir.File("skin.tw1");
    ASSERT_TRUE(SaveProject(*f.project, f.platform, path));
    Fixture g;
    SetText(g.project->appFolder, f.dir.Path().string());
    ASSERT_EQ(OpenProject(*g.project, g.engine, g.platform, path), LoadResult::Loaded);
    EXPECT_EQ(g.project->slots[slot].steps, 2);
    EXPECT_FLOAT_EQ(g.project->slots[slot].value, 0.5f);
}

TEST(Patches, StepsStopAtTheEndsSilenceTheDelayLineAndRecomputeTheValues) {
    Fixture f;
    const int32_t slot = test::AddModule(*f.project, kTypeParameter);
    f.project->slots[slot].steps = 4;
    f.project->slots[slot].patchValues[1] = 3;
    PreviousPatch(*f.project, f.engine, f.platform);
    EXPECT_EQ(f.project->currentPatch, 0);
    NextPatch(*f.project, f.engine, f.platform);
    EXPECT_EQ(f.platform.patchName, "Patch 1");
    EXPECT_FLOAT_EQ(f.project->slots[slot].value, 0.75f);
    ASSERT_TRUE(SelectPatch(*f.project, f.platform, 127));
    NextPatch(*f.project, f.engine, f.platform);
    PatchListOpened(f.engine);
    EXPECT_EQ(f.engine.Count("clear delay"), 4);
    EXPECT_FALSE(SelectPatch(*f.project, f.platform, 128));
    EXPECT_FALSE(SelectPatch(*f.project, f.platform, -1));
    EXPECT_EQ(f.project->currentPatch, 127);
}

TEST(Patches, ATypedNameIsTakenOnlyWithOneToSixtyThreeCharacters) {
    Fixture f;
    SelectPatch(*f.project, f.platform, 2);
    for (const auto& [name, taken] : {std::pair{std::string(64, 'x'), false},
                                      {"", false},
                                      {std::string(63, 'y'), true},
                                      {"50% wet", true}}) {
        EXPECT_EQ(SetPatchName(*f.project, name), taken) << name;
        EXPECT_EQ(GetText(f.project->patchNames[2]) == name, taken);
    }
}

TEST(Patches, CopyingAPatchAfterConfirmationCopiesItsNameAndEverySlotsValue) {
    Fixture f;
    SetText(f.project->patchNames[3], "Three");
    for (int32_t s = 0; s < kSlotCount; ++s) f.project->slots[s].patchValues[3] = s;
    f.project->slots[1023].patchValues[8] = 99;
    f.platform.answers = {MessageAnswer::No, MessageAnswer::Yes};
    EXPECT_FALSE(ConfirmAndCopyPatch(*f.project, f.platform, 3, 7));
    EXPECT_EQ(GetText(f.project->patchNames[7]), "Patch 7");
    EXPECT_TRUE(ConfirmAndCopyPatch(*f.project, f.platform, 3, 7));
    EXPECT_EQ(f.platform.MessageTexts(), std::vector<std::string>(2, "Confirm Patch Copy"));
    EXPECT_EQ(GetText(f.project->patchNames[7]), "Three");
    for (int32_t s = 0; s < kSlotCount; ++s) ASSERT_EQ(f.project->slots[s].patchValues[7], s);
    EXPECT_EQ(f.project->slots[1023].patchValues[8], 99);
    EXPECT_FALSE(CopyPatch(*f.project, 3, 128));
    EXPECT_FALSE(CopyPatch(*f.project, -1, 3));
}

} // namespace
} // namespace tw
