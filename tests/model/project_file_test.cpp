// Saving and opening ".tw1" project files: committed golden files read and saved back to
// the same bytes, files that are no project, and files that are damaged or hostile.
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/project_invariants.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/fake_engine.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tw {
namespace {

using test::Bytes;

struct Fixture {
    std::unique_ptr<Project> project = test::MakeProject();
    HeadlessPlatform platform;
    test::FakeEngine engine;
    test::TempDir dir;

    Fixture() {
        FullReset(*project, engine);
        ApplyNewProjectDefaults(*project, platform);
        platform.ClearRecord();
        engine.calls.clear();
    }
    std::vector<uint8_t> Encoded() { return EncodeProject(*project, ReadSavedLayout(platform)); }
};

// Golden files: an oscillator (slot 0, "Lead %s osc") fed by a Parameter (slot 2) and
// feeding an Output (slot 1), one polygon, text and comment, a moved Gui Editor and a
// hidden Midi Monitor. Patch p holds step (p + 3) % 11. The second file is the first with
// its patch chunk under the older tag.
std::string Golden(const char* name) {
    return std::string(TW_SOURCE_DIR) + "/tests/model/data/" + name;
}

TEST(ProjectFileGolden, EveryChunkIsReadAndSavesBackToTheSameBytes) {
    Fixture f;
    const std::string path = Golden("rich.tw1");
    ASSERT_EQ(OpenProject(*f.project, f.engine, f.platform, path), LoadResult::Loaded);
    const Project& p = *f.project;
    EXPECT_EQ(GetText(p.pluginName), "Big 100% Synth");
    EXPECT_EQ(p.TargetPlatform, kTarget32Bit);
    EXPECT_EQ(p.viewOriginX, -40);
    EXPECT_EQ(p.cableStyle, 2);
    EXPECT_EQ(GetText(p.slots[0].name), "Lead %s osc");
    EXPECT_EQ(p.In[PortIndex(0, 1)].kind, kPortControl); // the catalogue rebuilt the ports
    EXPECT_EQ(p.routes[PortIndex(1, 1)], PortIndex(0, 0));
    EXPECT_EQ(p.In[PortIndex(0, 0)].link, PortIndex(1, 1));
    EXPECT_EQ(p.slots[2].panelY, -4);
    EXPECT_EQ(p.slots[2].mouseResponse, 4);
    EXPECT_EQ(p.slots[2].patchValues[7], 10);
    EXPECT_FLOAT_EQ(p.slots[2].value, 0.3f); // patch 0 is current: step 3 of 10
    EXPECT_EQ(GetText(p.patchNames[5]), "Bright %d");
    EXPECT_EQ(GetText(p.texts[0].text), "Hello 100%");
    EXPECT_EQ(p.comments[0].showBorder, 0);
    EXPECT_EQ(f.platform.windows[1].rect.x, 12);
    EXPECT_FALSE(f.platform.windows[3].visible);
    EXPECT_EQ(f.platform.mainTitle, "Tonewright - " + path);
    EXPECT_EQ(test::ProjectFault(p), "");
    EXPECT_EQ(f.Encoded(), test::ReadFileBytes(path));
}

TEST(ProjectFileGolden, TheOlderPatchChunkFillsTheSpareValuesAndNamesThePatches) {
    Fixture f;
    ASSERT_EQ(OpenProject(*f.project, f.engine, f.platform, Golden("old_patch_chunk.tw1")),
              LoadResult::Loaded);
    EXPECT_EQ(f.project->slots[2].spareValues[7], 10);
    EXPECT_EQ(f.project->slots[2].patchValues[7], 0);
    EXPECT_EQ(GetText(f.project->patchNames[5]), "Bright %d");
}

TEST(ProjectFileOpen, WhatIsNoProjectOrTooNewIsRefusedWithoutTouchingTheProject) {
    std::vector<uint8_t> newer = test::ReadFileBytes(Golden("rich.tw1"));
    newer[4] = 415 & 0xFF;
    newer[5] = 415 >> 8;
    const std::pair<const char*, std::vector<uint8_t>> rows[] = {
        {"too short", Bytes().Text("HED#").U8(1).data},
        {"a picture", Bytes().Text("\x89PNG\r\n\x1a\n").Zeros(64).data},
        {"negative version", Bytes().Text("HED#").I32(-1).Zeros(64).data},
        {"newer version", newer},
    };
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        Fixture f;
        test::AddModule(*f.project, kTypeNoise);
        SetText(f.project->projectPath, "last.tw1");
        const std::vector<uint8_t> before = f.Encoded();
        const bool isNewer = bytes == newer;
        EXPECT_EQ(OpenProjectBytes(*f.project, f.engine, f.platform, bytes, "x.tw1"),
                  isNewer ? LoadResult::NewerVersion : LoadResult::NotAProject);
        EXPECT_EQ(f.platform.MessageTexts().at(0),
                  isNewer ? "Project made with a newer version of Tonewright\nLoad aborted"
                          : "This file is not a Tonewright project\nLoad aborted");
        EXPECT_EQ(f.Encoded(), before);
        EXPECT_EQ(GetText(f.project->projectPath), "last.tw1");
        EXPECT_TRUE(f.engine.calls.empty());
    }
}

TEST(ProjectFileOpen, AMissingFileKeepsWorkAndGivesAnEmptyProjectItsDefaults) {
    for (const bool work : {true, false}) {
        Fixture f;
        SetText(f.project->pluginName, "Leftover");
        if (work) test::AddModule(*f.project, kTypeNoise);
        const std::string missing = f.dir.File("gone.tw1");
        EXPECT_EQ(OpenProject(*f.project, f.engine, f.platform, missing), LoadResult::CannotOpen);
        EXPECT_EQ(f.platform.MessageTexts().at(0), "Unable To Open Project\n" + missing);
        EXPECT_EQ(GetText(f.project->pluginName), work ? "Leftover" : "Synth");
    }
}

// Hostile files are built from little-endian pieces joined with "+".
Bytes operator+(Bytes a, const Bytes& b) {
    return a.Append(b);
}

class ProjectFileHostile : public ::testing::Test {
protected:
    static Bytes Ints(std::initializer_list<int32_t> v) { return Bytes().I32s(v); }
    static Bytes Str(const std::string& s) { return Bytes().Str(s); }
    static Bytes Chunk(const char* tag, std::initializer_list<int32_t> v) {
        return Bytes().Tag(tag).I32s(v);
    }
    static Bytes Repeat(int32_t n, const Bytes& one) {
        Bytes b;
        for (int32_t i = 0; i < n; ++i) b.Append(one);
        return b;
    }
    // A header with the given zoom and cable style.
    static Bytes Head(uint8_t zoom = 4, uint8_t style = 0) {
        return Chunk("HED#", {414, 2464, 0, 0}).U8(zoom).U8(style).Text("--------------") +
               Str("Tonewright") + Str("S") + Str("A") + Str("1") + Str("Abcd");
    }
    static Bytes Mod(int32_t slot, int32_t type, int32_t x = 0, int32_t y = 0,
                     const std::string& name = "m") {
        return Ints({slot, type, x, y}) + Str(name) + Ints({0});
    }
    static Bytes Par(int32_t slot, int32_t image, int32_t x, int32_t response) {
        return Ints({slot, image, 0, x, 0, response, 0, 5, 1, 0}) + Str("p") + Bytes().Zeros(128);
    }
    // Polygon i at x = i, with the given line width and alpha.
    static Bytes Polygons(int32_t n, int32_t width, int32_t alpha) {
        Bytes b = Chunk("GRA#", {n});
        for (int32_t i = 0; i < n; ++i) b.I32s({i, 0, 0, 0, width, alpha, 1, 1, 1, 1, 0}).Zeros(20);
        return b;
    }
};

using P = const Project&;
using W = const HeadlessPlatform&;

// Each file ends in a skin chunk naming "End", which must be found whatever came before.
TEST_F(ProjectFileHostile, EveryValueIsCheckedAgainstTheTablesItPicksFrom) {
    const struct {
        const char* what;
        Bytes file;
        std::function<void(P, W)> check;
    } rows[] = {
        {"slots and types outside the tables are skipped; the catalogue's gap gets no ports",
         Head() + Chunk("MOD#", {6}) + Mod(-1, kTypeNoise) + Mod(1024, kTypeNoise) + Mod(4, 0) +
             Mod(5, 42) + Mod(6, kTypeNoise) + Mod(7, 22),
         [](P p, W) {
             EXPECT_EQ(p.slots[4].type + p.slots[5].type, kTypeEmpty);
             EXPECT_EQ(p.slots[6].type, kTypeNoise);
             EXPECT_EQ(p.In[PortIndex(7, 0)].kind, kPortNone);
         }},
        {"cable, parameter and patch indices outside the tables are skipped",
         Head() + Chunk("PLG#", {3, -1, 0, 16384, 0, 5, 1 << 30}) + Chunk("PAR#", {1}) +
             Par(70000, 0, 0, 0) + Chunk("PST#", {1}) + Repeat(128, Str("P") + Ints({-7, 1})),
         [](P p, W) { EXPECT_EQ(p.Out[5].link, kNone); }},
        {"counts beyond the tables store what fits and read past the rest",
         Head() + Polygons(300, 1, 1) + Ints({0}) + Chunk("COM#", {130}) +
             Repeat(130, Ints({1, 1, 0, 0}) + Str("c")),
         [](P p, W) {
             EXPECT_EQ(p.polygons[255].x1, 255);
             EXPECT_EQ(p.commentCount, kCommentCount);
         }},
        {"overlong strings are cut to their fields",
         Head() + Chunk("MOD#", {1}) + Mod(0, kTypeNoise, 0, 0, std::string(300, 'n')),
         [](P p, W) { EXPECT_EQ(GetText(p.slots[0].name), std::string(kNameSize - 1, 'n')); }},
        {"a negative string length abandons only its chunk",
         Head() + Chunk("MOD#", {2, 0, kTypeNoise, 0, 0, -5}),
         [](P p, W) { EXPECT_EQ(p.slots[0].type, kTypeNoise); }},
        {"list picks fall back to their first entry",
         Head(0, 9) + Chunk("MOD#", {1}) + Mod(0, kTypeParameter, INT32_MAX, INT32_MIN) +
             Chunk("PAR#", {1}) + Par(0, 99, INT32_MIN, -3),
         [](P p, W) {
             EXPECT_EQ(p.zoom, 4);
             EXPECT_EQ(p.cableStyle, 0);
             EXPECT_EQ(p.slots[0].imageType, 0);
             EXPECT_EQ(p.slots[0].mouseResponse, 0);
         }},
        {"panel styles are clamped",
         Head() + Polygons(1, 99, -5) + Ints({1}) + Str("t") + Ints({0, 0, 1000, 0, 0, 0, 300}) +
             Bytes().Zeros(16),
         [](P p, W) {
             EXPECT_EQ(p.polygons[0].lineWidth, 10);
             EXPECT_EQ(p.polygons[0].alpha, 0);
             EXPECT_EQ(p.texts[0].size, 64);
             EXPECT_EQ(p.texts[0].alpha, 255);
         }},
        {"a later cable for the same input replaces the earlier one whole",
         Head() + Chunk("PLG#", {2, 10, 40, 10, 50}),
         [](P p, W) {
             EXPECT_EQ(p.Out[10].link, 50);
             EXPECT_EQ(p.In[40].link, kNone);
         }},
        {"junk and unknown tags are passed over; the Gui Editor size is never read",
         Head() + Chunk("junk##XYZ#GUI#", {2, 1, 1}),
         [](P, W w) { EXPECT_NE(w.guiRecordedSize.width, 1); }},
        {"four windows are read whatever the count says, and fixed sizes win",
         Head() + Chunk("WIN#", {0, 1, 5, 6, 700, 500, 0, 7, 8, 300, 200}) +
             Ints({1, 9, 10, 1, 1, 0, 11, 12, 9999, 9999}),
         [](P, W w) {
             EXPECT_EQ(w.windows[0].rect.width, 700);
             EXPECT_FALSE(w.windows[1].visible);
             EXPECT_EQ(w.windows[2].rect.width, kKeyboardWidth);
             EXPECT_EQ(w.windows[3].rect.height, kMonitorHeight);
         }},
        {"a module off the grid snaps to the grid of the file's zoom",
         Head(2) + Chunk("MOD#", {1}) + Mod(9, kTypeInverter, 37, 53),
         [](P p, W) {
             EXPECT_EQ(p.slots[9].anchorX, 36);
             EXPECT_EQ(p.slots[9].topY, 48);
         }},
    };
    Fixture f;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Bytes file = row.file + Chunk("SKN#", {}) + Str("End");
        ASSERT_EQ(OpenProjectBytes(*f.project, f.engine, f.platform, file.data, "h.tw1"),
                  LoadResult::Loaded);
        row.check(*f.project, f.platform);
        EXPECT_EQ(GetText(f.project->skinName), "End");
        EXPECT_EQ(test::ProjectFault(*f.project), "");
    }
}

TEST_F(ProjectFileHostile, EveryPrefixOfARealFileLoadsInRangeAndKeepsWhatWasRead) {
    Fixture f;
    const std::vector<uint8_t> whole = test::ReadFileBytes(Golden("rich.tw1"));
    const std::size_t afterCables = std::string(whole.begin(), whole.end()).find("PAR#");
    ASSERT_NE(afterCables, std::string::npos);
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const std::span<const uint8_t> part(whole.data(), n);
        const LoadResult r = OpenProjectBytes(*f.project, f.engine, f.platform, part, "cut.tw1");
        ASSERT_EQ(r, n < 8 ? LoadResult::NotAProject : LoadResult::Loaded) << n;
        ASSERT_EQ(test::ProjectFault(*f.project), "") << n;
        if (n >= afterCables) {
            ASSERT_EQ(f.project->CountOccupied(), 3) << n;
            ASSERT_EQ(f.project->routes[PortIndex(1, 1)], PortIndex(0, 0)) << n;
        }
    }
}

TEST(ProjectFileSave, AReplacedFileKeepsItsPermissionsAndAFailedSaveKeepsWhatWasThere) {
    namespace fs = std::filesystem;
    Fixture f;
    const std::string path = f.dir.File("keep.tw1");
    test::WriteFileBytes(path, {1, 2, 3});
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(SaveProject(*f.project, f.platform, path));
    EXPECT_EQ(test::ReadFileBytes(path), f.Encoded());
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.Path()), {}), 1) << "temporary left";

    // A folder stands where the file should go: the rename over it fails after the bytes
    // went to the temporary file.
    const std::string folder = f.dir.File("folder.tw1");
    fs::create_directory(folder);
    test::WriteFileBytes(folder + "/inside", {9});
    EXPECT_FALSE(SaveProject(*f.project, f.platform, folder));
    EXPECT_FALSE(SaveProject(*f.project, f.platform, f.dir.File("no/such/folder/p.tw1")));
    EXPECT_EQ(f.platform.MessageTexts(), std::vector<std::string>(2, "Can not open file to save"));
    EXPECT_EQ(test::ReadFileBytes(folder + "/inside"), std::vector<uint8_t>{9});
    EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.Path()), {}), 2);
}

} // namespace
} // namespace tw
