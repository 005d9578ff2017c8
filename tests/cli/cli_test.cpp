// tonewright-cli end to end: each command run as a separate program in a scratch working
// folder, which is its application folder, on project files saved by the model.
#include "devices/jack_fixture.h"
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/files.h"

#include <RtMidi.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <sys/wait.h>
#include <tuple>

namespace tw {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::ReadFileText;

struct CliRun {
    int code = -1;
    std::string out, err;
};

// Runs the tool in `dir` as outside a desktop session, where Qt has no runtime folder, with
// `dir` as the home folder.
CliRun RunCli(const test::TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "cd '" + dir.Path().string() + "' && env -u XDG_RUNTIME_DIR HOME='" +
                          dir.Path().string() + "' '" TW_CLI_PATH "'";
    for (const std::string& a : args) command += " '" + a + "'";
    const int status = std::system((command + " >.out 2>.err").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileText(dir.File(".out")),
            ReadFileText(dir.File(".err"))};
}

// Saves, as `name` in `dir`, a new project as the program makes one, after `build`.
std::string Save(const test::TempDir& dir, const char* name,
                 const std::function<void(Project&)>& build = {}) {
    auto project = test::MakeProject();
    HeadlessPlatform platform;
    ApplyNewProjectDefaults(*project, platform);
    if (build) build(*project);
    EXPECT_TRUE(SaveProject(*project, platform, dir.File(name)));
    return dir.File(name);
}

// An A440 tone into both sides of the Output; a Parameter of 100 steps in slot 3 named in
// Latin-1 with a value in patch 3; a polygon, a text and a comment.
std::string SaveTone(const test::TempDir& dir) {
    return Save(dir, "tone.tw1", [](Project& p) {
        const int32_t split = test::AddModule(p, kTypeSplit, 200, 100);
        const int32_t out = test::AddModule(p, kTypeOutput, 300, 100);
        EXPECT_TRUE(test::Wire(p, test::AddModule(p, kTypeA440), 0, split, 0));
        EXPECT_TRUE(test::Wire(p, split, 0, out, 1));
        EXPECT_TRUE(test::Wire(p, split, 1, out, 5));
        ModuleSlot& par = p.slots[test::AddModule(p, kTypeParameter, 100, 300)];
        par.steps = 100;
        par.patchValues[3] = 42;
        par.labelColour[2] = 250;
        SetText(par.name, "Caf\xE9");
        par.midiCc = 7;
        p.InsertPolygon(1, 2);
        p.InsertText(3, 4);
        p.InsertComment(40, 80);
    });
}

// Without a skin in the working folder each missing picture is reported, once, unless quiet.
TEST(Cli, CommandsWriteReadRenderAndDescribeProjects) {
    test::TempDir dir;
    const std::string tone = SaveTone(dir);
    CliRun r = RunCli(dir, {"new", "empty.tw1"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFileText(dir.File("empty.tw1")), ReadFileText(Save(dir, "model.tw1")));
    r = RunCli(dir, {"dump", "tone.tw1"});
    for (const char* file : {"Knob_0to10.bmp", "LED_Red.bmp", "Background.bmp"}) {
        const std::string line =
            "[Tonewright] Skin File Not Found - " + dir.File("Skins/Default/") + file + "\n";
        EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(line), r.err.rfind(line)) << r.err;
    }
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["modules"].size(), 4u);
    EXPECT_EQ(j["modules"][3]["name"], "Caf\u00e9");
    EXPECT_EQ(j["cables"], Json::parse(R"([{"input": 0, "output": 32}, {"input": 17, "output": 0},
                                           {"input": 21, "output": 1}])"));
    EXPECT_EQ(j["parameters"][0]["labelColour"], Json::array({0, 0, 250}));
    EXPECT_EQ(j["patches"][3]["values"], Json::parse(R"({"3": 42})"));
    EXPECT_EQ(j["polygons"][0]["corner"], 16);
    EXPECT_EQ(j["comments"][0]["x"], 40);
    EXPECT_EQ(j["midiBindings"],
              Json::parse(R"([{"controller": 7, "slot": 3, "parameter": "Caf\u00e9"}])"));

    // --app names the application folder for any command, wherever it stands.
    r = RunCli(dir, {"dump", "tone.tw1", "--app", dir.File("app")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Not Found - " + dir.File("app/Skins/Default/")), std::string::npos)
        << r.err;
    r = RunCli(dir, {"--app", dir.File("app"), "play", "--help"});
    EXPECT_NE(r.out.find("read from " + dir.File("app/Resources/Tonewright_v0.414.cfg")),
              std::string::npos)
        << r.out;
    EXPECT_EQ(RunCli(dir, {"--version"}).out, "Tonewright v0.414\n");
    EXPECT_NE(RunCli(dir, {"--help"}).out.find("are printed on standard error"), std::string::npos);
    EXPECT_EQ(std::tuple(j["voices"], j["midiChannel"], j["bendRange"]), std::tuple(1, 1, 2));

    r = RunCli(dir, {"-q", "resave", "tone.tw1", "again.tw1"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFileText(dir.File("again.tw1")), ReadFileText(tone));
    EXPECT_EQ(RunCli(dir, {"-q", "stats", "tone.tw1"}).out,
              "DSP\nMaximum Objects\t\t1024\nObjects Used\t\t4\nObjects Available\t\t1020\n"
              "Routes Visited\t\t3\n\nGUI\nNum Parameters\t\t1\nNum Polygons\t\t1\n"
              "Num Labels\t\t1\n");

    // render: a stereo float WAV file of the requested rate and length, with notes and settings;
    // at a session's 96 kHz the tone is heard after the delay.
    test::WriteFileText(dir.File("notes.txt"),
                        "# a short tune\n0 on 60 100\n\n500 off 60\n600 on 64 90  # second\n"
                        "700 cc 7 127\n650 bend 16383\n660 cc 64 127\n900 cc 120 0\n");
    for (const auto& [rate, frames] : {std::pair{48000, 1000}, {96000, 4000}}) {
        std::vector<std::string> args{"-q",       "render",   "tone.tw1",
                                      "tone.wav", "--events", "notes.txt"};
        args.insert(args.end(),
                    {"--rate", std::to_string(rate), "--frames", std::to_string(frames)});
        if (rate == 48000)
            args.insert(args.end(), {"--patch", "3", "--set", "3=40", "--voices", "4"});
        r = RunCli(dir, args);
        ASSERT_EQ(r.code, 0) << r.err;
        SF_INFO info{};
        SNDFILE* wav = sf_open(dir.File("tone.wav").c_str(), SFM_READ, &info);
        ASSERT_NE(wav, nullptr);
        EXPECT_EQ(std::tuple(info.format, info.channels, info.samplerate, info.frames),
                  std::tuple(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, rate, sf_count_t{frames}));
        std::vector<float> samples(2 * frames);
        sf_readf_float(wav, samples.data(), frames);
        sf_close(wav);
        EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 0.01f) << rate;
    }
}

// Bad arguments exit with 2, unreadable, refused or failing input with 1; each says why on
// standard error (a build in its log), and no output file is left.
TEST(Cli, RefusalsExitNonZeroAndSayWhy) {
    test::TempDir dir;
    std::string newer = ReadFileText(SaveTone(dir));
    newer[4] = '\x9F'; // version 415
    test::WriteFileText(dir.File("newer.tw1"), newer);
    test::WriteFileText(dir.File("sound.tw1"), std::string("RIFF\x24\0\0\0WA", 10));
    test::WriteFileText(dir.File("bad.txt"), "0 on 60 100\n10 on 200 1\n");
    test::WriteFileText(dir.File("cc.txt"), "0 cc 7 0\n5 cc 7\n");
    test::WriteFileText(dir.File("cc2.txt"), "0 cc 127 127\n9 cc 128 0\n");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* said;
    } cases[] = {
        {{"render", "tone.tw1", "x", "--rate", "22049"}, 2, "bad value '22049' for --rate"},
        {{"render", "tone.tw1", "x", "--rate", "192001"}, 2, "bad value '192001' for --rate"},
        {{"render", "tone.tw1", "x", "--frames", "0"}, 2, "bad value '0' for --frames"},
        {{"render", "tone.tw1", "x", "--block", "x"}, 2, "bad value 'x' for --block"},
        {{"render", "tone.tw1", "x", "--patch", "128"}, 2, "bad value '128' for --patch"},
        {{"render", "tone.tw1", "x", "--set", "3"}, 2, "bad value '3' for --set"},
        {{"render", "tone.tw1", "x", "--set", "0=1"}, 2, "slot 0 holds no Parameter"},
        {{"render", "tone.tw1", "x", "--set", "3=101"}, 2, "steps are 0 to 100"},
        {{"render", "tone.tw1", "x", "--frames"}, 2, "--frames needs a value"},
        {{"render", "tone.tw1", "x", "--loud", "1"}, 2, "unknown option '--loud'"},
        {{"render", "tone.tw1"}, 2, "usage:"},
        {{"render", "tone.tw1", "x", "--events", "bad.txt"}, 1, "bad.txt:2:"},
        {{"render", "tone.tw1", "x", "--events", "cc.txt"}, 1, "cc.txt:2: expected"},
        {{"render", "tone.tw1", "x", "--events", "cc2.txt"}, 1, "cc2.txt:2:"},
        {{"dump", "missing.tw1"}, 1, "Unable To Open Project - missing.tw1"},
        {{"stats", "newer.tw1"}, 1, "newer version"},
        {{"resave", "newer.tw1", "x"}, 1, "newer version"},
        {{"dump", "sound.tw1"}, 1, "This file is not a Tonewright project"},
        {{"-q", "new", "no/such/folder/x"}, 1, ""},
        {{"build", "tone.tw1", "--target", "out", "--platform", "16"}, 2, "takes 32 or 64"},
        {{"build", "tone.tw1", "--target", "out", "--panel", "wide"}, 2, "takes WIDTHxHEIGHT"},
        {{"build", "tone.tw1", "--target", "out", "--app", "."}, 1, "5:- Can not read from ./R"},
        {{"explode"}, 2, "unknown command 'explode'"},
        {{"dump"}, 2, "usage:"},
        {{"render", "tone.tw1", "x", "--voices", "17"}, 2, "bad value '17' for --voices"},
        {{}, 2, "usage:"},
    };
    for (const auto& c : cases) {
        const CliRun r = RunCli(dir, c.args);
        const std::string said = r.err + r.out;
        EXPECT_EQ(r.code, c.code) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(dir.File("x"))) << said;
    }
}

uint32_t WordAt(const std::string& bytes, std::size_t at) {
    uint32_t v = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

// "build" builds as the dialog does, the panel painted as the Gui Editor shows it, with
// stand-in templates and a skin whose strip pixel (x, y) is x * 7 + y (steps come from it).
TEST(Cli, BuildMakesThePluginWithAPictureOfThePanel) {
    test::TempDir dir;
    const int32_t frames[7] = {11, 101, 101, 4, 4, 2, 2};
    test::WriteSkin(dir.Path(), "Default", frames, 40);
    fs::create_directories(dir.Path() / "Resources"); // the target "out" is made by the build
    test::WriteFileText(dir.File("Resources/64Bit.dat"), "SIXTY-FOUR");
    test::WriteFileText(dir.File("Resources/32Bit.dat"), "THIRTY-TWO");
    const auto saveAs = [&](const std::string& name) {
        Save(dir, "In.tw1", [&](Project& p) {
            SetText(p.pluginName, name);
            ModuleSlot& s = p.slots[test::AddModule(p, kTypeParameter)];
            s.imageType = 0;
            s.panelX = 100;
            s.panelY = 60;
            s.patchValues[0] = 4;
            s.showLabel = 0;
        });
    };
    saveAs("Synth");
    CliRun r = RunCli(dir, {"dump", "In.tw1"});
    EXPECT_EQ(r.err, ""); // every picture was found
    EXPECT_EQ(Json::parse(r.out)["parameters"][0]["steps"], 10);
    const std::vector<std::string> build = {"build", "In.tw1", "--target", "out"};
    r = RunCli(dir, build);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(">Opening Manifest \n1  Objects Indexed \n", 0), 0u) << r.out;
    EXPECT_TRUE(r.out.ends_with(" \n** Build Process Finished ** \n")) << r.out;
    std::string plugin = ReadFileText(dir.File("out/Synth.dll"));
    EXPECT_EQ(plugin.rfind("SIXTY-FOUR", 0), 0u);
    // The panel was painted before the manifest: the control's size is its image's width.
    EXPECT_EQ(WordAt(plugin, plugin.find("PAR#") + 8 + 4 * 6), 40u);
    EXPECT_EQ(WordAt(plugin, plugin.find("GUI#") + 8), 384u);
    EXPECT_EQ(WordAt(plugin, plugin.find("GUI#") + 12), 261u);
    std::string bmp = ReadFileText(dir.File("out/Synth/Background.bmp"));
    ASSERT_EQ(bmp.size(), 54u + 384 * 3 * 261);
    const auto pixel = [&](int x, int y) {
        return WordAt(bmp, 54 + (260 - y) * 1152 + 3 * x) & 0xFFFFFFu;
    };
    EXPECT_EQ(pixel(120, 80), 20u * 7 + 4 * 40 + 20); // the control shows frame 4
    EXPECT_EQ(pixel(10, 10), 0x336699u);              // the skin's background

    // --lv2 installs the same plugin for LV2 hosts, in ~/.lv2.
    r = RunCli(dir, {"build", "In.tw1", "--lv2"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(ReadFileText(dir.File(".lv2/Synth.lv2/Synth.so")), plugin);

    // The options reach the manifest, the picture and the template.
    r = RunCli(dir,
               {"build", "In.tw1", "--target", "out", "--panel", "200x100", "--platform", "32"});
    EXPECT_EQ(r.code, 0);
    plugin = ReadFileText(dir.File("out/Synth.dll"));
    EXPECT_EQ(plugin.rfind("THIRTY-TWO", 0), 0u);
    EXPECT_EQ(WordAt(plugin, plugin.find("GUI#") + 8), 200u);
    EXPECT_EQ(WordAt(plugin, plugin.find("GUI#") + 12), 100u);
    EXPECT_EQ(WordAt(ReadFileText(dir.File("out/Synth/Background.bmp")), 18), 200u);
    EXPECT_NE(r.out.find("\n>Linking Object Library 32Bit \n"), std::string::npos);

    // A name longer than a plugin takes is cut at a character, and the log says so.
    std::string name;
    for (int i = 0; i < 30; ++i) name += "\xC3\x9C"; // Ü
    saveAs(name);
    r = RunCli(dir, build);
    EXPECT_EQ(r.code, 0) << r.out;
    const std::string cut = name.substr(0, 2 * 23);
    EXPECT_EQ(r.out.rfind(">Name cut to 23 characters: " + cut + " \n>Opening Manifest \n", 0), 0u)
        << r.out;
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / (cut + ".dll")));
}

// "play" at a 48000 Hz server with 44100 Hz preferred plays at the server's rate, and a
// sequencer connected later to its own port is heard and printed as the Midi Monitor shows
// it. When audio cannot start or the server goes, it stops saying why.
TEST(CliPlay, PlaysAtTheServersRateFromASourceConnectedLaterAndStopsWhenAudioCannotGoOn) {
    test::JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    test::JackRecorder recorder("twrec");
    recorder.Start();
    const test::TempDir dir;
    Save(dir, "notes.tw1", [](Project& p) {
        const int32_t notes = test::AddModule(p, kTypeMidi2CV, 100, 60);
        const int32_t osc = test::AddModule(p, kTypeOscillator, 100, 200);
        const int32_t out = test::AddModule(p, kTypeOutput, 100, 400);
        EXPECT_TRUE(test::Wire(p, notes, 1, osc, 1) && test::Wire(p, osc, 0, out, 1) &&
                    test::Wire(p, notes, 2, out, 0));
    });
    const auto play = [&](std::vector<std::string> more) {
        std::vector<std::string> args{"-q", "play", "notes.tw1"};
        args.insert(args.end(), more.begin(), more.end());
        return std::async(std::launch::async, [&dir, args] { return RunCli(dir, args); });
    };
    const std::string ownPort = "Tonewright:Tonewright MIDI In";
    const auto offered = [&] {
        return test::WaitFor(
            [&] { return jack_port_by_name(recorder.client, ownPort.c_str()) != nullptr; });
    };

    auto played = play({"--audio", "twrec", "--seconds", "3"});
    ASSERT_TRUE(offered());
    RtMidiOut sequencer(RtMidi::UNIX_JACK, "twseq");
    sequencer.openVirtualPort("seq");
    ASSERT_EQ(jack_connect(recorder.client, "twseq:seq", ownPort.c_str()), 0);
    // The first notes through a fresh connection may be lost: the note goes again until
    // the program sounds.
    const auto sounds = [&] {
        const uint32_t frames = recorder.Frames();
        return std::any_of(recorder.Left().begin(), recorder.Left().begin() + frames,
                           [](float x) { return std::fabs(x) > 1.0e-6f; });
    };
    for (int i = 0; i < 40 && !sounds(); ++i) {
        std::vector<unsigned char> note{0x90, 69, 100};
        sequencer.sendMessage(&note);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(test::ToneProblem(recorder, 8 * test::kJackPeriod, 440.0), "");
    CliRun r = played.get();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Note On  0x90 (144 69 100) ch 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("at 48000 Hz"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("connect any source to \"" + ownPort + "\" (JACK)"), std::string::npos)
        << r.err;

    r = play({"--audio", "nowhere"}).get();
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "tonewright-cli: there is no audio output named \"nowhere\": "
                     "'tonewright-cli play --list' shows them\n");

    // Killed once play plays (on the first output).
    played = play({});
    ASSERT_TRUE(test::WaitFor(
        [&] { return ReadFileText(dir.File(".err")).find("Ctrl-C stops.") != std::string::npos; }));
    server.Kill();
    const auto stopped = played.wait_for(std::chrono::seconds(5));
    ASSERT_EQ(stopped, std::future_status::ready);
    r = played.get();
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.ends_with("tonewright-cli: the sound server went away: playing stopped\n"))
        << r.err;

    r = play({}).get();
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "tonewright-cli: no audio output found: start a sound server (a JACK "
                     "server, or PipeWire with its JACK support) and play again\n");
}

// Two "play"s at once on JACK: each is one client ("Tonewright", "Tonewright-01") holding
// its outputs and MIDI input, both play into the device, each prints its port names.
TEST(CliPlay, EachRunningProgramIsOneClientHoldingItsOwnPorts) {
    test::JackServer server;
    ASSERT_TRUE(server.Ready()) << server.Log();
    test::JackRecorder recorder("twrec");
    recorder.Start();
    const test::TempDir first, second;
    const auto play = [](const test::TempDir& dir, const char* seconds) {
        Save(dir, "notes.tw1");
        const std::vector<std::string> args{"-q",    "play",      "notes.tw1", "--audio",
                                            "twrec", "--seconds", seconds};
        return std::async(std::launch::async, [&dir, args] { return RunCli(dir, args); });
    };
    const auto there = [&](const std::string& port) {
        return test::WaitFor(
            [&] { return jack_port_by_name(recorder.client, port.c_str()) != nullptr; });
    };
    auto one = play(first, "4");
    ASSERT_TRUE(there("Tonewright:Out R"));
    auto two = play(second, "3");
    ASSERT_TRUE(there("Tonewright-01:Out R"));

    // Every port of the graph by its client, the server's and the recorder's aside.
    std::map<std::string, std::set<std::string>> clients;
    const char** ports = jack_get_ports(recorder.client, nullptr, nullptr, 0);
    for (const char** p = ports; p != nullptr && *p != nullptr; ++p) {
        const std::string name = *p;
        const std::string client = name.substr(0, name.find(':'));
        if (client != "system" && client != "twrec")
            clients[client].insert(name.substr(name.find(':') + 1));
    }
    if (ports != nullptr) jack_free(ports);
    const std::set<std::string> own{"Out L", "Out R", "Tonewright MIDI In"};
    EXPECT_EQ(clients, (std::map<std::string, std::set<std::string>>{{"Tonewright", own},
                                                                     {"Tonewright-01", own}}));
    EXPECT_TRUE(test::WaitForConnections(recorder.client, "twrec:in_2",
                                         {"Tonewright:Out R", "Tonewright-01:Out R"}));

    for (auto [run, client] : {std::pair{&one, "Tonewright"}, {&two, "Tonewright-01"}}) {
        const CliRun r = run->get();
        EXPECT_EQ(r.code, 0) << r.err;
        const std::string c = client;
        EXPECT_NE(r.err.find("Audio outputs: \"" + c + ":Out L\" and \"" + c + ":Out R\"\n"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("connect any source to \"" + c + ":Tonewright MIDI In\""),
                  std::string::npos)
            << r.err;
    }
}

} // namespace
} // namespace tw
