// Replacing files whole: the mode a replaced file keeps, links and writers side by side.
// (Half-way failures are tested where the program writes: project, preferences, build.)
#include "platform/atomic_file.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tw {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    const std::vector<uint8_t> b = test::ReadFileBytes(path);
    return {b.begin(), b.end()};
}
mode_t Mode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}
std::size_t Entries(const test::TempDir& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.Path()), {}));
}

TEST(AtomicFile, AReplacedFileKeepsItsModeAndANewOneGetsTheUsualMode) {
    test::TempDir dir;
    // What any program's new file gets under this process's umask.
    test::WriteFileBytes(dir.File("usual"), {});
    const struct {
        const char* name;
        mode_t before; // 0: no file yet
        mode_t after;
    } cases[] = {{"private", 0600, 0600},
                 {"program", 0755, 0755},
                 {"read-only", 0444, 0444},
                 {"new", 0, Mode(dir.File("usual"))}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        if (c.before != 0) {
            test::WriteFileBytes(path, {1, 2, 3, 4, 5, 6, 7, 8});
            chmod(path.c_str(), c.before);
        }
        ASSERT_TRUE(ReplaceFile(path, "new"));
        EXPECT_EQ(Read(path), "new");
        EXPECT_EQ(Mode(path), c.after);
    }
    EXPECT_EQ(Entries(dir), 5u); // no temporary file is left
}

TEST(AtomicFile, ALinkStaysALinkAndTheFileItPointsToIsReplaced) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("real"), {1});
    chmod(dir.File("real").c_str(), 0640);
    fs::create_symlink("real", dir.Path() / "link");
    ASSERT_TRUE(ReplaceFile(dir.File("link"), "through the link"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link"));
    EXPECT_EQ(Read(dir.File("real")), "through the link");
    EXPECT_EQ(Mode(dir.File("real")), 0640u);
    EXPECT_EQ(Entries(dir), 2u);
}

TEST(AtomicFile, WritersSideBySideEachPutAWholeFileAndTheLastCommitWins) {
    test::TempDir dir;
    const std::string path = dir.File("shared");
    AtomicFile first(path), second(path), abandoned(path);
    ASSERT_TRUE(first.IsOpen() && second.IsOpen() && abandoned.IsOpen());
    EXPECT_TRUE(first.Write("first ") && second.Write("second ") && abandoned.Write("x"));
    EXPECT_TRUE(first.Write("writer") && second.Write("writer"));
    abandoned.Abandon();
    ASSERT_TRUE(second.Commit());
    EXPECT_EQ(Read(path), "second writer");
    ASSERT_TRUE(first.Commit());
    EXPECT_EQ(Read(path), "first writer");
    EXPECT_EQ(Entries(dir), 1u);
}

} // namespace
} // namespace tw
