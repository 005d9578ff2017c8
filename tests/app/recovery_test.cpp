// Crash recovery as a user meets it: killed with unsaved work, the next start offers it
// back. The killed program is this test program run again on one disabled test.
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
constexpr const char* kQuestion =
    "Tonewright did not close normally. Restore the unsaved changes to Demo Synth?";

void DeleteEverything(MainWindow& window) {
    window.RunCommand(kCmdSelectAll);
    window.RunCommand(kCmdDelete);
}

// Waits for the window's copy (another than `old`) to be on disk.
std::string WaitForCopy(MainWindow& window, const std::string& old = {}) {
    for (int i = 0;
         i < 100 && (window.RecoveryCopyPath().empty() || window.RecoveryCopyPath() == old); ++i)
        QTest::qWait(20);
    window.Recovery().Flush();
    return window.RecoveryCopyPath();
}

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
    DeleteEverything(window);
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

    rig.services.answerTo[kQuestion] = MessageAnswer::Yes;
    MainWindow& window = rig.Open();
    ASSERT_FALSE(rig.services.messages.empty());
    EXPECT_EQ(rig.services.messages.back().text, kQuestion);
    EXPECT_EQ(rig.P().CountOccupied(), 0) << "the deletion is back";
    EXPECT_EQ(GetText(rig.P().projectPath), rig.DemoPath());
    EXPECT_EQ(window.windowTitle().toStdString(), "Tonewright - " + rig.DemoPath() + " *");
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

// A second program (a project double-clicked in a file manager) leaves the first one's live
// copy alone; once the first is gone, its copy is offered.
TEST(RecoveryOwnership, ARunningProgramsCopyIsOfferedOnlyOnceItIsGone) {
    test::ShellRig rig;
    MainWindowOptions quick;
    quick.recoveryDelayMs = 50;
    quick.appFolder = rig.dir.Path().string();
    auto first = std::make_unique<MainWindow>(rig.services, quick);
    first->Start();
    DeleteEverything(*first);
    const std::string copy = WaitForCopy(*first);
    ASSERT_FALSE(copy.empty());
    ASSERT_FALSE(FindRecoveryCopy(first->Context().project).has_value());

    rig.services.ClearRecord();
    rig.Open();
    for (const std::string& text : rig.services.MessageTexts())
        EXPECT_FALSE(text.starts_with("Tonewright did not close normally")) << text;
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_GT(rig.P().CountOccupied(), 0);

    // The first program ends without closing (as a crash does): a third start offers its work.
    first.reset();
    rig.services.answerTo[kQuestion] = MessageAnswer::Yes;
    MainWindow& third = rig.Open();
    EXPECT_EQ(rig.P().CountOccupied(), 0);
    EXPECT_TRUE(third.History().Modified());
    // The copy moved into the third program's own folder: nobody else is offered it now.
    EXPECT_NE(third.RecoveryCopyPath(), copy);
    EXPECT_TRUE(fs::exists(third.RecoveryCopyPath()));
}

// A stop signal while the question is open answers nothing: the copy waits for the next
// start.
TEST(RecoveryOwnership, AStopWhileTheQuestionIsOpenKeepsTheCopy) {
    test::ShellRig rig;
    {
        MainWindow& dying = rig.Open();
        DeleteEverything(dying);
        dying.EndSession();
    }
    rig.window.reset();
    rig.services.whileOpen = [&rig](std::string_view text) {
        if (text.starts_with("Tonewright did not close normally")) rig.W().EndSession();
    };
    rig.Open();
    rig.services.whileOpen = nullptr;
    EXPECT_TRUE(FindRecoveryCopy(rig.P()).has_value());
}

// The file saved is the file open, and "Save" writes it without a word; a new project is
// untitled everywhere.
TEST(RecoveryOwnership, SavingUnderANewNameMovesTheProjectThereAndSaveNeedsNoDialog) {
    test::ShellRig rig;
    MainWindowOptions quick;
    quick.recoveryDelayMs = 50;
    MainWindow& window = rig.Open(quick);
    const std::string title = "Tonewright - " + rig.DemoPath();
    EXPECT_EQ(window.windowTitle().toStdString(), title);
    DeleteEverything(window);
    EXPECT_EQ(window.windowTitle().toStdString(), title + " *");

    const std::string other = rig.dir.File("Other.tw1");
    rig.services.savePaths = {other};
    rig.services.answers = {MessageAnswer::Ok};
    window.RunCommand(kCmdSaveProject);
    EXPECT_EQ(GetText(rig.P().projectPath), other);
    EXPECT_EQ(window.windowTitle().toStdString(), "Tonewright - " + other);

    window.RunCommand(kCmdUndo);
    EXPECT_EQ(window.windowTitle().toStdString(), "Tonewright - " + other + " *");
    const std::string copy = WaitForCopy(window);
    EXPECT_EQ(test::ReadFileText(copy + ".origin"), other);
    rig.services.ClearRecord();
    const auto before = fs::last_write_time(other);
    window.RunCommand(kCmdSave);
    EXPECT_EQ(rig.services.MessageTexts(), std::vector<std::string>{});
    EXPECT_GT(fs::last_write_time(other), before);
    EXPECT_EQ(window.windowTitle().toStdString(), "Tonewright - " + other);

    // A new project has no file: its copy is offered as the untitled project it is, and its
    // first "Save" asks where.
    window.RunCommand(kCmdNewProject);
    EXPECT_EQ(GetText(rig.P().projectPath), "");
    window.RunCommand(kCmdSnapToGrid);
    const std::string newCopy = WaitForCopy(window, copy);
    EXPECT_EQ(test::ReadFileText(newCopy + ".origin"), "");
    EXPECT_NE(fs::path(newCopy).stem().string(), "Other");
    const std::string third = rig.dir.File("Third.tw1");
    rig.services.savePaths = {third};
    rig.services.answers = {MessageAnswer::Ok};
    window.RunCommand(kCmdSave);
    EXPECT_TRUE(fs::exists(third));
    EXPECT_EQ(GetText(rig.P().projectPath), third);
}

} // namespace
} // namespace tw
