// An installed program (<prefix>/bin beside <prefix>/share/tonewright/Resources) keeps the
// user's files in the XDG folders; one anywhere else keeps all in its working folder.
#include "model/app_folders.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

TEST(AppFolders, InstalledProgramsUseTheUsersFoldersAndOthersTheWorkingFolder) {
    TempDir dir;
    for (const char* folder : {"usr/share/tonewright/Resources", "app/Resources", "else", "bin"})
        fs::create_directories(dir.Path() / folder);
    const std::string data = dir.File("usr/share/tonewright"), app = dir.File("app"),
                      other = dir.File("else"), installed = dir.File("usr/bin/tonewright");
    const AppFolders user{data, "/h/.config/tonewright", "/h/.local/share/tonewright", true};
    const struct {
        std::string program, workingFolder;
        bool workingFolderFirst;
        const char* environment; // " NAME=value" each
        AppFolders want;
    } rows[] = {
        {dir.File("app/tonewright"), app, false, " HOME=/h", {app, "", "", false}}, // make run
        {dir.File("bin/tonewright"), other, false, " HOME=/h", {other, "", "", false}},
        {installed, other, false, " HOME=/h", user},
        {installed, app, false, " HOME=/h", user},
        {installed,
         other,
         false,
         " HOME=/h XDG_CONFIG_HOME=/c XDG_DATA_HOME=/d",
         {data, "/c/tonewright", "/d/tonewright", true}},
        {installed, other, false, " HOME=/h XDG_CONFIG_HOME=c XDG_DATA_HOME=", user},
        {installed, app, true, " HOME=/h", {app, "", "", false}}, // the tool in an app folder
        {installed, other, true, " HOME=/h", user},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.program + " in " + row.workingFolder + row.environment);
        const std::string env = std::string(row.environment) + " ";
        const AppFolders got = ResolveAppFolders(
            row.program, row.workingFolder,
            [&](const char* name) -> std::optional<std::string> {
                const std::size_t at = env.find(" " + std::string(name) + "=");
                if (at == std::string::npos) return std::nullopt;
                const std::size_t from = env.find('=', at) + 1;
                return env.substr(from, env.find(' ', from) - from);
            },
            row.workingFolderFirst);
        EXPECT_EQ(std::tie(got.app, got.settings, got.user, got.installed),
                  std::tie(row.want.app, row.want.settings, row.want.user, row.want.installed));
        auto project = std::make_unique<Project>();
        ApplyAppFolders(*project, got);
        EXPECT_EQ(SettingsFolder(*project), got.installed ? got.settings : got.app + "/Resources");
    }
}

// The first start copies the installed projects for the user, writable; later starts leave
// the user's folder alone, even after the user emptied it.
TEST(AppFolders, TheDemoIsCopiedForTheUserOnce) {
    TempDir dir;
    const AppFolders folders{dir.File("app"), dir.File("config"), dir.File("user"), true};
    fs::create_directories(dir.Path() / "app/Projects");
    const std::string installed = dir.File("app/Projects/Demo Synth.tw1");
    test::WriteFileBytes(installed, {'H', 'E', 'D', '#'});
    fs::permissions(installed, fs::perms::owner_read);
    auto project = std::make_unique<Project>();
    ApplyAppFolders(*project, folders);
    EXPECT_EQ(DemoProjectPath(*project), installed);
    EXPECT_EQ(CopyProjectsForUser(folders), 1);
    const std::string copy = dir.File("user/Projects/Demo Synth.tw1");
    EXPECT_EQ(DemoProjectPath(*project), copy);
    EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_write, fs::perms::none);
    fs::remove(copy);
    EXPECT_EQ(CopyProjectsForUser(folders), 0);
    EXPECT_FALSE(fs::exists(copy));
}

} // namespace
} // namespace tw::test
