// Saving and opening ".tw1" project files: committed golden files read and saved back to
// the same bytes, files that are no project, and files that are damaged or hostile.
#include "model/instrument.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <functional>

namespace tw {
namespace {

using test::Bytes;
using test::Fixture;
using V = std::vector<int32_t>;
using S = std::vector<std::string>;

TEST(ProjectFile, TheGoldenFilesAreReadWholeAndTheNewOneSavesBackToItsOwnBytes) {
    Fixture f;
    const std::string path = test::Golden("rich.tw1");
    ASSERT_EQ(f.Open(path), LoadResult::Loaded);
    const Project& p = *f.project;
    EXPECT_EQ(
        S({p.pluginName, p.slots[0].name, p.patchNames[5], p.texts[0].text, f.platform.mainTitle}),
        S({"Big 100% Synth", "Lead %s osc", "Bright %d", "Hello 100%", "Tonewright - " + path}));
    EXPECT_EQ(V({p.targetPlatform, p.viewOriginX, p.cableStyle, p.routes[PortIndex(1, 1)],
                 p.inputs[PortIndex(0, 0)].link, p.inputs[PortIndex(0, 1)].kind}),
              V({kTarget32Bit, -40, 2, PortIndex(0, 0), PortIndex(1, 1), kPortControl}));
    EXPECT_EQ(
        V({p.slots[2].panelY, p.slots[2].mouseResponse, p.slots[2].patchValues[7],
           p.comments[0].showBorder, f.platform.windows[1].rect.x, f.platform.windows[3].visible}),
        V({-4, 4, 10, 0, 12, 0}));
    EXPECT_FLOAT_EQ(p.slots[2].value, 0.3f); // patch 0 is current: step 3 of 10
    EXPECT_EQ(test::ProjectFault(p), "");
    EXPECT_EQ(f.Encoded(), test::ReadFileBytes(path)) << "saved back to other bytes";

    // The older file, opened over the newer one, fills the spare table and none of the
    // patch values the project had before.
    ASSERT_EQ(f.Open(test::Golden("old_patch_chunk.tw1")), LoadResult::Loaded);
    EXPECT_EQ(V({p.slots[2].spareValues[7], p.slots[2].patchValues[7]}), V({10, 0}));
    EXPECT_EQ(GetText(p.patchNames[5]), "Bright %d");
}

// Voices, channel and bend range go in a chunk after all others, only when one of them is
// not the default; a damaged chunk leaves one voice on channel 1.
TEST(ProjectFile, TheInstrumentChunkComesLastAndADamagedOneLeavesTheDefaults) {
    Fixture f;
    const std::string path = test::Golden("rich.tw1");
    ASSERT_EQ(f.Open(path), LoadResult::Loaded);
    Project& p = *f.project;
    p.voiceCount = 16;
    p.midiChannel = 10;
    p.bendRange = 12;
    const Bytes file = Bytes{test::ReadFileBytes(path)};
    EXPECT_EQ(f.Encoded(), (Bytes{file}.Tag("VOX#").I32s({3, 16, 10, 12}).data));
    p.ResetInstrument();
    EXPECT_EQ(f.Encoded(), file.data);
    const std::tuple<Bytes, InstrumentSettings> rows[] = {
        {Bytes{file}.Tag("VOX#").I32s({3, 16, 10, 12}), {16, 10, 12}},
        {Bytes{file}.Tag("VOX#").I32s({4, 3, 0, 2, 99}), {3, 0, 2}}, // a later word passed over
        {Bytes{file}.Tag("VOX#").I32s({3, 17, 1, 2}), {}},           // 17 voices
        {Bytes{file}.Tag("VOX#").I32s({3, 4, 17, 2}), {}},           // channel 17
        {Bytes{file}.Tag("VOX#").I32s({3, 4, 1, -1}), {}},
        {Bytes{file}.Tag("VOX#").I32s({3, 4, 1}), {}}, // cut short
        {Bytes{file}.Tag("VOX#").I32s({2, 4, 1}), {}},
    };
    for (const auto& [bytes, want] : rows) {
        p.voiceCount = 5;
        ASSERT_EQ(f.Load(bytes.data), LoadResult::Loaded);
        EXPECT_EQ(V({p.voiceCount, p.midiChannel, p.bendRange}),
                  V({want.voiceCount, want.midiChannel, want.bendRange}));
    }
}

// A bound controller is saved in a chunk of its own after all the others, and comes back
// on opening; without one the file is as before.
TEST(ProjectFile, MidiBindingsFollowTheOtherChunksAndComeBackOnOpening) {
    Fixture f;
    const std::string path = test::Golden("rich.tw1");
    ASSERT_EQ(f.Open(path), LoadResult::Loaded);
    Project& p = *f.project;
    ASSERT_TRUE(p.BindMidiCc(2, 74));
    const std::vector<uint8_t> saved = f.Encoded();
    EXPECT_EQ(saved, (Bytes{test::ReadFileBytes(path)}.Tag("MCC#").I32s({1, 2, 74}).data));
    ASSERT_EQ(f.Load(saved), LoadResult::Loaded);
    EXPECT_EQ(p.slots[2].midiCc, 74);
    EXPECT_TRUE(p.ForgetMidiCc(2));
    EXPECT_EQ(f.Encoded(), test::ReadFileBytes(path));
}

TEST(ProjectFile, WhatIsMissingNoProjectOrTooNewIsRefusedWithoutTouchingTheProject) {
    std::vector<uint8_t> newer = test::ReadFileBytes(test::Golden("rich.tw1"));
    ++newer[4]; // version 415
    const std::string notOurs = "This file is not a Tonewright project\nLoad aborted";
    // File bytes (none: there is no such file) -> result and message.
    const std::tuple<std::optional<std::vector<uint8_t>>, LoadResult, std::string> rows[] = {
        {std::nullopt, LoadResult::CannotOpen, "Unable To Open Project\n"},
        {Bytes().Text("HED#").U8(1).data, LoadResult::NotAProject, notOurs}, // too short
        {Bytes().Text("\x89PNG\r\n\x1a\n").Zeros(64).data, LoadResult::NotAProject, notOurs},
        {Bytes().Text("HED#").I32(-1).Zeros(64).data, LoadResult::NotAProject, notOurs},
        {newer, LoadResult::NewerVersion,
         "Project made with a newer version of Tonewright\nLoad aborted"},
    };
    for (const auto& [bytes, result, message] : rows) {
        Fixture f;
        test::AddModule(*f.project, kTypeNoise);
        SetText(f.project->projectPath, "last.tw1");
        const std::string path = f.dir.File("x.tw1");
        if (bytes) test::WriteFileBytes(path, *bytes);
        const std::vector<uint8_t> before = f.Encoded();
        EXPECT_EQ(f.Open(path), result);
        EXPECT_EQ(f.platform.messages.at(0).text, message + (bytes ? "" : path));
        EXPECT_EQ(f.Encoded(), before);
        EXPECT_EQ(GetText(f.project->projectPath), "last.tw1");
        EXPECT_TRUE(f.engine.calls.empty());
    }
    // At start-up the project is still empty: it gets the new-project defaults.
    Fixture f;
    SetText(f.project->pluginName, "Leftover");
    EXPECT_EQ(f.Open(f.dir.File("gone.tw1")), LoadResult::CannotOpen);
    EXPECT_EQ(GetText(f.project->pluginName), "Synth");
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
    using P = const Project&;
    using W = const HeadlessPlatform&;
};

// Besides each row's own check, every file ends in a skin chunk naming "End" that must be
// found whatever came before, and leaves a project within range.
TEST_F(ProjectFileHostile, EveryValueIsCheckedAgainstTheTablesItPicksFrom) {
    const std::tuple<const char*, Bytes, std::function<void(P, W)>> rows[] = {
        {"slots and types outside the tables are skipped; the catalogue's gap gets no ports",
         Head() + Chunk("MOD#", {6}) + Mod(-1, kTypeNoise) + Mod(1024, kTypeNoise) + Mod(4, 0) +
             Mod(5, 42) + Mod(6, kTypeNoise) + Mod(7, 22),
         [](P p, W) {
             EXPECT_EQ(
                 V({p.slots[4].type, p.slots[5].type, p.slots[6].type, p.inputs[7 * 16].kind}),
                 V({kTypeEmpty, kTypeEmpty, kTypeNoise, kPortNone}));
         }},
        {"cable, parameter and patch indices outside the tables are skipped",
         Head() + Chunk("PLG#", {4, -1, 0, 16384, 0, 5, 1 << 30, 6, -2}) + Chunk("PAR#", {1}) +
             Par(70000, 0, 0, 0) + Chunk("PST#", {1}) + Repeat(128, Str("P") + Ints({-7, 1})),
         [](P p, W) { EXPECT_EQ(p.outputs[5].link, kNone); }},
        {"counts beyond the tables store what fits and read past the rest",
         Head() + Polygons(300, 1, 1) + Ints({0}) + Chunk("COM#", {130}) +
             Repeat(130, Ints({1, 1, 0, 0}) + Str("c")),
         [](P p, W) {
             EXPECT_EQ(V({p.polygons[255].x1, p.commentCount}), V({255, 128}));
         }},
        {"overlong strings are cut to their fields; a negative length abandons only its chunk",
         Head() + Chunk("MOD#", {2}) + Mod(0, kTypeNoise, 0, 0, std::string(300, 'n')) +
             Ints({1, kTypeNoise, 0, 0, -5}),
         [](P p, W) { EXPECT_EQ(GetText(p.slots[0].name), std::string(kNameSize - 1, 'n')); }},
        {"list picks fall back to their first entry, positions and styles are pulled in",
         Head(0, 9) + Chunk("MOD#", {1}) + Mod(0, kTypeParameter, INT32_MAX, INT32_MIN) +
             Chunk("PAR#", {1}) + Par(0, 99, INT32_MIN, -3) + Polygons(1, 99, -5) + Ints({1}) +
             Str("t") + Ints({0, 0, 1000, 0, 0, 0, 300}) + Bytes().Zeros(16),
         [](P p, W) {
             EXPECT_EQ(V({p.zoom, p.cableStyle, p.slots[0].imageType, p.slots[0].mouseResponse,
                          p.polygons[0].lineWidth, p.polygons[0].alpha, p.texts[0].size,
                          p.texts[0].alpha}),
                       V({4, 0, 0, 0, 10, 0, 64, 255}));
         }},
        {"a later cable for the same input replaces the earlier one whole",
         Head() + Chunk("PLG#", {2, 10, 40, 10, 50}),
         [](P p, W) {
             EXPECT_EQ(V({p.outputs[10].link, p.inputs[40].link}), V({50, kNone}));
         }},
        {"junk and unknown tags are passed over; the Gui Editor size is never read",
         Head() + Chunk("junk##XYZ#GUI#", {2, 1, 1}),
         [](P, W w) { EXPECT_NE(w.guiRecordedSize.width, 1); }},
        {"four windows are read whatever the count says, and fixed sizes win",
         Head() + Chunk("WIN#", {0, 1, 5, 6, 700, 500, 0, 7, 8, 300, 200}) +
             Ints({1, 9, 10, 1, 1, 0, 11, 12, 9999, 9999}),
         [](P, W w) {
             EXPECT_EQ(V({w.windows[0].rect.width, w.windows[1].visible, w.windows[2].rect.width,
                          w.windows[3].rect.height}),
                       V({700, 0, kKeyboardWidth, kMonitorHeight}));
         }},
        {"controllers bind only Parameters, one control each, and only numbers 0 to 127",
         Head() + Chunk("MOD#", {3}) + Mod(0, kTypeParameter) + Mod(1, kTypeNoise) +
             Mod(2, kTypeParameter) + Chunk("MCC#", {6, 0, 128, 1, 7, 5000, 7, 2, 7, 0, 7, 2, -1}),
         [](P p, W) {
             EXPECT_EQ(V({p.slots[0].midiCc, p.slots[1].midiCc, p.slots[2].midiCc}),
                       V({7, kNone, kNone}));
         }},
        {"a module off the grid snaps to the grid of the file's zoom",
         Head(2) + Chunk("MOD#", {1}) + Mod(9, kTypeInverter, 37, 53),
         [](P p, W) { EXPECT_EQ(V({p.slots[9].anchorX, p.slots[9].topY}), V({36, 48})); }},
    };
    Fixture f;
    for (const auto& [what, bytes, check] : rows) {
        SCOPED_TRACE(what);
        const Bytes file = bytes + Chunk("SKN#", {}) + Str("End");
        ASSERT_EQ(f.Load(file.data), LoadResult::Loaded);
        check(*f.project, f.platform);
        EXPECT_EQ(GetText(f.project->skinName), "End");
        EXPECT_EQ(test::ProjectFault(*f.project), "");
    }
}

TEST_F(ProjectFileHostile, EveryPrefixOfARealFileLoadsInRangeAndKeepsWhatWasRead) {
    Fixture f;
    const std::vector<uint8_t> whole = test::ReadFileBytes(test::Golden("rich.tw1"));
    const std::size_t afterCables = std::string(whole.begin(), whole.end()).find("PAR#");
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        ASSERT_EQ(f.Load({whole.data(), n}), n < 8 ? LoadResult::NotAProject : LoadResult::Loaded)
            << n;
        ASSERT_EQ(test::ProjectFault(*f.project), "") << n;
        ASSERT_TRUE(n < afterCables || (f.project->CountOccupied() == 3 &&
                                        f.project->routes[PortIndex(1, 1)] == PortIndex(0, 0)))
            << "the modules and cables read before the cut at " << n;
    }
}

TEST(ProjectFile, ASaveReplacesAFileKeepingItsPermissionsOrFailsLeavingWhatWasThere) {
    namespace fs = std::filesystem;
    Fixture f;
    const std::string path = f.dir.File("keep.tw1");
    test::WriteFileBytes(path, {1, 2, 3});
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(SaveProject(*f.project, f.platform, path));
    EXPECT_EQ(test::ReadFileBytes(path), f.Encoded());
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    // A folder stands where the file should go: the rename over it fails after the bytes
    // went to the temporary file.
    const std::string folder = f.dir.File("folder.tw1");
    fs::create_directory(folder);
    test::WriteFileBytes(folder + "/inside", {9});
    EXPECT_FALSE(SaveProject(*f.project, f.platform, folder));
    EXPECT_FALSE(SaveProject(*f.project, f.platform, f.dir.File("no/such/folder/p.tw1")));
    // Each message names the file and the reason.
    EXPECT_EQ(f.platform.MessageTexts(),
              (std::vector<std::string>{
                  "Can not open file to save\n" + folder + "\n\n" + std::strerror(EISDIR),
                  "Can not open file to save\n" + f.dir.File("no/such/folder/p.tw1") + "\n\n" +
                      std::strerror(ENOENT)}));
    EXPECT_EQ(test::ReadFileBytes(folder + "/inside"), std::vector<uint8_t>{9});
    EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.Path()), {}), 2) << "a temporary left";
}

} // namespace
} // namespace tw
