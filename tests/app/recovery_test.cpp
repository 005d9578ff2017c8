// Crash recovery as a user meets it: the program is killed with unsaved work, and the next
// start offers the work back. The killed program is this test program run again on one
// disabled test that plays the user.
#include "app/commands.h"
#include "app/shell_rig.h"
#include "model/history.h"
#include "model/recovery.h"
#include "model/text.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace tw {
namespace {

namespace fs = std::filesystem;
constexpr const char* kChildFolder = "TW_RECOVERY_CHILD_FOLDER";

// The program that is killed: opens the demo, deletes everything, waits for the recovery
// copy, says so and waits to die.
TEST(Recovery, DISABLED_ProgramKilledWithUnsavedWork) {
    const char* folder = std::getenv(kChildFolder);
    ASSERT_NE(folder, nullptr);
    HeadlessPlatform services;
    MainWindowOptions options;
    options.appFolder = folder;
    options.audioApi = AudioApi::Jack;
    options.midiApi = MidiApi::Jack;
    options.recoveryDelayMs = 200;
    MainWindow window(services, options);
    window.Start();
    window.RunCommand(kCmdSelectAll);
    window.RunCommand(kCmdDelete);
    ASSERT_EQ(window.Context().project.CountOccupied(), 0);
    while (window.RecoveryCopyPath().empty()) QTest::qWait(20);
    window.Recovery().Flush();
    std::printf("copy written\n");
    std::fflush(stdout);
    for (;;) QTest::qWait(1000);
}

TEST(Recovery, AKilledProgramsUnsavedWorkComesBackAtTheNextStart) {
    test::ShellRig rig;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildFolder, QString::fromStdString(rig.dir.Path().string()));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral("/proc/self/exe"),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=Recovery.DISABLED_ProgramKilledWithUnsavedWork")});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray said;
    for (int i = 0; i < 300 && !said.contains("copy written"); ++i) {
        child.waitForReadyRead(100);
        said += child.readAllStandardOutput();
    }
    ASSERT_TRUE(said.contains("copy written")) << said.toStdString();
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished());
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

    const std::string question =
        "Tonewright did not close normally. Restore the unsaved changes to Demo Synth?";
    rig.services.answerTo[question] = MessageAnswer::Yes;
    MainWindow& window = rig.Open();
    ASSERT_FALSE(rig.services.messages.empty());
    EXPECT_EQ(rig.services.messages.back().text, question);
    EXPECT_EQ(rig.P().CountOccupied(), 0) << "the deletion is back";
    EXPECT_EQ(GetText(rig.P().projectPath), rig.DemoPath());
    EXPECT_EQ(window.windowTitle().toStdString(), "Tonewright - " + rig.DemoPath());
    EXPECT_TRUE(window.History().Modified());

    // Saving makes the copy needless: it goes at the next tick.
    const std::string copy = window.RecoveryCopyPath();
    ASSERT_TRUE(fs::exists(copy));
    rig.services.savePaths = {rig.DemoPath()};
    rig.services.answers = {MessageAnswer::Ok};
    window.RunCommand(kCmdSaveProject);
    QTest::qWait(120); // a repaint tick
    window.Recovery().Flush();
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_FALSE(FindRecoveryCopy(rig.P()).has_value());
}

} // namespace
} // namespace tw
