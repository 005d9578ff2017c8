// tonewright-cli build end to end: a saved project, a skin of known pictures and a
// stand-in template in a scratch application folder.
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace tw {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void Put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}
uint32_t WordAt(const std::string& s, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    return v;
}
std::string Le(uint32_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>(i < 4 ? (v >> (8 * i)) & 0xFF : 0);
    }
    return out;
}

// A 24-bit bottom-up BMP whose pixel (x, y) has the colour colour(x, y) (0xRRGGBB).
template <typename F> std::string Bmp(int w, int h, F colour) {
    const int row = (3 * w + 3) / 4 * 4;
    std::string out = "BM" + Le(54 + row * h, 4) + Le(0, 4) + Le(54, 4) + Le(40, 4) + Le(w, 4) +
                      Le(h, 4) + Le(1, 2) + Le(24, 2) + Le(0, 4) + Le(row * h, 4) + Le(0, 16);
    for (int y = h - 1; y >= 0; --y) {
        std::string line;
        for (int x = 0; x < w; ++x) line += Le(colour(x, y), 3);
        line.resize(row, '\0');
        out += line;
    }
    return out;
}

uint32_t FrameColour(int frame) {
    return 0x101010u * static_cast<uint32_t>(frame + 1);
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

class BuildCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path skin = dir.Path() / "app" / "Skins" / "Default";
        const char* strips[] = {"Knob_0to10.bmp", "Knob_0to100.bmp", "Knob_Plus_Minus.bmp",
                                "Knob_1234.bmp",  "Knob_Wave.bmp",   "Switch_OnOff.bmp",
                                "LED_Red.bmp"};
        const int frames[] = {11, 101, 101, 4, 4, 2, 2};
        for (int i = 0; i < 7; ++i) {
            Put(skin / strips[i],
                Bmp(40, 40 * frames[i], [](int, int y) { return FrameColour(y / 40); }));
        }
        Put(skin / "Background.bmp", Bmp(800, 600, [](int, int) { return 0x263040u; }));
        Put(dir.Path() / "app" / "Resources" / "64Bit.dat", "SIXTY-FOUR");
        Put(dir.Path() / "app" / "Resources" / "32Bit.dat", "THIRTY-TWO");

        SaveIn("Synth");
    }

    void SaveIn(const std::string& name) {
        auto project = test::MakeProject();
        SetText(project->pluginName, name);
        const int32_t knob = test::AddModule(*project, kTypeParameter);
        ModuleSlot& s = project->slots[knob];
        s.imageType = 0;
        s.panelX = 100;
        s.panelY = 60;
        s.patchValues[0] = 4;
        s.showLabel = 0;
        HeadlessPlatform platform;
        ASSERT_TRUE(tw::SaveProject(*project, platform, dir.File("In.tw1")));
    }

    CliRun Build(const std::vector<std::string>& extra) {
        // Run as outside a desktop session, where Qt has no runtime folder.
        std::string command = "cd '" + dir.Path().string() +
                              "' && env -u XDG_RUNTIME_DIR '" TW_CLI_PATH "' build In.tw1" +
                              " --target out --app app";
        for (const std::string& a : extra) command += " " + a;
        command += " >'" + dir.File("stdout") + "' 2>'" + dir.File("stderr") + "'";
        fs::create_directories(dir.Path() / "out");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir.File("stdout")),
                Slurp(dir.File("stderr"))};
    }

    test::TempDir dir;
};

TEST_F(BuildCommand, BuildsThePluginFolderWithAPictureOfThePanel) {
    const CliRun run = Build({});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind(">Opening Manifest \n", 0), 0u);
    EXPECT_NE(run.out.find("\n1  Objects Indexed \n"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with(" \n** Build Process Finished ** \n")) << run.out;

    const std::string plugin = Slurp(dir.File("out/Synth.dll"));
    ASSERT_EQ(plugin.rfind("SIXTY-FOUR", 0), 0u);
    // The panel was painted before the manifest: the control's size is its image's width.
    const std::size_t par = plugin.find("PAR#");
    ASSERT_NE(par, std::string::npos);
    EXPECT_EQ(WordAt(plugin, par + 4), 1u);
    EXPECT_EQ(WordAt(plugin, par + 8 + 4 * 6), 40u);
    const std::size_t gui = plugin.find("GUI#");
    EXPECT_EQ(WordAt(plugin, gui + 8), 384u);
    EXPECT_EQ(WordAt(plugin, gui + 12), 261u);

    const std::string bmp = Slurp(dir.File("out/Synth/Background.bmp"));
    ASSERT_EQ(bmp.size(), 54u + 300672u);
    auto pixel = [&](int x, int y) {
        const std::size_t at = 54 + static_cast<std::size_t>(260 - y) * 1152 + 3 * x;
        return WordAt(bmp, at) & 0xFFFFFFu;
    };
    EXPECT_EQ(pixel(120, 80), FrameColour(4)); // the control shows frame 4
    EXPECT_EQ(pixel(10, 10), 0x263040u);       // the skin background
    for (const char* name : {"Knob_0to10.bmp", "knob_Wave.bmp", "led_red.bmp"}) {
        EXPECT_TRUE(fs::exists(dir.Path() / "out" / "Synth" / name)) << name;
    }
}

TEST_F(BuildCommand, PanelAndPlatformOptionsReachTheManifestAndTheTemplate) {
    const CliRun run = Build({"--panel", "200x100", "--platform", "32"});
    EXPECT_EQ(run.code, 0);
    const std::string plugin = Slurp(dir.File("out/Synth.dll"));
    EXPECT_EQ(plugin.rfind("THIRTY-TWO", 0), 0u);
    const std::size_t gui = plugin.find("GUI#");
    EXPECT_EQ(WordAt(plugin, gui + 8), 200u);
    EXPECT_EQ(WordAt(plugin, gui + 12), 100u);
    const std::string bmp = Slurp(dir.File("out/Synth/Background.bmp"));
    EXPECT_EQ(WordAt(bmp, 18), 200u);
    EXPECT_EQ(WordAt(bmp, 22), 100u);
    EXPECT_NE(run.out.find(">Linking Object Library 32Bit \n"), std::string::npos);
}

TEST_F(BuildCommand, AMissingTemplateFailsWithError5) {
    fs::remove(dir.Path() / "app" / "Resources" / "64Bit.dat");
    const CliRun run = Build({});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, ">ERROR 5:- Can not read from app/Resources/64Bit.dat \n \n"
                       ">Build Process Failed \n1  Error(s) \n");
}

TEST_F(BuildCommand, ANameLongerThanThePluginTakesIsCutAtACharacterAndSaidSo) {
    std::string name;
    for (int i = 0; i < 30; ++i) name += "\xC3\x9C"; // Ü
    SaveIn(name);
    const CliRun run = Build({});
    EXPECT_EQ(run.code, 0) << run.out;
    const std::string cut = name.substr(0, 2 * 23);
    EXPECT_EQ(run.out.rfind(">Name cut to 23 characters: " + cut + " \n>Opening Manifest \n", 0),
              0u)
        << run.out;
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / (cut + ".dll")));
}

TEST_F(BuildCommand, BadOptionsAreUsageErrors) {
    EXPECT_EQ(Build({"--platform", "16"}).code, 2);
    EXPECT_EQ(Build({"--panel", "wide"}).code, 2);
}

} // namespace
} // namespace tw
