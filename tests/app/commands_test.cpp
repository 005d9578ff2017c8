// What each command of the menus and the toolbar does to the project and the windows.
#include "app/child_window.h"
#include "app/command_dispatch.h"
#include "app/commands.h"
#include "app/main_window.h"
#include "app/shell_rig.h"
#include "app/toolbar.h"
#include "editors/dsp_editor_widget.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "support/builders.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QTimer>

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::ShellRig;

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
    ShellRig rig;
};

TEST_F(Commands, AboutAndTheJokeButtonSpeakInInformationBoxes) {
    Run(kCmdAbout);
    Run(kCmdJoke);
    ASSERT_EQ(rig.services.messages.size(), 2u);
    const RecordedMessage& about = rig.services.messages[0];
    EXPECT_EQ(about.text.rfind("Tonewright v0.414 Beta\n\n", 0), 0u) << about.text;
    EXPECT_GT(about.text.size(), std::string("Tonewright v0.414 Beta\n\n").size());
    EXPECT_EQ(about.caption, "Tonewright");
    EXPECT_EQ(about.icon, MessageIcon::Information);
    EXPECT_EQ(rig.services.messages[1].text, "Please do not press this button again.");
    EXPECT_EQ(rig.services.messages[1].icon, MessageIcon::Information);
}

TEST_F(Commands, SnapLockAndCableStyleChangeTheFlags) {
    rig.P().guiEditMode = 1;
    Run(kCmdLockEdit);
    EXPECT_EQ(rig.P().lockEdit, 1);
    EXPECT_EQ(rig.P().guiEditMode, 0);
    Run(kCmdLockEdit);
    EXPECT_EQ(rig.P().lockEdit, 0);
    Run(kCmdSnapToGrid);
    EXPECT_EQ(rig.P().snapToGrid, 0);
    Run(kCmdCurvedCables);
    EXPECT_EQ(rig.P().cableStyle, 1);
    Run(kCmdLogicCables);
    EXPECT_EQ(rig.P().cableStyle, 2);
    Run(kCmdStraightCables);
    EXPECT_EQ(rig.P().cableStyle, 0);
}

TEST_F(Commands, CopyPasteCutAndDeleteWorkOnTheSelection) {
    Project& p = rig.P();
    const int32_t before = p.CountOccupied();
    // Nothing selected: copy remembers nothing and paste adds nothing.
    p.currentSlot = kNone;
    Run(kCmdCopy);
    Run(kCmdPaste);
    EXPECT_EQ(p.CountOccupied(), before);

    const int32_t adsrs = p.CountModulesOfType(kTypeAdsr);
    const int32_t slot = test::AddModule(p, kTypeAdsr, 300, 300);
    p.currentSlot = slot;
    Run(kCmdCopy);
    EXPECT_EQ(p.clipboardType, kTypeAdsr);
    Run(kCmdPaste);
    EXPECT_EQ(p.CountOccupied(), before + 2);
    EXPECT_EQ(p.CountModulesOfType(kTypeAdsr), adsrs + 2);

    p.currentSlot = slot;
    p.clipboardType = kNone;
    Run(kCmdCut);
    EXPECT_EQ(p.clipboardType, kTypeAdsr);
    EXPECT_EQ(p.slots[slot].type, kTypeEmpty);
    EXPECT_EQ(p.CountOccupied(), before + 1);

    Run(kCmdSelectAll);
    Run(kCmdDelete);
    EXPECT_EQ(p.CountOccupied(), 0);
}

TEST_F(Commands, StatisticsCleanAndRefresh) {
    Run(kCmdStatistics);
    ASSERT_EQ(rig.services.messages.size(), 1u);
    EXPECT_EQ(rig.services.messages[0].caption, "Statistics");

    Project& p = rig.P();
    const int32_t lonely = test::AddModule(p, kTypeInverter, 600, 600);
    rig.services.answers = {MessageAnswer::No};
    Run(kCmdCleanProject);
    EXPECT_EQ(p.slots[lonely].cleanMark, 1);
    Run(kCmdRefreshProject);
    EXPECT_EQ(p.slots[lonely].cleanMark, 0);
    EXPECT_EQ(p.slots[lonely].type, kTypeInverter);
}

TEST_F(Commands, HelpTopicsOpensTheHelpFile) {
    Run(kCmdHelpTopics);
    EXPECT_EQ(rig.services.helpTopics, std::vector<std::string>{"Tonewright.chm"});
}

TEST_F(Commands, NewProjectCancelledLeavesEverythingAsItWas) {
    const int32_t modules = rig.P().CountOccupied();
    const QString title = rig.W().windowTitle();
    rig.services.answers = {MessageAnswer::Cancel};
    Run(kCmdNewProject);
    EXPECT_EQ(rig.P().CountOccupied(), modules);
    EXPECT_EQ(rig.W().windowTitle(), title);
}

TEST_F(Commands, NewProjectWithoutSavingGivesTheDefaults) {
    rig.P().zoom = 7;
    rig.W().Toolbar()->SelectZoom(7);
    SelectPatch(rig.P(), Shell(), 9);
    Run(kCmdSelectAll);
    ASSERT_EQ(rig.W().DspEditor()->Session().bandState, kBandSelected);
    rig.services.answers = {MessageAnswer::No};
    Run(kCmdNewProject);
    EXPECT_EQ(rig.W().DspEditor()->Session().bandState, kBandIdle) << "the band went with it";
    EXPECT_EQ(rig.services.messages.at(0).text, "Save Changes To Demo Synth.tw1");
    EXPECT_EQ(rig.P().CountOccupied(), 0);
    EXPECT_EQ(rig.W().windowTitle().toStdString(), "Tonewright - Synth");
    EXPECT_EQ(rig.W().Toolbar()->ZoomList()->currentText().toStdString(), "100%");
    EXPECT_EQ(rig.W().Toolbar()->PatchNameField()->text().toStdString(), "Patch 0");
    EXPECT_FALSE(rig.W().Toolbar()->AudioShownRunning());
}

TEST_F(Commands, OpenProjectCancelledChangesNothingAndAChosenFileOpens) {
    const int32_t modules = rig.P().CountOccupied();
    rig.services.answers = {MessageAnswer::No};
    rig.services.openPaths = {std::nullopt};
    Run(kCmdOpenProject);
    EXPECT_EQ(rig.P().CountOccupied(), modules);

    rig.services.answers = {MessageAnswer::No, MessageAnswer::No};
    Run(kCmdNewProject);
    ASSERT_EQ(rig.P().CountOccupied(), 0);
    Run(kCmdSelectAll);
    rig.services.openPaths = {rig.DemoPath()};
    Run(kCmdOpenProject);
    EXPECT_EQ(rig.W().DspEditor()->Session().bandState, kBandIdle);
    EXPECT_EQ(rig.P().CountOccupied(), modules);
    EXPECT_EQ(rig.W().windowTitle().toStdString(), "Tonewright - " + rig.DemoPath());
}

TEST_F(Commands, ClosedWindowsHideAndTheWindowMenuBringsThemBack) {
    ChildWindow* dsp = rig.W().Child(EditorWindow::DspEditor);
    ChildWindow* keys = rig.W().Child(EditorWindow::VirtualKeyboard);
    EXPECT_TRUE(dsp->close() == false);
    EXPECT_TRUE(dsp->isHidden());
    keys->close();
    EXPECT_TRUE(keys->isHidden());
    EXPECT_FALSE(Shell().IsEditorWindowVisible(EditorWindow::VirtualKeyboard));

    dsp->showMinimized();
    Run(kCmdShowDspEditor);
    EXPECT_TRUE(dsp->isVisible());
    EXPECT_FALSE(dsp->isMinimized());
    EXPECT_EQ(rig.W().WorkArea()->activeSubWindow(), dsp);
    Run(kCmdShowKeyboard);
    EXPECT_TRUE(keys->isVisible());
    EXPECT_EQ(rig.W().WorkArea()->activeSubWindow(), keys);
    Run(kCmdShowMonitor);
    EXPECT_TRUE(rig.W().Child(EditorWindow::MidiMonitor)->isVisible());
    Run(kCmdShowGuiEditor);
    EXPECT_EQ(rig.W().WorkArea()->activeSubWindow(), rig.W().Child(EditorWindow::GuiEditor));
}

TEST_F(Commands, DefaultLayoutShowsAndPlacesTheFourEditors) {
    for (const EditorWindow w : {EditorWindow::GuiEditor, EditorWindow::MidiMonitor})
        Shell().ShowEditorWindow(w, false);
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {300, 300, 320, 240});
    Run(kCmdDefaultLayout);
    EXPECT_TRUE(Shell().IsEditorWindowVisible(EditorWindow::GuiEditor));
    EXPECT_TRUE(Shell().IsEditorWindowVisible(EditorWindow::MidiMonitor));
    EXPECT_EQ(Rect(EditorWindow::GuiEditor), QRect(450, 220, 320, 240));
    EXPECT_EQ(Rect(EditorWindow::MidiMonitor), QRect(250, 220, 156, 65));
    EXPECT_EQ(Rect(EditorWindow::DspEditor).topLeft(), QPoint(160, 39));
    // The Midi Monitor was brought to the top last.
    EXPECT_EQ(rig.W().WorkArea()->activeSubWindow(), rig.W().Child(EditorWindow::MidiMonitor));
}

TEST_F(Commands, WindowsStayWhereTheirCaptionCanBeReached) {
    const QSize area = rig.W().WorkArea()->viewport()->size();
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {20, 5, 300, 200});
    EXPECT_EQ(Rect(EditorWindow::GuiEditor), QRect(160, 39, 300, 200));
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {200, 5000, 300, 200});
    EXPECT_EQ(Rect(EditorWindow::GuiEditor).y(), 39 + area.height() - 45);
    // Past the right edge: back to the left edge, at its size.
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {160 + area.width() - 100, 100, 300, 200});
    EXPECT_EQ(Rect(EditorWindow::GuiEditor), QRect(160, 100, 300, 200));
    // The user dragging a window is held the same way.
    rig.W().Child(EditorWindow::MidiMonitor)->move(-50, -50);
    EXPECT_EQ(Rect(EditorWindow::MidiMonitor).topLeft(), QPoint(160, 39));
}

TEST_F(Commands, AShrunkMainWindowSqueezesTheEditorsOnScreenOnly) {
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {200, 100, 300, 200});
    const auto placed = [this] {
        std::vector<QRect> rects;
        for (int i = 0; i < kEditorWindowCount; ++i) rects.push_back(Rect(EditorWindow(i)));
        return rects;
    };
    const std::vector<QRect> before = placed();
    rig.W().showNormal();
    rig.W().resize(400, 340);
    QApplication::processEvents();
    const QSize area = rig.W().WorkArea()->viewport()->size();
    ASSERT_LT(area.width(), 300);
    for (const EditorWindow w : {EditorWindow::DspEditor, EditorWindow::GuiEditor}) {
        const QRect shown = rig.W().Child(w)->geometry();
        EXPECT_GE(shown.left(), 0);
        EXPECT_LT(shown.right(), area.width());
        EXPECT_LE(shown.top(), area.height() - 45);
    }
    EXPECT_EQ(placed(), before);
    EXPECT_EQ(Shell().GuiEditorRecordedSize().width, 300);
    EXPECT_EQ(Shell().GuiEditorRecordedSize().height, 200);

    rig.W().showMaximized();
    QApplication::processEvents();
    ChildWindow* gui = rig.W().Child(EditorWindow::GuiEditor);
    EXPECT_EQ(gui->geometry(), QRect(40, 61, 300, 200));
    // The user's resize is the panel's new size.
    gui->resize(320, 240);
    EXPECT_EQ(Shell().GuiEditorRecordedSize().width, 320);
    EXPECT_EQ(Rect(EditorWindow::GuiEditor), QRect(200, 100, 320, 240));
}

TEST(ChildLimits, RulesForEachEdge) {
    const QSize area(600, 400);
    EXPECT_EQ(LimitChildRect(QRect(10, 10, 100, 50), area, true), QRect(10, 10, 100, 50));
    EXPECT_EQ(LimitChildRect(QRect(-5, -5, 100, 50), area, true), QRect(0, 0, 100, 50));
    EXPECT_EQ(LimitChildRect(QRect(10, 390, 100, 50), area, true), QRect(10, 355, 100, 50));
    EXPECT_EQ(LimitChildRect(QRect(550, 10, 100, 50), area, true), QRect(0, 10, 100, 50));
    // A fixed-size window keeps its size even where it cannot fit.
    EXPECT_EQ(LimitChildRect(QRect(550, 10, 719, 65), area, false), QRect(0, 10, 719, 65));
    // Pushed right by the left rule and then past the right edge.
    EXPECT_EQ(LimitChildRect(QRect(-160, 0, 700, 50), area, true), QRect(0, 0, 600, 50));
}

TEST_F(Commands, BuildPreparesThePanelForItsPictureAndPutsEverythingBack) {
    Project& p = rig.P();
    Shell().MoveEditorWindow(EditorWindow::GuiEditor, {400, 150, 320, 240});
    Shell().ShowEditorWindow(EditorWindow::GuiEditor, false);
    Shell().ShowEditorWindow(EditorWindow::MidiMonitor, false);
    p.guiEditMode = 1;

    bool dialogSeen = false;
    QRect guiDuring;
    bool dspVisibleDuring = true, keysVisibleDuring = true, guiVisibleDuring = false;
    uint8_t lockDuring = 0;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        dialogSeen = dialog != nullptr;
        guiDuring = Rect(EditorWindow::GuiEditor);
        dspVisibleDuring = Shell().IsEditorWindowVisible(EditorWindow::DspEditor);
        keysVisibleDuring = Shell().IsEditorWindowVisible(EditorWindow::VirtualKeyboard);
        guiVisibleDuring = Shell().IsEditorWindowVisible(EditorWindow::GuiEditor);
        lockDuring = p.lockEdit;
        if (dialog != nullptr) dialog->reject();
    });
    Run(kCmdBuild);

    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(guiDuring, QRect(160, 39, 320, 240));
    EXPECT_FALSE(dspVisibleDuring);
    EXPECT_FALSE(keysVisibleDuring);
    EXPECT_TRUE(guiVisibleDuring);
    EXPECT_EQ(lockDuring, 1);
    EXPECT_EQ(p.guiEditMode, 0);

    EXPECT_EQ(p.lockEdit, 0);
    EXPECT_TRUE(Shell().IsEditorWindowVisible(EditorWindow::DspEditor));
    EXPECT_TRUE(Shell().IsEditorWindowVisible(EditorWindow::VirtualKeyboard));
    // Hidden before the build, hidden after it.
    EXPECT_FALSE(Shell().IsEditorWindowVisible(EditorWindow::MidiMonitor));
    EXPECT_FALSE(Shell().IsEditorWindowVisible(EditorWindow::GuiEditor));
    EXPECT_EQ(Rect(EditorWindow::GuiEditor), QRect(400, 150, 320, 240));
}

TEST_F(Commands, PreferencesAndCopyPatchOpenTheirDialogs) {
    for (const int32_t command : {kCmdPreferences, kCmdCopyPatch}) {
        QString title;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                title = modal->windowTitle();
                modal->close();
            }
        });
        Run(command);
        EXPECT_EQ(title.toStdString(), command == kCmdPreferences ? "Preferences" : "Copy Patch");
    }
}

} // namespace
} // namespace tw
