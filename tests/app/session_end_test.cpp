// The end of a desktop session (logout, SIGTERM, SIGINT): nothing asked, unsaved work in the
// recovery copy, preferences written, in an installed program's own settings folder.
#include "app/commands.h"
#include "app/shell_rig.h"
#include "model/recovery.h"
#include "model/text.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace tw {
namespace {

namespace fs = std::filesystem;

TEST(SessionEnd, AFileOpensAsAChosenOneAndTheEndKeepsWorkAndPreferencesUnasked) {
    test::ShellRig rig;
    MainWindowOptions options;
    options.settingsFolder = rig.dir.File("config/tonewright");
    MainWindow& window = rig.Open(options);
    // A file named on the command line opens as a chosen one does: at once, or after the
    // question when there is unsaved work.
    const std::string other = rig.dir.File("Other.tw1");
    fs::copy_file(rig.DemoPath(), other);
    window.OpenFile(other);
    EXPECT_EQ(GetText(rig.P().projectPath), other);
    window.RunCommand(kCmdSelectAll);
    window.RunCommand(kCmdDelete);
    rig.services.answers = {MessageAnswer::Cancel};
    window.OpenFile(rig.DemoPath());
    EXPECT_EQ(rig.services.messages.back().text, "Save project first");
    EXPECT_EQ(GetText(rig.P().projectPath), other);
    QSignalSpy closed(&window, &MainWindow::Closed);
    const std::size_t shown = rig.services.messages.size();
    window.EndSession();
    EXPECT_EQ(rig.services.messages.size(), shown);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(fs::exists(rig.dir.File("config/tonewright/Tonewright_v0.414.cfg")));
    EXPECT_FALSE(fs::exists(rig.PreferencesFile()));
    // The copy waits in the program's own folder, offered once the program is gone.
    const std::string copy = window.RecoveryCopyPath();
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_EQ(fs::path(copy).parent_path().parent_path(),
              rig.dir.Path() / "config/tonewright/Recovery");
}

// Ending cannot wait for anyone: preferences that cannot be written are no box.
TEST(SessionEnd, AnEndThatCannotWriteItsFilesShowsNothing) {
    test::ShellRig rig;
    test::WriteFileText(rig.dir.File("blocker"), "a file where a folder should be");
    MainWindowOptions options;
    options.settingsFolder = rig.dir.File("blocker/tonewright");
    MainWindow& window = rig.Open(options);
    window.RunCommand(kCmdSelectAll);
    window.RunCommand(kCmdDelete);
    rig.services.ClearRecord();
    QSignalSpy closed(&window, &MainWindow::Closed);
    window.EndSession();
    EXPECT_EQ(rig.services.MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(closed.count(), 1);
}

// The real program, on its first start with the "default startup mode" notice waiting for
// an answer, ends by itself within 2 s of SIGTERM, its preferences written.
TEST(SessionEnd, SigtermEndsTheProgramWhileAMessageBoxIsOpen) {
    test::ShellRig rig;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), QString::fromStdString(rig.dir.Path().string()));
    env.insert(QStringLiteral("JACK_NO_START_SERVER"), QStringLiteral("1"));
    // Under AddressSanitizer the program probes every sound system, whose libraries keep
    // caches to the end; this test is about how the program ends, not about those.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(rig.dir.Path().string()));
    program.start(QStringLiteral(TW_STAGED_APP_DIR "/tonewright"), {});
    ASSERT_TRUE(program.waitForStarted());
    // Time to reach the message box, on a busy machine too.
    EXPECT_FALSE(program.waitForFinished(3000)) << program.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(2000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(fs::exists(rig.PreferencesFile()));
}

} // namespace
} // namespace tw
