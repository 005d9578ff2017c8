// The menu bar and the toolbar: every item and button with the command it sends, and the
// ticks, items and buttons that follow the project and the audio.
#include "app/commands.h"
#include "app/menus.h"
#include "app/toolbar.h"

#include <QComboBox>
#include <QListView>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace tw {
namespace {

// Menu (with its submenu), item ("[x]" when ticked, "(greyed)" when disabled), command,
// shortcut.
using Item = std::tuple<std::string, std::string, int32_t, std::string>;

// Every item of the bar as its row; triggering each sends the commands into `sent`.
std::vector<Item> Items(const QMenuBar& bar) {
    std::vector<Item> items;
    std::function<void(const QMenu*, const std::string&)> walk = [&](const QMenu* menu,
                                                                     const std::string& path) {
        for (QAction* a : menu->actions()) {
            if (a->menu() != nullptr) walk(a->menu(), path + ">" + a->text().toStdString());
            if (a->menu() != nullptr || a->isSeparator()) continue;
            const std::string marks =
                std::string(a->isChecked() ? "[x]" : "") + (a->isEnabled() ? "" : "(greyed)");
            items.emplace_back(path, marks + a->text().toStdString(), a->data().toInt(),
                               a->shortcut().toString().toStdString());
            a->trigger();
        }
    };
    for (const QAction* m : bar.actions()) walk(m->menu(), m->text().toStdString());
    return items;
}

TEST(MenuBar, HoldsEveryItemInOrderWithItsCommandAndShortcutAndFollowsTheProject) {
    const std::vector<Item> expected = {
        {"&File", "New Project", kCmdNewProject, "Ctrl+N"},
        {"&File", "Open Project...", kCmdOpenProject, "Ctrl+O"},
        {"&File", "Save", kCmdSave, "Ctrl+S"},
        {"&File", "Save Project...", kCmdSaveProject, "Ctrl+Shift+S"},
        {"&File", "Exit", kCmdExit, "Ctrl+Q"},
        {"&Edit", "Undo Move Oscillator", kCmdUndo, "Ctrl+Z"},
        {"&Edit", "Redo Insert Oscillator", kCmdRedo, "Ctrl+Shift+Z"},
        {"&Edit", "Cut", kCmdCut, "Ctrl+X"},
        {"&Edit", "Copy", kCmdCopy, "Ctrl+C"},
        {"&Edit", "Paste", kCmdPaste, "Ctrl+V"},
        {"&Edit", "Delete", kCmdDelete, "Del"},
        {"&Edit", "Select All", kCmdSelectAll, "Ctrl+A"},
        {"&Edit", "[x]Snap To Grid", kCmdSnapToGrid, ""},
        {"&Edit", "Lock Edit", kCmdLockEdit, ""},
        {"&View>Cables", "Curved", kCmdCurvedCables, ""},
        {"&View>Cables", "Logic", kCmdLogicCables, ""},
        {"&View>Cables", "[x]Straight", kCmdStraightCables, ""},
        {"&View", "Fit All", kCmdFitAll, "Ctrl+0"},
        {"&Setup", "&Preferences", kCmdPreferences, ""},
        {"&Setup", "Start Audio", kCmdStartAudio, "F5"},
        {"&Setup", "Stop Audio", kCmdStopAudio, "Shift+F5"},
        {"&Build", "Build Project...", kCmdBuild, ""},
        {"&Build", "Clean Project...", kCmdCleanProject, ""},
        {"&Build", "Refresh Project", kCmdRefreshProject, ""},
        {"&Build", "&Statistics...", kCmdStatistics, ""},
        {"&Window", "DSP Editor", kCmdShowDspEditor, ""},
        {"&Window", "Gui Editor", kCmdShowGuiEditor, ""},
        {"&Window", "Virtual Keyboard", kCmdShowKeyboard, ""},
        {"&Window", "Midi Monitor", kCmdShowMonitor, ""},
        {"&Window", "Default Layout", kCmdDefaultLayout, ""},
        {"&Help", "Help Topics", kCmdHelpTopics, "F1"},
        {"&Help", "About...", kCmdAbout, ""}};
    Project project;
    // The step items are named after the steps they would take.
    EditHistory history;
    project.InsertModule(kTypeOscillator, 100, 100, 400, 300);
    history.Reset(project);
    project.slots[0].gx += 4;
    history.Commit(project);
    project.InsertModule(kTypeOscillator, 300, 100, 400, 300);
    history.Commit(project);
    history.Undo(project);
    QMenuBar bar;
    std::vector<int32_t> sent, commands;
    BuildMenuBar(bar, project, history, [&sent](int32_t c) { sent.push_back(c); });
    EXPECT_EQ(Items(bar), expected);
    for (const Item& e : expected) commands.push_back(std::get<2>(e));
    EXPECT_EQ(sent, commands);

    // Locked edit leaves only the way out of the lock; the ticks follow the project.
    project.lockEdit = 1;
    project.cableStyle = 2;
    BuildMenuBar(bar, project, history, [](int32_t) {});
    std::vector<Item> items = Items(bar);
    EXPECT_EQ(items[5], (Item{"&Edit", "[x]Lock Edit", kCmdLockEdit, ""}));
    EXPECT_EQ(std::get<0>(items[6]), "&View>Cables");
    EXPECT_EQ(std::get<1>(items[7]), "[x]Logic");
    project.lockEdit = project.snapToGrid = 0;
    history.Reset(project);
    BuildMenuBar(bar, project, history, [](int32_t) {});
    items = Items(bar);
    EXPECT_EQ(std::get<1>(items[12]), "Snap To Grid");
    EXPECT_EQ(items[5], (Item{"&Edit", "(greyed)Undo", kCmdUndo, "Ctrl+Z"}));
    EXPECT_EQ(std::get<1>(items[6]), "(greyed)Redo");
}

TEST(Toolbar, ThirteenButtonsSendTheirCommandsAndStartAndStopAudioShareOnePlace) {
    MainToolbar toolbar;
    toolbar.show();
    std::vector<int32_t> sent;
    QObject::connect(&toolbar, &MainToolbar::CommandSent,
                     [&sent](int32_t c) { sent.push_back(c); });
    for (QAction* a : toolbar.actions()) a->trigger();
    EXPECT_EQ(sent, (std::vector<int32_t>{kCmdNewProject, kCmdOpenProject, kCmdSaveProject, kCmdCut,
                                          kCmdCopy, kCmdPaste, kCmdJoke, kCmdStartAudio,
                                          kCmdStopAudio, kCmdPatchSelect, kCmdPreviousPatch,
                                          kCmdNextPatch, kCmdCopyPatch}));
    EXPECT_TRUE(toolbar.Button(kCmdStartAudio)->isVisible());
    EXPECT_FALSE(toolbar.Button(kCmdStopAudio)->isVisible());
    toolbar.ShowAudioRunning(true);
    EXPECT_FALSE(toolbar.Button(kCmdStartAudio)->isVisible());
    EXPECT_TRUE(toolbar.Button(kCmdStopAudio)->isVisible());
    // The zoom list offers levels 1 to 9 and shows the wheel's tenth, which it never offers.
    EXPECT_EQ(toolbar.ZoomList()->currentText(), "100%");
    toolbar.SelectZoom(10);
    EXPECT_EQ(toolbar.ZoomList()->currentText(), "220%");
    EXPECT_TRUE(qobject_cast<QListView*>(toolbar.ZoomList()->view())->isRowHidden(9));
}

} // namespace
} // namespace tw
