// New / open flows, skins and their pictures, and the patches.
#include "model/history.h"
#include "model/project_fixture.h"
#include "model/recovery.h"
#include "platform/bmp.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::Fixture;
using V = std::vector<int32_t>;
using enum MessageAnswer;

TEST(Flows, NewAndOpenOfferToSaveFirstAndKeepTheWorkUnlessItMayGo) {
    const std::string file = test::Golden("rich.tw1");
    // Open or New; answer to the offer and to the save's confirmation; whether the save
    // and open dialogs give a path -> whether the project was replaced.
    const std::tuple<bool, MessageAnswer, MessageAnswer, bool, bool, bool> rows[] = {
        {false, Cancel, Ok, true, false, false},  {false, Yes, Ok, false, false, false},
        {false, Yes, Cancel, true, false, false}, {false, Yes, Ok, true, false, true},
        {false, No, Ok, false, false, true},      {true, Cancel, Ok, false, true, false},
        {true, Yes, Ok, false, true, false},      {true, No, Ok, false, false, false},
        {true, No, Ok, false, true, true}};
    for (const auto& [open, answer, confirm, savePath, openPath, replaced] : rows) {
        SCOPED_TRACE(testing::Message() << (open ? "open, " : "new, ") << static_cast<int>(answer));
        Fixture f;
        test::AddModule(*f.project, kTypeAdsr);
        SetText(f.project->pluginName, "Mine");
        const std::string saved = f.dir.File("saved.tw1");
        f.platform.answers = {answer, confirm};
        f.platform.savePaths = {savePath ? std::optional(saved) : std::nullopt};
        f.platform.openPaths = {openPath ? std::optional(file) : std::nullopt};
        const bool done = open ? OpenFlow(*f.project, f.engine, f.platform).has_value()
                               : NewProjectFlow(*f.project, f.engine, f.platform);
        EXPECT_EQ(f.platform.messages.at(0).text,
                  open ? "Save project first" : "Save Changes To Mine.tw1");
        EXPECT_EQ(f.platform.messages[0].buttons, MessageButtons::YesNoCancel);
        EXPECT_EQ(V({done, f.project->slots[0].type != kTypeAdsr, f.platform.audioStops,
                     GetText(f.project->pluginName) != "Mine"}),
                  V(4, replaced));
        EXPECT_EQ(std::filesystem::exists(saved), answer == Yes && savePath && confirm == Ok);
    }
}

TEST(DefaultLayout, ShowsAndRaisesEveryWindowKeepingTheGuiEditorsSize) {
    Fixture f;
    f.platform.ShowEditorWindow(EditorWindow::MidiMonitor, false);
    f.platform.MoveEditorWindow(EditorWindow::GuiEditor, {1, 2, 333, 222});
    ApplyDefaultLayout(*f.project, f.platform);
    for (const HeadlessWindow& w : f.platform.windows) EXPECT_TRUE(w.visible && w.raisedCount == 1);
    EXPECT_EQ(V({f.platform.windows[1].rect.width, f.project->windows[1].height}), V({333, 222}));
}

TEST(Skins, PicturesAreFoundWithoutRegardToCaseOrReportedOnceKeepingTheirOldImage) {
    Fixture f;
    Project& p = *f.project;
    const int32_t slot = test::AddModule(p, kTypeParameter);
    p.slots[slot].imageType = 2; // a 3-frame strip
    p.slots[slot].patchValues[0] = 1;
    SetText(p.skinName, "default");
    ASSERT_TRUE(SaveProject(p, f.platform, f.dir.File("skin.tw1")));
    test::WriteSkin(f.dir.Path(), "Default", {11, 101, 3, 4, 5, 2, 2}, 32);
    const std::filesystem::path folder = f.dir.Path() / "SKINS" / "Default";
    std::filesystem::rename(f.dir.Path() / "Skins", f.dir.Path() / "SKINS");
    std::filesystem::rename(folder / "Knob_Wave.bmp", folder / "knob_wave.BMP");
    ASSERT_EQ(f.Open(f.dir.File("skin.tw1")), LoadResult::Loaded);
    EXPECT_TRUE(f.platform.messages.empty());
    const SkinImage* images = p.skinImages;
    EXPECT_EQ(V({images[0].frames, images[0].height, images[4].frames, p.background.width,
                 p.slots[slot].steps}),
              V({11, 352, 5, 40, 2}));
    EXPECT_FLOAT_EQ(p.slots[slot].value, 0.5f);
    std::filesystem::remove(folder / "Knob_0to100.bmp");
    test::WriteFileBytes((folder / "LED_Red.bmp").string(), {'B', 'M', 0, 0});
    LoadSkinImages(p, f.platform);
    const std::string shown = (f.dir.Path() / "Skins" / "default").string(); // as looked for
    EXPECT_EQ(f.platform.MessageTexts(),
              (std::vector<std::string>{"Skin File Not Found\n\n" + shown + "/Knob_0to100.bmp",
                                        "Skin File Not Readable\n\n" + shown + "/LED_Red.bmp"}));
    EXPECT_EQ(V({images[1].frames, images[6].frames}), V({101, 2}));
}

// File header and a 40-byte info header; the caller appends palette and pixels.
test::Bytes Bmp(int32_t width, int32_t height, uint16_t bpp, int32_t compression, int32_t offset,
                int32_t colours = 0) {
    test::Bytes b;
    b.Text("BM").I32s({0, 0, offset, 40, width, height}).U16(1).U16(bpp);
    return std::move(b.I32s({compression, 0, 0, 0, colours, 0}));
}

TEST(Skins, EachPictureFormatIsDecodedToArgbAndDamagedOnesAreRefused) {
    test::Bytes b32; // bit fields with alpha in a 56-byte header
    b32.Text("BM").I32s({0, 0, 14 + 56, 56, 1, 1}).U16(1).U16(32).I32s({3, 0, 0, 0, 0, 0});
    b32.I32s({0xFF, 0xFF00, 0xFF0000, static_cast<int32_t>(0xFF000000u), 0x40332211});
    // Each picture, then pixels (x, y, ARGB) it must hold.
    const std::pair<std::vector<uint8_t>, std::vector<std::array<uint32_t, 3>>> good[] = {
        {test::MakeBmp24(3, 2,
                         [](int32_t x, int32_t y) { return 0x100000u * x + y * 0x10000u + 0x201; }),
         {{0, 0, 0xFF000201u}, {2, 1, 0xFF210201u}}}, // bottom-up rows padded to 4 bytes
        {Bmp(1, -2, 24, 0, 54).U8(0).U8(0).U8(0xAA).Zeros(1).U8(0).U8(0).U8(0xBB).Zeros(1).data,
         {{0, 0, 0xFFAA0000u}, {0, 1, 0xFFBB0000u}}}, // a negative height: top-down rows
        {Bmp(3, 1, 8, 0, 54 + 8, 2).I32s({0x102030, 0xFFFFFF}).U8(1).U8(0).U8(200).Zeros(1).data,
         {{0, 0, 0xFFFFFFFFu}, {1, 0, 0xFF102030u}, {2, 0, 0xFF000000u}}}, // 200: no colour
        {Bmp(10, 1, 1, 0, 54 + 8).I32s({0, 0xFFFFFF}).U8(0b10100000).U8(0b01000000).Zeros(2).data,
         {{0, 0, 0xFFFFFFFFu}, {1, 0, 0xFF000000u}, {9, 0, 0xFFFFFFFFu}}}, // high bit first
        {Bmp(1, 1, 16, 3, 54 + 12).I32s({0xF800, 0x07E0, 0x001F}).U16(0xF81F).Zeros(2).data,
         {{0, 0, 0xFFFF00FFu}}}, // 565 bit fields
        {b32.data, {{0, 0, 0x40112233u}}}};
    for (const auto& [file, pixels] : good) {
        const std::optional<Bitmap> bmp = DecodeBmp(file);
        ASSERT_TRUE(bmp) << &file - &good[0].first;
        for (const auto& [x, y, argb] : pixels) EXPECT_EQ(bmp->At(x, y), argb) << x << ", " << y;
    }
    test::Bytes lying = Bmp(4, 4, 24, 0, 54);
    lying.data[14] = 0xF0; // a header larger than the file
    // Truncated, a header larger than the file, too short.
    for (const auto& file :
         {Bmp(4, 4, 24, 0, 54).Zeros(47).data, lying.data, std::vector<uint8_t>{'B', 'M'}})
        EXPECT_FALSE(DecodeBmp(file)) << file.size();
    // No width, RLE8, 7 bits a pixel, too large, too tall, pixels past the end of the file.
    const int32_t headers[][5] = {{0, 4, 24, 0, 54},         {4, 4, 8, 1, 54},
                                  {4, 4, 7, 0, 54},          {1 << 30, 1 << 30, 24, 0, 54},
                                  {4, INT32_MIN, 24, 0, 54}, {4, 4, 24, 0, -16}};
    for (const auto& [w, h, bpp, compression, offset] : headers)
        EXPECT_FALSE(
            DecodeBmp(Bmp(w, h, static_cast<uint16_t>(bpp), compression, offset).Zeros(64).data))
            << w << " x " << h;
}

TEST(Patches, StepsSilenceTheDelayLineANameNeedsOneToSixtyThreeCharactersACopyTakesAll) {
    Fixture f;
    Project& p = *f.project;
    const int32_t slot = test::AddModule(p, kTypeParameter);
    p.slots[slot].steps = 4;
    p.slots[slot].patchValues[1] = 3;
    PreviousPatch(p, f.engine, f.platform); // stays at 0
    NextPatch(p, f.engine, f.platform);
    EXPECT_EQ(f.platform.patchName, "Patch 1");
    EXPECT_FLOAT_EQ(p.slots[slot].value, 0.75f);
    EXPECT_TRUE(SelectPatch(p, f.platform, 127) && !SelectPatch(p, f.platform, 128) &&
                !SelectPatch(p, f.platform, -1));
    NextPatch(p, f.engine, f.platform);
    PatchListOpened(f.engine);
    EXPECT_EQ(V({p.currentPatch, f.engine.Count("clear delay")}), V({127, 4}));
    SelectPatch(p, f.platform, 3);
    const std::string names[] = {std::string(64, 'x'), "", std::string(63, 'y'), "Three"};
    EXPECT_EQ(V({SetPatchName(p, names[0]), SetPatchName(p, names[1]), SetPatchName(p, names[2]),
                 SetPatchName(p, names[3])}),
              V({0, 0, 1, 1}));
    for (int32_t s = 0; s < kSlotCount; ++s) p.slots[s].patchValues[3] = s;
    p.slots[1023].patchValues[8] = 99;
    f.platform.answers = {No, Yes};
    EXPECT_FALSE(ConfirmAndCopyPatch(p, f.platform, 3, 7));
    EXPECT_EQ(GetText(p.patchNames[7]), "Patch 7");
    EXPECT_TRUE(ConfirmAndCopyPatch(p, f.platform, 3, 7));
    EXPECT_EQ(f.platform.MessageTexts(), std::vector<std::string>(2, "Confirm Patch Copy"));
    EXPECT_EQ(GetText(p.patchNames[7]), "Three");
    for (int32_t s = 0; s < kSlotCount; ++s) ASSERT_EQ(p.slots[s].patchValues[7], s);
    EXPECT_EQ(p.slots[1023].patchValues[8], 99);
    EXPECT_FALSE(CopyPatch(p, 3, 128) || CopyPatch(p, -1, 3));
}

// A recovery copy is named after the project and remembers where the project came from;
// No sets it aside under a dated name, out of the next start's way.
TEST(Recovery, ACopyIsOfferedOnceAndNoSetsItAside) {
    Fixture f;
    ASSERT_EQ(f.Open(test::Golden("rich.tw1")), LoadResult::Loaded);
    SetText(f.project->appFolder, f.dir.Path().string());
    f.project->slots[0].gx += 8;
    const std::optional<std::string> copy = WriteRecoveryCopy(*f.project, SavedLayout{});
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, f.dir.Path().string() + "/Resources/Recovery/rich.tw1");
    EditHistory history;
    for (const MessageAnswer answer : {No, Yes}) {
        SCOPED_TRACE(answer == Yes ? "Yes" : "No");
        if (answer == Yes) {
            ASSERT_TRUE(WriteRecoveryCopy(*f.project, SavedLayout{}));
        }
        f.platform.answers = {answer};
        f.platform.ClearRecord();
        const auto restored = OfferRecovery(*f.project, f.engine, f.platform, history);
        EXPECT_EQ(f.platform.MessageTexts().at(0),
                  "Tonewright did not close normally. Restore the unsaved changes to rich?");
        EXPECT_EQ(restored.has_value(), answer == Yes);
        EXPECT_EQ(history.Modified(), answer == Yes);
        // Either way the next start asks nothing, until a copy is written again.
        const auto again = FindRecoveryCopy(*f.project);
        EXPECT_EQ(again.has_value(), answer == Yes);
        RemoveRecoveryCopy(*copy);
    }
    EXPECT_EQ(GetText(f.project->projectPath), test::Golden("rich.tw1"));
    // The set-aside copy stays beside, dated, and opens as a project.
    std::vector<std::string> aside;
    for (const auto& e : std::filesystem::directory_iterator(RecoveryFolder(*f.project)))
        aside.push_back(e.path().filename().string());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(aside[0].starts_with("rich 20") && aside[0].ends_with(".tw1")) << aside[0];
}

} // namespace
} // namespace tw
