// tonewright-cli end to end: each command run as a separate program on files written by
// the model, in a scratch working folder that serves as the application folder.
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/fake_engine.h"
#include "support/files.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>

namespace tw {
namespace {

using Json = nlohmann::json;

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> b = test::ReadFileBytes(path);
    return {b.begin(), b.end()};
}

// Runs the tool in `folder` with the given arguments.
CliRun RunCli(const test::TempDir& folder, const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(folder.Path().string()) + " && " + Quote(TW_CLI_PATH);
    for (const std::string& a : args) command += " " + Quote(a);
    const std::string out = folder.File(".stdout"), err = folder.File(".stderr");
    command += " >" + Quote(out) + " 2>" + Quote(err);
    const int status = std::system(command.c_str());
    CliRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
}

// A project made and saved by the model, as the program would.
struct Maker {
    std::unique_ptr<Project> project = test::MakeProject();
    HeadlessPlatform platform;
    test::FakeEngine engine;
    Maker() {
        FullReset(*project, engine);
        ApplyNewProjectDefaults(*project, platform);
    }
    std::string Save(const test::TempDir& dir, const char* name) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(SaveProject(*project, platform, path));
        return path;
    }
};

// An A440 tone into both sides of the Output.
std::string SaveTone(const test::TempDir& dir, const char* name = "tone.tw1") {
    Maker m;
    Project& p = *m.project;
    const int32_t a = test::AddModule(p, kTypeA440, 100, 100);
    const int32_t split = test::AddModule(p, kTypeSplit, 200, 100);
    const int32_t out = test::AddModule(p, kTypeOutput, 300, 100);
    EXPECT_TRUE(test::Wire(p, a, 0, split, 0));
    EXPECT_TRUE(test::Wire(p, split, 0, out, 1));
    EXPECT_TRUE(test::Wire(p, split, 1, out, 5));
    return m.Save(dir, name);
}

struct Wav {
    uint16_t format = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    std::vector<uint8_t> data;
    bool ok = false;

    std::vector<float> Samples() const {
        std::vector<float> s(data.size() / 4);
        std::memcpy(s.data(), data.data(), s.size() * 4);
        return s;
    }
};

uint32_t Le(const std::vector<uint8_t>& b, std::size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint32_t{b[at + i]} << (8 * i);
    return v;
}

// Walks the RIFF chunks of a WAV file.
Wav ReadWav(const std::string& path) {
    const std::vector<uint8_t> b = test::ReadFileBytes(path);
    Wav w;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return w;
    if (Le(b, 4, 4) != b.size() - 8) return w;
    bool haveFormat = false, haveData = false;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::string id(b.begin() + static_cast<long>(at),
                             b.begin() + static_cast<long>(at) + 4);
        const uint32_t size = Le(b, at + 4, 4);
        if (at + 8 + size > b.size()) return w;
        if (id == "fmt ") {
            w.format = static_cast<uint16_t>(Le(b, at + 8, 2));
            w.channels = static_cast<uint16_t>(Le(b, at + 10, 2));
            w.rate = Le(b, at + 12, 4);
            w.bits = static_cast<uint16_t>(Le(b, at + 22, 2));
            haveFormat = Le(b, at + 16, 4) == w.rate * w.channels * w.bits / 8;
        } else if (id == "data") {
            w.data.assign(b.begin() + static_cast<long>(at) + 8,
                          b.begin() + static_cast<long>(at + 8 + size));
            haveData = true;
        }
        at += 8 + size + (size & 1);
    }
    w.ok = haveFormat && haveData;
    return w;
}

TEST(CliNew, WritesAnEmptyProjectWithTheDefaults) {
    test::TempDir dir;
    const CliRun r = RunCli(dir, {"new", "empty.tw1"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<uint8_t> bytes = test::ReadFileBytes(dir.File("empty.tw1"));
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "HED#");
    EXPECT_EQ(Le(bytes, 4, 4), 414u);
    // No skin folder here: each missing picture is reported on stderr, once.
    EXPECT_NE(r.err.find("[Tonewright] Skin File Not Found - "), std::string::npos);
    const CliRun dump = RunCli(dir, {"dump", "empty.tw1"});
    for (const char* file : {"Knob_0to10.bmp", "LED_Red.bmp", "Background.bmp"}) {
        const std::string line =
            "[Tonewright] Skin File Not Found - " + dir.File("Skins/Default/") + file + "\n";
        EXPECT_NE(dump.err.find(line), std::string::npos) << dump.err;
        EXPECT_EQ(dump.err.find(line), dump.err.rfind(line)) << dump.err;
    }

    Maker m;
    EXPECT_EQ(bytes, EncodeProject(*m.project, ReadSavedLayout(m.platform)));
}

TEST(CliDump, PrintsEveryPartOfTheProjectAsJson) {
    test::TempDir dir;
    Maker m;
    Project& p = *m.project;
    const int32_t osc = test::AddModule(p, kTypeOscillator, 100, 100);
    const int32_t par = test::AddModule(p, kTypeParameter, 100, 40);
    ASSERT_TRUE(test::Wire(p, par, 0, osc, 1));
    SetText(p.slots[osc].name, "Caf\xE9");
    p.slots[par].patchValues[3] = 42;
    p.slots[par].labelColour[2] = 250;
    p.InsertPolygon(1, 2);
    p.InsertText(3, 4);
    p.InsertComment(40, 80);
    const std::string path = m.Save(dir, "rich.tw1");

    const CliRun r = RunCli(dir, {"--quiet", "dump", "rich.tw1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["fileVersion"], 414);
    EXPECT_EQ(j["viewOrigin"], Json::array({0, 0}));
    EXPECT_EQ(j["pluginName"], "Synth");
    ASSERT_EQ(j["modules"].size(), 2u);
    EXPECT_EQ(j["modules"][0]["name"], "Caf\u00e9");
    EXPECT_EQ(j["modules"][0]["type"], kTypeOscillator);
    EXPECT_EQ(j["modules"][0]["anchorX"], p.slots[osc].anchorX);
    EXPECT_EQ(j["cables"], Json::parse(R"([{"input": 1, "output": 16}])"));
    EXPECT_EQ(j["parameters"][0]["slot"], par);
    EXPECT_EQ(j["parameters"][0]["labelColour"], Json::array({0, 0, 250}));
    ASSERT_EQ(j["patches"].size(), 128u);
    EXPECT_EQ(j["patches"][3]["values"], Json::parse(R"({"1": 42})"));
    EXPECT_EQ(j["patches"][127]["name"], "Patch 127");
    EXPECT_EQ(j["polygons"][0]["corner"], 16);
    EXPECT_EQ(j["texts"][0]["text"], "Text");
    EXPECT_EQ(j["comments"][0]["x"], 40);
    ASSERT_EQ(j["windows"].size(), 4u);
    EXPECT_EQ(j["windows"][2]["width"], 719);
}

TEST(CliResave, WritesTheSameBytesItRead) {
    test::TempDir dir;
    const std::string in = SaveTone(dir);
    const CliRun r = RunCli(dir, {"-q", "resave", "tone.tw1", "again.tw1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(test::ReadFileBytes(dir.File("again.tw1")), test::ReadFileBytes(in));
}

TEST(CliStats, PrintsTheStatisticsText) {
    test::TempDir dir;
    SaveTone(dir);
    const CliRun r = RunCli(dir, {"-q", "stats", "tone.tw1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "DSP\nMaximum Objects\t\t1024\nObjects Used\t\t3\nObjects Available\t\t1021\n"
                     "Routes Visited\t\t3\n\nGUI\nNum Parameters\t\t0\nNum Polygons\t\t0\n"
                     "Num Labels\t\t0\n");
}

TEST(CliRender, WritesAStereoFloatWavOfTheRequestedLength) {
    test::TempDir dir;
    SaveTone(dir);
    const CliRun r = RunCli(
        dir, {"-q", "render", "tone.tw1", "tone.wav", "--frames", "1000", "--rate", "48000"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Wav w = ReadWav(dir.File("tone.wav"));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.format, 3); // IEEE float
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 48000u);
    EXPECT_EQ(w.bits, 32);
    EXPECT_EQ(w.data.size(), 1000u * 2 * 4);
    float loudest = 0.0f;
    for (float v : w.Samples()) loudest = std::max(loudest, std::abs(v));
    EXPECT_GT(loudest, 0.01f); // the tone is heard
}

TEST(CliRender, TheBlockSizeDoesNotChangeTheSamples) {
    test::TempDir dir;
    SaveTone(dir);
    ASSERT_EQ(
        RunCli(dir, {"-q", "render", "tone.tw1", "a.wav", "--frames", "3000", "--block", "1"}).code,
        0);
    ASSERT_EQ(
        RunCli(dir, {"-q", "render", "tone.tw1", "b.wav", "--frames", "3000", "--block", "512"})
            .code,
        0);
    const Wav a = ReadWav(dir.File("a.wav")), b = ReadWav(dir.File("b.wav"));
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.data, b.data);
}

TEST(CliRender, NoteEventsAndParameterSettingsAreAccepted) {
    test::TempDir dir;
    Maker m;
    const int32_t par = test::AddModule(*m.project, kTypeParameter);
    m.project->slots[par].steps = 100;
    m.Save(dir, "par.tw1");
    test::WriteFileBytes(dir.File("notes.txt"), {});
    {
        std::ofstream events(dir.File("notes.txt"));
        events << "# a short tune\n0 on 60 100\n\n500 off 60\n600 on 64 90  # second\n";
    }
    const CliRun ok = RunCli(dir, {"-q", "render", "par.tw1", "p.wav", "--frames", "800", "--patch",
                                   "3", "--set", "0=40", "--events", "notes.txt"});
    EXPECT_EQ(ok.code, 0) << ok.err;

    const CliRun notParameter = RunCli(dir, {"-q", "render", "par.tw1", "x.wav", "--set", "5=1"});
    EXPECT_EQ(notParameter.code, 2);
    EXPECT_NE(notParameter.err.find("slot 5 holds no Parameter"), std::string::npos);
    const CliRun tooFar = RunCli(dir, {"-q", "render", "par.tw1", "x.wav", "--set", "0=101"});
    EXPECT_EQ(tooFar.code, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.wav")));
}

TEST(CliRender, ABadEventsLineIsNamedAndNothingIsWritten) {
    test::TempDir dir;
    SaveTone(dir);
    {
        std::ofstream events(dir.File("bad.txt"));
        events << "0 on 60 100\n10 on 200 1\n";
    }
    const CliRun r = RunCli(dir, {"-q", "render", "tone.tw1", "t.wav", "--events", "bad.txt"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("bad.txt:2:"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("t.wav")));
}

TEST(CliRender, BadOptionsAreRefusedWithUsage) {
    test::TempDir dir;
    SaveTone(dir);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"render", "tone.tw1", "t.wav", "--rate", "22050"},
          {"render", "tone.tw1", "t.wav", "--frames", "0"},
          {"render", "tone.tw1", "t.wav", "--block", "x"},
          {"render", "tone.tw1", "t.wav", "--patch", "128"},
          {"render", "tone.tw1", "t.wav", "--set", "3"},
          {"render", "tone.tw1", "t.wav", "--frames"},
          {"render", "tone.tw1", "t.wav", "--loud", "1"},
          {"render", "tone.tw1"}}) {
        const CliRun r = RunCli(dir, args);
        EXPECT_EQ(r.code, 2) << args.back();
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << args.back();
    }
}

TEST(CliErrors, UnreadableRefusedAndUnknownInputsExitNonZero) {
    test::TempDir dir;
    const std::string tone = SaveTone(dir);
    std::vector<uint8_t> newer = test::ReadFileBytes(tone);
    newer[4] = 0x9F; // version 415
    test::WriteFileBytes(dir.File("newer.tw1"), newer);
    test::WriteFileBytes(dir.File("sound.tw1"), {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A'});

    const CliRun missing = RunCli(dir, {"dump", "missing.tw1"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("Unable To Open Project - missing.tw1"), std::string::npos)
        << missing.err;
    const CliRun refused = RunCli(dir, {"stats", "newer.tw1"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("newer version"), std::string::npos);
    EXPECT_EQ(RunCli(dir, {"resave", "newer.tw1", "out.tw1"}).code, 1);
    const CliRun foreign = RunCli(dir, {"dump", "sound.tw1"});
    EXPECT_EQ(foreign.code, 1);
    EXPECT_NE(foreign.err.find("This file is not a Tonewright project"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.tw1")));
    EXPECT_EQ(RunCli(dir, {"explode"}).code, 2);
    EXPECT_EQ(RunCli(dir, {}).code, 2);
    EXPECT_EQ(RunCli(dir, {"dump"}).code, 2);
    EXPECT_EQ(RunCli(dir, {"-q", "new", dir.File("no/such/folder/x.tw1")}).code, 1);
}

TEST(CliHelp, EveryCommandDescribesItself) {
    test::TempDir dir;
    for (const char* command : {"new", "dump", "resave", "render", "stats", "catalogue"}) {
        const CliRun r = RunCli(dir, {command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_NE(r.out.find("usage: tonewright-cli"), std::string::npos) << command;
    }
    EXPECT_EQ(RunCli(dir, {"--help"}).code, 0);
}

TEST(CliSkins, AnOpenedProjectTakesParameterStepsFromTheWorkingFoldersSkins) {
    test::TempDir dir;
    const int32_t frames[7] = {11, 101, 3, 4, 5, 2, 2};
    test::WriteSkin(dir.Path(), "Default", frames, 32);
    Maker m;
    const int32_t par = test::AddModule(*m.project, kTypeParameter);
    m.project->slots[par].steps = 100;
    m.Save(dir, "skin.tw1");
    const CliRun r = RunCli(dir, {"dump", "skin.tw1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, ""); // every picture was found
    EXPECT_EQ(Json::parse(r.out)["parameters"][0]["steps"], 10);
}

} // namespace
} // namespace tw
