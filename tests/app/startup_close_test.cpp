// Start-up and the close procedure of the main window.
#include "app/child_window.h"
#include "app/main_window.h"
#include "app/shell_rig.h"
#include "app/toolbar.h"
#include "devices/file_io.h"
#include "devices/preferences.h"
#include "editors/dsp_editor_widget.h"
#include "editors/properties_widget.h"
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "support/files.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>

namespace tw {
namespace {

using test::ShellRig;

constexpr const char* kDefaultModeText =
    "Tonewright default startup mode.\n\nPlease Visit:- Setup -> Preferences.";

// Where the window stands on screen, in the main window's client coordinates.
QRect ClientRect(ShellRig& rig, EditorWindow w) {
    return rig.W().Child(w)->geometry().translated(kSidePanelWidth, kToolbarBand);
}

TEST(StartUp, FirstStartOpensTheDemoAndSaysOnceThatItRunsOnDefaults) {
    ShellRig rig;
    MainWindow& w = rig.Open();
    EXPECT_EQ(w.windowTitle().toStdString(), "Tonewright - " + rig.DemoPath());
    EXPECT_EQ(GetText(rig.P().projectPath), rig.DemoPath());
    EXPECT_GT(rig.P().CountOccupied(), 0);
    // The preferences are read twice and the demo opened more than once; the user is told
    // about the default mode a single time.
    EXPECT_EQ(rig.Count(kDefaultModeText), 1);
    EXPECT_TRUE(w.RepaintTimerActive());
    EXPECT_TRUE(w.isMaximized());
    // Audio does not start by itself.
    EXPECT_FALSE(w.Context().audio.IsRunning());
    EXPECT_FALSE(w.Toolbar()->AudioShownRunning());
    EXPECT_EQ(w.Toolbar()->ZoomList()->currentText().toStdString(), "100%");
    EXPECT_EQ(w.Toolbar()->PatchNameField()->text().toStdString(), GetText(rig.P().patchNames[0]));
}

TEST(StartUp, MessagesAfterStartUpAreNoLongerFolded) {
    ShellRig rig;
    rig.Open();
    rig.services.ClearRecord();
    rig.W().RunCommand(1025);
    rig.W().RunCommand(1025);
    EXPECT_EQ(rig.Count("Please do not press this button again."), 2);
}

TEST(StartUp, AMissingDemoIsReportedOnceAndLeavesAnEmptyNewProject) {
    ShellRig rig;
    std::filesystem::remove(rig.DemoPath());
    rig.Open();
    EXPECT_EQ(rig.Count("Unable To Open Project\n" + rig.DemoPath()), 1);
    EXPECT_EQ(rig.P().CountOccupied(), 0);
    EXPECT_EQ(GetText(rig.P().pluginName), "Synth");
}

TEST(StartUp, PreferencesThatNameALastProjectReopenIt) {
    ShellRig rig;
    // A first run writes the preferences with the demo as the last project.
    rig.services.answers = {MessageAnswer::Ok, MessageAnswer::Ok, MessageAnswer::Ok};
    rig.Open();
    rig.services.answers.push_back(MessageAnswer::No);
    ASSERT_TRUE(rig.W().CloseProcedure());
    rig.window.reset();
    ASSERT_TRUE(ReadWholeFile(rig.PreferencesFile()));

    rig.services.ClearRecord();
    rig.Open();
    EXPECT_EQ(rig.Count(kDefaultModeText), 0);
    EXPECT_EQ(GetText(rig.P().projectPath), rig.DemoPath());
    EXPECT_GT(rig.P().CountOccupied(), 0);
}

TEST(StartUp, A48kHzPreferenceTunesTheEngineBeforeTheFirstNote) {
    ShellRig rig;
    {
        Project defaults;
        DevicePreferences devices;
        devices.sampleRateCode = 1;
        const std::string bytes = EncodePreferences(defaults, devices);
        test::WriteFileBytes(rig.PreferencesFile(), {bytes.begin(), bytes.end()});
    }
    rig.Open();
    Engine& engine = rig.W().Context().engine;
    EXPECT_EQ(engine.sampleRate, 48000.0f);
    // A440 at 48 kHz: the phase step per sample for 1 Hz is built from the new rate.
    EXPECT_EQ(engine.oscillators.radiansPerHertz, (1.0f / 48000.0f) * 6.283184f);
    EXPECT_NEAR(engine.notes.frequencyPerSample[69] * 48000.0f, 440.0f, 0.01f);
}

TEST(StartUp, ChildWindowsHaveTheirTitlesColoursAndPlaces) {
    ShellRig rig;
    // Without the demo the new-project defaults place the windows.
    std::filesystem::remove(rig.DemoPath());
    MainWindow& w = rig.Open();
    const struct {
        EditorWindow window;
        const char* title;
    } expected[] = {{EditorWindow::DspEditor, "Dsp Editor"},
                    {EditorWindow::GuiEditor, "Gui Editor"},
                    {EditorWindow::VirtualKeyboard, "Virtual Keyboard"},
                    {EditorWindow::MidiMonitor, "Midi Monitor"}};
    for (const auto& e : expected) {
        ChildWindow* child = w.Child(e.window);
        ASSERT_NE(child, nullptr) << e.title;
        EXPECT_EQ(child->windowTitle().toStdString(), e.title);
        EXPECT_TRUE(child->isVisible()) << e.title;
        EXPECT_EQ(child->widget()->palette().color(QPalette::Window), QColor(206, 206, 200));
    }
    EXPECT_EQ(w.WorkArea()->subWindowList().size(), 4);
    EXPECT_EQ(w.WorkArea()->background().color(), QColor(128, 128, 128));
    EXPECT_EQ(w.Properties()->width(), 160);
    EXPECT_EQ(w.Properties()->palette().color(QPalette::Window), QColor(240, 240, 240));

    // Every window stands inside the work area, right of the Properties panel and below
    // the toolbar band; the small ones keep their fixed sizes.
    const QSize area = w.WorkArea()->viewport()->size();
    for (const auto& e : expected) {
        const QRect r = ClientRect(rig, e.window);
        EXPECT_GE(r.x(), 160) << e.title;
        EXPECT_GE(r.y(), 39) << e.title;
        if (w.Child(e.window)->Sizeable()) {
            EXPECT_LE(r.x() + r.width() - 160, area.width()) << e.title;
        }
    }
    EXPECT_EQ(ClientRect(rig, EditorWindow::VirtualKeyboard).size(), QSize(719, 65));
    EXPECT_EQ(ClientRect(rig, EditorWindow::MidiMonitor), QRect(250, 220, 156, 65));
    // The default layout lets the Dsp Editor fill the work area's width below the toolbar.
    EXPECT_EQ(ClientRect(rig, EditorWindow::DspEditor).topLeft(), QPoint(160, 39));
    EXPECT_EQ(ClientRect(rig, EditorWindow::DspEditor).width(), area.width());
    // The two small windows cannot be resized; the editors can.
    EXPECT_EQ(w.Child(EditorWindow::VirtualKeyboard)->minimumSize(),
              w.Child(EditorWindow::VirtualKeyboard)->maximumSize());
    EXPECT_NE(w.Child(EditorWindow::GuiEditor)->minimumSize(),
              w.Child(EditorWindow::GuiEditor)->maximumSize());
}

TEST(StartUp, TheShiftFlagFollowsTheKey) {
    ShellRig rig;
    MainWindow& w = rig.Open();
    QWidget* target = w.Child(EditorWindow::DspEditor)->widget();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QApplication::sendEvent(target, &press);
    EXPECT_TRUE(w.DspEditor()->Session().shiftHeld);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
    EXPECT_FALSE(w.DspEditor()->Session().shiftHeld);
}

class CloseProcedure : public ::testing::Test {
protected:
    void SetUp() override {
        rig.Open();
        std::filesystem::remove(rig.PreferencesFile());
        rig.services.ClearRecord();
    }
    ShellRig rig;
};

TEST_F(CloseProcedure, CancelKeepsEverythingRunning) {
    QSignalSpy closed(rig.window.get(), &MainWindow::Closed);
    rig.services.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(rig.W().close());
    ASSERT_EQ(rig.services.messages.size(), 1u);
    const RecordedMessage& asked = rig.services.messages[0];
    EXPECT_EQ(asked.text, "Save project first");
    EXPECT_EQ(asked.caption, "Tonewright");
    EXPECT_EQ(asked.buttons, MessageButtons::YesNoCancel);
    EXPECT_EQ(asked.icon, MessageIcon::Question);
    EXPECT_TRUE(rig.W().isVisible());
    EXPECT_TRUE(rig.W().RepaintTimerActive());
    EXPECT_FALSE(rig.W().HasClosed());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(rig.PreferencesFile()));
}

TEST_F(CloseProcedure, NoWritesThePreferencesButNotTheProject) {
    QSignalSpy closed(rig.window.get(), &MainWindow::Closed);
    rig.services.answers = {MessageAnswer::No};
    EXPECT_TRUE(rig.W().close());
    EXPECT_TRUE(rig.W().HasClosed());
    EXPECT_FALSE(rig.W().RepaintTimerActive());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(std::filesystem::exists(rig.PreferencesFile()));
    EXPECT_EQ(rig.services.messages.size(), 1u);
    // Once closed, nothing asks again.
    EXPECT_TRUE(rig.W().CloseProcedure());
    EXPECT_EQ(rig.services.messages.size(), 1u);
}

TEST_F(CloseProcedure, YesSavesTheProjectFirst) {
    const std::string saved = rig.dir.File("Saved.tw1");
    rig.services.answers = {MessageAnswer::Yes, MessageAnswer::Ok};
    rig.services.savePaths = {saved};
    EXPECT_TRUE(rig.W().close());
    EXPECT_TRUE(std::filesystem::exists(saved));
    EXPECT_TRUE(std::filesystem::exists(rig.PreferencesFile()));
}

TEST_F(CloseProcedure, ASaveThatDidNotHappenKeepsTheProgramRunning) {
    rig.services.answers = {MessageAnswer::Yes};
    rig.services.savePaths = {std::nullopt};
    EXPECT_FALSE(rig.W().close());
    EXPECT_FALSE(rig.W().HasClosed());
    EXPECT_TRUE(rig.W().RepaintTimerActive());
    EXPECT_FALSE(std::filesystem::exists(rig.PreferencesFile()));
}

TEST_F(CloseProcedure, ExitRunsTheSameProcedure) {
    rig.services.answers = {MessageAnswer::Cancel};
    rig.W().RunCommand(1015);
    EXPECT_FALSE(rig.W().HasClosed());
    rig.services.answers = {MessageAnswer::No};
    rig.W().RunCommand(1015);
    EXPECT_TRUE(rig.W().HasClosed());
}

} // namespace
} // namespace tw
