// The preferences at start-up with the real project lifecycle: the demo project on a
// first start, the last project on the next one.
#include "devices/preferences.h"
#include "devices/preferences_host.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/fake_engine.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tw {
namespace {

const std::string kDefaultMode =
    "Tonewright default startup mode.\n\nPlease Visit:- Setup -> Preferences.";

// How often a message was shown (the scratch folder has no skin, so skin messages come
// and go around the ones that matter here).
int Find(const HeadlessPlatform& platform, const std::string& text) {
    int n = 0;
    for (const std::string& m : platform.MessageTexts()) n += m == text ? 1 : 0;
    return n;
}

class PreferencesStartup : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.Path() / "Resources");
        std::filesystem::create_directories(dir.Path() / "Projects");
        auto demo = test::MakeProject();
        SetText(demo->pluginName, "Demo Synth");
        test::AddModule(*demo, kTypeOscillator);
        HeadlessPlatform saver;
        ASSERT_TRUE(SaveProject(*demo, saver, DemoPath()));
        project = test::MakeProject();
        SetText(project->appFolder, dir.Path().string());
    }
    std::string DemoPath() const { return dir.Path().string() + "/Projects/Demo Synth.tw1"; }

    test::TempDir dir;
    std::unique_ptr<Project> project;
    HeadlessPlatform platform;
    test::FakeEngine engine;
    PlatformPreferencesHost host{platform, engine};
    DevicePreferences devices;
};

TEST_F(PreferencesStartup, AFirstStartOpensTheDemoAndTheNextStartReopensIt) {
    EXPECT_EQ(LoadPreferences(*project, devices, host), PreferencesRead::Missing);
    EXPECT_EQ(GetText(project->pluginName), "Demo Synth");
    EXPECT_EQ(GetText(project->projectPath), DemoPath());
    EXPECT_EQ(Find(platform, kDefaultMode), 1);

    ASSERT_TRUE(SavePreferences(*project, devices, host));
    auto next = test::MakeProject();
    SetText(next->appFolder, dir.Path().string());
    HeadlessPlatform nextPlatform;
    PlatformPreferencesHost nextHost{nextPlatform, engine};
    EXPECT_EQ(LoadPreferences(*next, devices, nextHost), PreferencesRead::Loaded);
    EXPECT_EQ(GetText(next->pluginName), "Demo Synth");
    EXPECT_EQ(Find(nextPlatform, kDefaultMode), 0);
}

TEST_F(PreferencesStartup, WithOpenLastSwitchedOffTheNextStartShowsANewProject) {
    LoadPreferences(*project, devices, host);
    project->openLastProject = 0;
    ASSERT_TRUE(SavePreferences(*project, devices, host));
    auto next = test::MakeProject();
    SetText(next->appFolder, dir.Path().string());
    EXPECT_EQ(LoadPreferences(*next, devices, host), PreferencesRead::Loaded);
    EXPECT_EQ(GetText(next->pluginName), "Synth");
    EXPECT_EQ(next->CountOccupied(), 0);
}

TEST_F(PreferencesStartup, AMissingDemoIsReportedAndTheDefaultsStay) {
    std::filesystem::remove(DemoPath());
    LoadPreferences(*project, devices, host);
    // The demo fails, then the empty last project path fails in the same way.
    EXPECT_EQ(Find(platform, "Unable To Open Project\n" + DemoPath()), 1);
    EXPECT_EQ(Find(platform, "Unable To Open Project\n"), 1);
    EXPECT_EQ(Find(platform, kDefaultMode), 1);
    EXPECT_EQ(GetText(project->pluginName), "Synth");
}

} // namespace
} // namespace tw
