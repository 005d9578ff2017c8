// The main window: start-up, the close procedure, and what its commands and toolbar
// controls do to the project and the windows.
#include "app/child_window.h"
#include "app/commands.h"
#include "app/shell_rig.h"
#include "app/toolbar.h"
#include "devices/preferences.h"
#include "editors/dsp_editor_widget.h"
#include "editors/gui_editor_widget.h"
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "support/builders.h"
#include "support/qt_checks.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace tw {
namespace {

using test::ShellRig;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

TEST(StartUp, FirstStartOpensTheDemoSaysOnceThatItRunsOnDefaultsAndShowsEveryWindow) {
    ShellRig rig;
    MainWindow& w = rig.Open();
    EXPECT_EQ(w.windowTitle().toStdString(), "Tonewright - " + rig.DemoPath());
    EXPECT_TRUE(w.isMaximized() && w.RepaintTimerActive());
    QStringList titles;
    for (int i = 0; i < 4; ++i)
        if (w.Child(EditorWindow(i))->isVisible())
            titles << w.Child(EditorWindow(i))->windowTitle();
    EXPECT_EQ(titles,
              (QStringList{"Dsp Editor", "Gui Editor", "Virtual Keyboard", "Midi Monitor"}));
    // The preferences are read twice and the demo opened more than once: the user is told
    // about the default mode once. Later messages are all shown; audio waits to be started.
    const auto said = [&rig](const char* text) {
        const Texts texts = rig.services.MessageTexts();
        return std::count(texts.begin(), texts.end(), text);
    };
    // What the start-up has to say waits for no click: it is one line on the status bar.
    EXPECT_EQ(said("Tonewright default startup mode.\n\nPlease Visit:- Setup -> Preferences."), 0);
    EXPECT_TRUE(w.StartNotice().contains(
        "Tonewright default startup mode. Please Visit:- Setup -> Preferences."));
    w.RunCommand(kCmdJoke);
    w.RunCommand(kCmdJoke);
    EXPECT_EQ(said("Please do not press this button again."), 2);
    w.RunCommand(kCmdStartAudio);
    EXPECT_EQ(rig.services.MessageTexts().back(), "There is no audio output device to play on.");
    EXPECT_FALSE(w.Context().audio.IsRunning() || w.Toolbar()->AudioShownRunning());
}

TEST(StartUp, A48kHzPreferenceTunesTheEngineAndWithNothingToReopenANewProjectShows) {
    ShellRig rig;
    DevicePreferences devices;
    devices.sampleRateCode = 1;
    const std::string bytes = EncodePreferences(Project(), devices); // "open last" off
    test::WriteFileBytes(rig.PreferencesFile(), {bytes.begin(), bytes.end()});
    MainWindow& w = rig.Open();
    const Engine& engine = w.Context().engine;
    EXPECT_EQ(engine.sampleRate, 48000.0f);
    EXPECT_NEAR(engine.notes.frequencyPerSample[69] * 48000.0f, 440.0f, 0.01f);
    // The panel is painted on its skin's background.
    ASSERT_NE(rig.P().background.bitmap, nullptr);
    EXPECT_EQ(w.GuiEditor()->grab().toImage().pixel(5, 5) | 0xFF000000u,
              rig.P().background.bitmap->At(5, 5) | 0xFF000000u);
}

TEST(StartUp, ALastProjectThatIsGoneIsOneLineOnTheStatusBarNotABox) {
    ShellRig rig;
    auto last = std::make_unique<Project>();
    last->openLastProject = 1;
    const std::string gone = rig.dir.File("Projects/Gone.tw1");
    SetText(last->projectPath, gone);
    const std::string bytes = EncodePreferences(*last, DevicePreferences{});
    test::WriteFileBytes(rig.PreferencesFile(), {bytes.begin(), bytes.end()});
    MainWindow& w = rig.Open();
    EXPECT_EQ(rig.services.MessageTexts(), Texts{});
    const QString line = w.StartNotice();
    EXPECT_TRUE(line.contains(QString::fromStdString("Unable To Open Project " + gone)))
        << line.toStdString();
    EXPECT_TRUE(line.contains("File > Open Project..."));
    EXPECT_EQ(w.statusBar()->findChild<QLabel*>("StartNotice")->text(), line);
}

TEST(CloseProcedure, AsksToSaveFirstAndEndsOnlyWhenTheAnswerAllows) {
    const struct {
        const char* how;
        std::vector<MessageAnswer> answers;
        bool saveChosen, closes;
    } rows[] = {{"Nothing changed: nothing to ask", {}, false, true},
                {"Cancel", {MessageAnswer::Cancel}, false, false},
                {"No", {MessageAnswer::No}, false, true},
                {"Yes", {MessageAnswer::Yes, MessageAnswer::Ok}, true, true},
                {"Yes, but the save dialog is cancelled", {MessageAnswer::Yes}, false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        ShellRig rig;
        rig.Open();
        fs::remove(rig.PreferencesFile());
        const bool changed = !row.answers.empty();
        if (changed) {
            rig.W().RunCommand(kCmdSelectAll);
            rig.W().RunCommand(kCmdDelete);
        }
        rig.services.ClearRecord();
        rig.services.answers = {row.answers.begin(), row.answers.end()};
        rig.services.savePaths = {row.saveChosen ? std::optional(rig.dir.File("Saved.tw1"))
                                                 : std::nullopt};
        QSignalSpy closed(rig.window.get(), &MainWindow::Closed);
        EXPECT_EQ(rig.W().close(), row.closes);
        EXPECT_EQ(rig.services.messages.empty(), !changed);
        if (changed) {
            EXPECT_EQ(rig.services.messages.at(0).text, "Save project first");
            EXPECT_EQ(rig.services.messages.at(0).buttons, MessageButtons::YesNoCancel);
        }
        EXPECT_EQ(rig.W().HasClosed(), row.closes);
        EXPECT_EQ(closed.count(), row.closes ? 1 : 0);
        EXPECT_EQ(rig.W().RepaintTimerActive(), !row.closes);
        // The preferences are written on the way out, the project only when saved.
        EXPECT_EQ(fs::exists(rig.PreferencesFile()), row.closes);
        EXPECT_EQ(fs::exists(rig.dir.File("Saved.tw1")), row.saveChosen);
    }
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        rig.Open();
        rig.services.ClearRecord();
    }
    void Run(int32_t command) { rig.W().RunCommand(command); }
    Platform& Shell() { return rig.W().ShellPlatform(); }
    QRect Rect(EditorWindow w) {
        const WindowRect r = Shell().EditorWindowRect(w);
        return QRect(r.x, r.y, r.width, r.height);
    }
    std::vector<bool> Visible() {
        std::vector<bool> visible;
        for (int i = 0; i < kEditorWindowCount; ++i)
            visible.push_back(Shell().IsEditorWindowVisible(EditorWindow(i)));
        return visible;
    }
    MainToolbar& Bar() { return *rig.W().Toolbar(); }
    ShellRig rig;
};

// Typing a patch name is one step that the Edit menu names at once, and Ctrl+Z in the
// field takes back the whole name, not a keystroke.
TEST_F(Commands, UndoingAPatchRenameRestoresTheWholeOldName) {
    SetPatchName(rig.P(), "Kilo");
    Bar().ShowPatchName(QStringLiteral("Kilo"));
    rig.W().History().Commit(rig.P(), "Rename Patch");
    const int32_t osc = test::AddModule(rig.P(), kTypeOscillator, 300, 300);
    rig.W().History().Commit(rig.P());
    rig.P().slots[osc].gx += 8;
    rig.P().Relayout();
    rig.W().History().Commit(rig.P());
    QLineEdit* field = Bar().PatchNameField();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "Lima");
    const auto edit = [this] { return rig.W().menuBar()->actions().at(1)->menu(); };
    EXPECT_EQ(test::MenuTexts(*edit()).at(0), "Undo Rename Patch");
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(GetText(rig.P().patchNames[rig.P().currentPatch]), "Kilo");
    EXPECT_EQ(field->text(), "Kilo");
    EXPECT_EQ(rig.W().History().UndoName(), "Move Oscillator");
}

// Wheel notches in a row on a panel knob are one step, though each refreshes the
// Properties window.
TEST_F(Commands, WheelNotchesInARowOnAKnobAreOneStep) {
    auto* panel = rig.W().findChild<GuiEditorWidget*>();
    int32_t slot = 0;
    while (rig.P().slots[slot].type != kTypeParameter || rig.P().slots[slot].imageType > 4) ++slot;
    const ModuleSlot& s = rig.P().slots[slot];
    rig.P().slots[slot].patchValues[rig.P().currentPatch] = 0;
    const std::size_t steps = rig.W().History().StepCount();
    const QPointF at(s.panelX + 4, s.panelY + 4);
    for (int i = 0; i < 3; ++i) {
        QWheelEvent e(at, panel->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(panel, &e);
    }
    EXPECT_EQ(s.patchValues[rig.P().currentPatch], 3);
    EXPECT_EQ(rig.W().History().StepCount(), steps + 1);
}

// "Learn MIDI CC" on a panel control: the next controller that arrives binds it and moves
// it to its top step on the repaint timer's tick.
TEST_F(Commands, AControllerArrivingAfterLearnBindsAndMovesTheControlOnTheTick) {
    auto* panel = rig.W().findChild<GuiEditorWidget*>();
    int32_t slot = 0;
    while (rig.P().slots[slot].type != kTypeParameter) ++slot;
    const ModuleSlot& s = rig.P().slots[slot];
    QTest::mousePress(panel, Qt::RightButton, {}, QPoint(s.panelX, s.panelY));
    ASSERT_EQ(rig.P().currentSlot, slot);
    test::FindAction(panel->ContextMenu(), {"Learn MIDI CC"})->trigger();
    HandleMidiMessage(rig.W().Context().engine, kControlChange, 74, 127);
    for (int i = 0; i < 100 && s.midiCc == kNone; ++i) QTest::qWait(10);
    EXPECT_EQ(std::tuple(s.midiCc, s.patchValues[0]), std::tuple(74, s.steps));
}

TEST_F(Commands, NewAndOpenProjectAskFirstAndShowTheNewProjectInTheToolbar) {
    const int32_t modules = rig.P().CountOccupied();
    Run(kCmdSelectAll);
    Run(kCmdDelete);
    rig.services.answers = {MessageAnswer::Cancel};
    rig.services.openPaths = {rig.DemoPath()};
    Run(kCmdOpenProject);
    EXPECT_EQ(rig.services.MessageTexts(), Texts{"Save project first"});
    EXPECT_EQ(rig.services.openPaths.size(), 1u); // no file was asked for

    SelectPatch(rig.P(), Shell(), 9);
    Run(kCmdSelectAll);
    ASSERT_EQ(rig.W().DspEditor()->Session().bandState, kBandSelected);
    rig.services.answers = {MessageAnswer::No};
    Run(kCmdNewProject);
    EXPECT_EQ(rig.W().DspEditor()->Session().bandState, kBandIdle) << "the band went with it";
    EXPECT_EQ(rig.P().CountOccupied(), 0);
    EXPECT_EQ(rig.W().windowTitle(), "Tonewright - Synth");
    EXPECT_EQ(Bar().PatchNameField()->text(), "Patch 0");

    rig.services.answers = {MessageAnswer::No};
    Run(kCmdOpenProject);
    EXPECT_EQ(rig.P().CountOccupied(), modules);
    EXPECT_EQ(rig.W().windowTitle().toStdString(), "Tonewright - " + rig.DemoPath());
}

// Tried as a user would: everything selected and deleted comes back with Ctrl+Z, to the
// byte; the save question and Lock Edit follow.
TEST_F(Commands, SelectAllDeleteUndoBringsEverythingBack) {
    const auto encoded = [this] { return EncodeProject(rig.P(), ReadSavedLayout(Shell())); };
    const std::vector<uint8_t> opened = encoded();
    const int32_t modules = rig.P().CountOccupied();
    ASSERT_GT(modules, 20);
    Run(kCmdSelectAll);
    Run(kCmdDelete);
    ASSERT_EQ(rig.P().CountOccupied(), 0);
    const auto edit = [this] { return rig.W().menuBar()->actions().at(1)->menu(); };
    QAction* undo =
        test::FindAction(edit(), {"Undo Delete " + std::to_string(modules) + " Modules"});
    ASSERT_NE(undo, nullptr);
    rig.W().activateWindow();
    QTest::keyClick(rig.window.get(), Qt::Key_Z, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(rig.P().CountOccupied(), modules);
    EXPECT_EQ(encoded(), opened);
    EXPECT_EQ(test::MenuTexts(*edit()).at(0), "Undo"); // greyed: nothing left to undo
    EXPECT_FALSE(rig.W().History().Modified()) << "back where the file is";

    Run(kCmdRedo);
    EXPECT_EQ(rig.P().CountOccupied(), 0);
    Run(kCmdLockEdit);
    Run(kCmdUndo); // out of reach while edit is locked
    EXPECT_EQ(rig.P().CountOccupied(), 0);
    Run(kCmdLockEdit);
    Run(kCmdUndo);
    EXPECT_EQ(encoded(), opened);
    rig.services.ClearRecord();
    EXPECT_TRUE(rig.W().close());
    EXPECT_EQ(rig.services.MessageTexts(), Texts{});
}

TEST_F(Commands, WindowsStayWhereTheirCaptionCanBeReached) {
    const QSize area(600, 400);
    const QRect rows[][2] = {
        {{10, 10, 100, 50}, {10, 10, 100, 50}},   {{-5, -5, 100, 50}, {0, 0, 100, 50}},
        {{10, 390, 100, 50}, {10, 355, 100, 50}}, {{550, 10, 100, 50}, {0, 10, 100, 50}},
        {{-160, 0, 700, 50}, {0, 0, 600, 50}}, // pushed right, then past the right edge
    };
    for (const auto& [placed, limited] : rows)
        EXPECT_EQ(LimitChildRect(placed, area, true), limited);
    // A fixed-size window keeps its size even where it cannot fit.
    EXPECT_EQ(LimitChildRect(QRect(550, 10, 719, 65), area, false), QRect(0, 10, 719, 65));
    // The program's moves and the user's drags are held alike.
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {20, 5, 300, 200});
    EXPECT_EQ(Rect(EditorWindow::GuiEditor), QRect(160, 39, 300, 200));
    rig.W().Child(EditorWindow::MidiMonitor)->move(-50, -50);
    EXPECT_EQ(Rect(EditorWindow::MidiMonitor).topLeft(), QPoint(160, 39));
}

TEST_F(Commands, BuildPreparesThePanelForItsPictureAndPutsEverythingBack) {
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {400, 150, 320, 240});
    Shell().ShowEditorWindow(EditorWindow::GuiEditor, false);
    Shell().ShowEditorWindow(EditorWindow::MidiMonitor, false);
    rig.P().guiEditMode = 1;
    std::vector<bool> during;
    QRect guiDuring;
    QTimer::singleShot(0, [&] {
        during = Visible();
        during.push_back(rig.P().lockEdit != 0);
        guiDuring = Rect(EditorWindow::GuiEditor);
        qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject();
    });
    Run(kCmdBuild);
    // Only the Gui Editor shows, in the corner, with edit locked; then all is as it was.
    EXPECT_EQ(during, (std::vector<bool>{false, true, false, false, true}));
    EXPECT_EQ(guiDuring, QRect(160, 39, 320, 240));
    EXPECT_EQ(rig.P().guiEditMode + rig.P().lockEdit, 0);
    EXPECT_EQ(Visible(), (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(Rect(EditorWindow::GuiEditor), QRect(400, 150, 320, 240));
}

TEST_F(Commands, ToolbarControlsReachTheProjectAndTheMenuBarFollows) {
    Engine& engine = rig.W().Context().engine;
    for (const int32_t pick : {42, -1}) { // without a pick too, the delay line goes quiet
        rig.W().choosePatch = [pick](const QPoint&) { return pick; };
        engine.onceOnly->delay.line[100] = 0.5f;
        Run(kCmdPatchSelect);
        EXPECT_EQ(rig.P().currentPatch, 42);
        EXPECT_EQ(Bar().PatchNameField()->text().toStdString(), GetText(rig.P().patchNames[42]));
        EXPECT_EQ(engine.onceOnly->delay.line[100], 0.0f);
    }
    Q_EMIT Bar().ZoomList()->activated(8);
    Q_EMIT Bar().ZoomList()->activated(9); // the tenth entry is not the user's to pick
    EXPECT_EQ(rig.P().zoom, 9);
    // A menu item delivers its command once the click is over, and the bar follows.
    const auto edit = [this] { return rig.W().menuBar()->actions().at(1)->menu(); };
    test::FindAction(edit(), {"Lock Edit"})->trigger();
    EXPECT_EQ(rig.P().lockEdit, 0);
    QApplication::processEvents();
    EXPECT_EQ(rig.P().lockEdit, 1);
    EXPECT_EQ(test::MenuTexts(*edit()), Texts{"Lock Edit"});
}

} // namespace
} // namespace tw
