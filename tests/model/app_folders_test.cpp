// Where the program looks and writes: an installed program (in <prefix>/bin beside
// <prefix>/share/tonewright/Resources) keeps the user's files in the XDG folders; a program
// anywhere else keeps everything in its working folder, as `make run` always has.
#include "model/app_folders.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <map>
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
    using Env = std::map<std::string, std::string>;
    const Env home = {{"HOME", "/h"}};
    const AppFolders asInstalled{data, "/h/.config/tonewright", "/h/.local/share/tonewright", true};
    const struct {
        const char* what;
        std::string program, workingFolder;
        bool workingFolderFirst;
        Env env;
        AppFolders want;
    } rows[] = {
        {"make run", dir.File("app/tonewright"), app, false, home, {app, "", "", false}},
        {"a bin without data", dir.File("bin/tonewright"), other, false, home, {other, "", ""}},
        {"installed, from anywhere", installed, other, false, home, asInstalled},
        {"installed, from an app folder", installed, app, false, home, asInstalled},
        {"XDG folders",
         installed,
         other,
         false,
         {{"HOME", "/h"}, {"XDG_CONFIG_HOME", "/c"}, {"XDG_DATA_HOME", "/d"}},
         {data, "/c/tonewright", "/d/tonewright", true}},
        {"relative XDG folders are ignored",
         installed,
         other,
         false,
         {{"HOME", "/h"}, {"XDG_CONFIG_HOME", "c"}, {"XDG_DATA_HOME", ""}},
         asInstalled},
        {"the tool in an app folder", installed, app, true, home, {app, "", "", false}},
        {"the tool elsewhere", installed, other, true, home, asInstalled},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const AppFolders got = ResolveAppFolders(
            row.program, row.workingFolder,
            [&](const char* name) -> std::optional<std::string> {
                const auto it = row.env.find(name);
                return it == row.env.end() ? std::nullopt : std::optional(it->second);
            },
            row.workingFolderFirst);
        EXPECT_EQ(std::tie(got.app, got.settings, got.user, got.installed),
                  std::tie(row.want.app, row.want.settings, row.want.user, row.want.installed));
        auto project = std::make_unique<Project>();
        ApplyAppFolders(*project, got);
        EXPECT_EQ(SettingsFolder(*project),
                  row.want.installed ? row.want.settings : row.want.app + "/Resources");
    }
}

// The first start copies the installed projects for the user, writable; later starts leave
// the user's folder alone, even after the user emptied it.
TEST(AppFolders, TheDemoIsCopiedForTheUserOnce) {
    TempDir dir;
    const AppFolders folders{dir.File("app"), dir.File("config"), dir.File("user"), true};
    fs::create_directories(dir.Path() / "app/Projects");
    test::WriteFileBytes(dir.File("app/Projects/Demo Synth.tw1"), {'H', 'E', 'D', '#'});
    fs::permissions(dir.File("app/Projects/Demo Synth.tw1"), fs::perms::owner_read);
    auto project = std::make_unique<Project>();
    ApplyAppFolders(*project, folders);
    EXPECT_EQ(DemoProjectPath(*project), dir.File("app/Projects/Demo Synth.tw1"));
    EXPECT_EQ(CopyProjectsForUser(folders), 1);
    const std::string copy = dir.File("user/Projects/Demo Synth.tw1");
    EXPECT_EQ(DemoProjectPath(*project), copy);
    EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_write, fs::perms::none);
    fs::remove(copy);
    EXPECT_EQ(CopyProjectsForUser(folders), 0);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(CopyProjectsForUser({dir.File("app"), "", "", false}), 0);
}

} // namespace
} // namespace tw::test
