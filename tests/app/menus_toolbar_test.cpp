// The menu bar in each state, the toolbar's buttons, patch controls and zoom list.
#include "app/commands.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/patch_menu.h"
#include "app/shell_rig.h"
#include "app/toolbar.h"
#include "model/lifecycle.h"
#include "model/text.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw {
namespace {

using test::ShellRig;

// A menu as text: items by their text, "-" for a separator, "[x]" before a ticked item,
// "Cables>" for a submenu.
std::vector<std::string> Items(const QMenu* menu) {
    std::vector<std::string> out;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out.push_back("-");
        } else if (a->menu() != nullptr) {
            out.push_back(a->text().toStdString() + ">");
        } else {
            out.push_back((a->isChecked() ? "[x]" : "") + a->text().toStdString());
        }
    }
    return out;
}

QMenu* MenuNamed(QMenuBar* bar, const char* title) {
    for (QAction* a : bar->actions()) {
        if (a->text() == QLatin1String(title)) return a->menu();
    }
    return nullptr;
}

QAction* ItemNamed(const QMenu* menu, const char* text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == QLatin1String(text)) return a;
    }
    return nullptr;
}

using Texts = std::vector<std::string>;

class MenuBar : public ::testing::Test {
protected:
    void SetUp() override {
        project = std::make_unique<Project>();
        Rebuild();
    }
    void Rebuild() {
        BuildMenuBar(bar, *project, [this](int32_t c) { sent.push_back(c); });
    }
    QMenuBar bar;
    std::unique_ptr<Project> project;
    std::vector<int32_t> sent;
};

TEST_F(MenuBar, HoldsTheSevenMenusWithTheirItemsInOrder) {
    Texts titles;
    for (QAction* a : bar.actions()) titles.push_back(a->text().toStdString());
    EXPECT_EQ(titles, (Texts{"&File", "&Edit", "&View", "&Setup", "&Build", "&Window", "&Help"}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&File")),
              (Texts{"New Project", "Open Project...", "-", "Save Project...", "-", "Exit"}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&Edit")),
              (Texts{"Cut", "Copy", "Paste", "Delete", "-", "Select All", "-", "[x]Snap To Grid",
                     "Lock Edit"}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&View")), (Texts{"Cables>"}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&View")->actions().front()->menu()),
              (Texts{"Curved", "Logic", "[x]Straight"}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&Setup")), (Texts{"&Preferences"}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&Build")), (Texts{"Build Project...", "-", "Clean Project...",
                                                       "Refresh Project", "-", "&Statistics..."}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&Window")),
              (Texts{"DSP Editor", "Gui Editor", "Virtual Keyboard", "Midi Monitor", "-",
                     "Default Layout"}));
    EXPECT_EQ(Items(MenuNamed(&bar, "&Help")), (Texts{"Help Topics", "About..."}));
}

TEST_F(MenuBar, LockedEditLeavesOnlyLockEditTicked) {
    project->lockEdit = 1;
    Rebuild();
    EXPECT_EQ(Items(MenuNamed(&bar, "&Edit")), (Texts{"[x]Lock Edit"}));
    project->lockEdit = 0;
    project->snapToGrid = 0;
    Rebuild();
    EXPECT_EQ(Items(MenuNamed(&bar, "&Edit")).back(), "Lock Edit");
    EXPECT_EQ(Items(MenuNamed(&bar, "&Edit"))[7], "Snap To Grid");
}

TEST_F(MenuBar, TicksTheCurrentCableStyleOnly) {
    project->cableStyle = 2;
    Rebuild();
    EXPECT_EQ(Items(MenuNamed(&bar, "&View")->actions().front()->menu()),
              (Texts{"Curved", "[x]Logic", "Straight"}));
}

TEST_F(MenuBar, ItemsSendTheirNumbersAndCarryTheUsualShortcuts) {
    const struct {
        const char* menu;
        const char* item;
        int32_t command;
        const char* keys;
    } expected[] = {{"&File", "New Project", 1012, "Ctrl+N"},
                    {"&File", "Open Project...", 1013, "Ctrl+O"},
                    {"&File", "Save Project...", 1014, "Ctrl+S"},
                    {"&File", "Exit", 1015, "Ctrl+Q"},
                    {"&Edit", "Cut", 1017, "Ctrl+X"},
                    {"&Edit", "Copy", 1018, "Ctrl+C"},
                    {"&Edit", "Paste", 1019, "Ctrl+V"},
                    {"&Edit", "Delete", 1020, "Del"},
                    {"&Edit", "Select All", 1023, "Ctrl+A"},
                    {"&Edit", "Snap To Grid", 1021, ""},
                    {"&Edit", "Lock Edit", 1022, ""},
                    {"&Setup", "&Preferences", 1034, ""},
                    {"&Build", "Build Project...", 1029, ""},
                    {"&Build", "&Statistics...", 1030, ""},
                    {"&Build", "Refresh Project", 1031, ""},
                    {"&Build", "Clean Project...", 1032, ""},
                    {"&Window", "DSP Editor", 1035, ""},
                    {"&Window", "Default Layout", 1039, ""},
                    {"&Help", "Help Topics", 1066, "F1"},
                    {"&Help", "About...", 1067, ""}};
    for (const auto& e : expected) {
        QAction* item = ItemNamed(MenuNamed(&bar, e.menu), e.item);
        ASSERT_NE(item, nullptr) << e.item;
        EXPECT_EQ(item->shortcut().toString().toStdString(), e.keys) << e.item;
        sent.clear();
        item->trigger();
        EXPECT_EQ(sent, std::vector<int32_t>{e.command}) << e.item;
    }
}

TEST(Toolbar, ThirteenButtonsInOrderWithTheirTooltips) {
    MainToolbar toolbar;
    std::vector<std::string> tips;
    for (QAction* a : toolbar.actions()) {
        if (a->isSeparator()) {
            tips.push_back("-");
        } else if (a->data().isValid()) {
            tips.push_back(a->toolTip().toStdString());
        }
    }
    EXPECT_EQ(tips, (Texts{"-", "New Project", "Open Project", "Save Project", "-", "Cut Selection",
                           "Copy Selection", "Paste Selection", "-", "Do not press this button",
                           "-", "Start Audio", "Stop Audio", "-", "Patch Select", "Prev Patch",
                           "Next Patch", "Copy Patch"}));
    EXPECT_EQ(MainToolbar::Tooltip(1046).toStdString(), "Start Audio");
    EXPECT_TRUE(MainToolbar::Tooltip(1015).isEmpty());
    EXPECT_EQ(toolbar.iconSize(), QSize(27, 27));
}

TEST(Toolbar, StartAndStopAudioShareOnePlace) {
    MainToolbar toolbar;
    toolbar.show();
    QAction* start = toolbar.Button(kCmdStartAudio);
    QAction* stop = toolbar.Button(kCmdStopAudio);
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(stop->isVisible());
    toolbar.ShowAudioRunning(true);
    EXPECT_FALSE(start->isVisible());
    EXPECT_TRUE(stop->isVisible());
}

TEST(Toolbar, TheZoomListOffersNineLevelsAndShowsTheWheelsTenth) {
    MainToolbar toolbar;
    QComboBox* list = toolbar.ZoomList();
    ASSERT_EQ(list->count(), 10);
    EXPECT_EQ(list->itemText(0).toStdString(), "40%");
    EXPECT_EQ(list->itemText(8).toStdString(), "200%");
    EXPECT_EQ(list->currentText().toStdString(), "100%");
    const auto* model = qobject_cast<QStandardItemModel*>(list->model());
    EXPECT_FALSE(model->item(9)->isEnabled());
    EXPECT_TRUE(qobject_cast<QListView*>(list->view())->isRowHidden(9));
    toolbar.SelectZoom(10);
    EXPECT_EQ(list->currentText().toStdString(), "220%");
    toolbar.SelectZoom(11);
    EXPECT_EQ(list->currentText().toStdString(), "220%");
}

TEST(PatchList, ShowsFourColumnsOf32WithTheCurrentPatchTicked) {
    auto project = std::make_unique<Project>();
    project->ResetPatchNames();
    project->currentPatch = 70;
    PatchMenu menu(*project);
    auto* grid = menu.findChild<QGridLayout*>();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->columnCount(), 4);
    EXPECT_EQ(grid->rowCount(), 32);
    int row = -1, column = -1, span = 0;
    grid->getItemPosition(grid->indexOf(menu.Entry(64)), &row, &column, &span, &span);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(column, 2);
    grid->getItemPosition(grid->indexOf(menu.Entry(127)), &row, &column, &span, &span);
    EXPECT_EQ(row, 31);
    EXPECT_EQ(column, 3);
    EXPECT_EQ(menu.Entry(70)->text().toStdString(), "Patch 70");
    for (int32_t p = 0; p < kPatchCount; ++p) EXPECT_EQ(menu.Entry(p)->isChecked(), p == 70);
    menu.Entry(5)->click();
    EXPECT_EQ(menu.Chosen(), 5);
}

class ToolbarControls : public ::testing::Test {
protected:
    void SetUp() override {
        rig.Open();
        rig.services.ClearRecord();
    }
    MainToolbar& T() { return *rig.W().Toolbar(); }
    ShellRig rig;
};

TEST_F(ToolbarControls, PrevAndNextPatchStopAtTheEnds) {
    rig.W().RunCommand(kCmdPreviousPatch);
    EXPECT_EQ(rig.P().currentPatch, 0);
    rig.W().RunCommand(kCmdNextPatch);
    EXPECT_EQ(rig.P().currentPatch, 1);
    EXPECT_EQ(T().PatchNameField()->text().toStdString(), GetText(rig.P().patchNames[1]));
    SelectPatch(rig.P(), rig.W().ShellPlatform(), 127);
    rig.W().RunCommand(kCmdNextPatch);
    EXPECT_EQ(rig.P().currentPatch, 127);
}

TEST_F(ToolbarControls, PatchSelectTakesThePickAndClearsTheDelayLineEvenWithoutOne) {
    Engine& engine = rig.W().Context().engine;
    QPoint asked;
    rig.W().choosePatch = [&](const QPoint& at) {
        asked = at;
        return 42;
    };
    engine.delay.line[100] = 0.5f;
    rig.W().RunCommand(kCmdPatchSelect);
    EXPECT_EQ(rig.P().currentPatch, 42);
    EXPECT_EQ(T().PatchNameField()->text().toStdString(), GetText(rig.P().patchNames[42]));
    EXPECT_EQ(engine.delay.line[100], 0.0f);
    EXPECT_EQ(asked, T().mapToGlobal(QPoint(10, 10)));

    rig.W().choosePatch = [](const QPoint&) { return -1; };
    engine.delay.line[100] = 0.5f;
    rig.W().RunCommand(kCmdPatchSelect);
    EXPECT_EQ(rig.P().currentPatch, 42);
    EXPECT_EQ(engine.delay.line[100], 0.0f);
}

TEST_F(ToolbarControls, TypedPatchNamesCountOneTo63Characters) {
    QLineEdit* field = T().PatchNameField();
    field->clear();
    QTest::keyClicks(field, QString(63, QLatin1Char('a')));
    EXPECT_EQ(GetText(rig.P().patchNames[0]), std::string(63, 'a'));
    QTest::keyClicks(field, QStringLiteral("b"));
    EXPECT_EQ(GetText(rig.P().patchNames[0]), std::string(63, 'a'));
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(GetText(rig.P().patchNames[0]), std::string(63, 'a'));
    QTest::keyClicks(field, QStringLiteral("Bass   "));
    EXPECT_EQ(GetText(rig.P().patchNames[0]), "Bass   ");
}

TEST_F(ToolbarControls, ChoosingAZoomEntrySetsTheLevel) {
    QComboBox* list = T().ZoomList();
    list->setCurrentIndex(0);
    Q_EMIT list->activated(0);
    EXPECT_EQ(rig.P().zoom, 1);
    Q_EMIT list->activated(8);
    EXPECT_EQ(rig.P().zoom, 9);
    // The tenth entry is not the user's to pick.
    Q_EMIT list->activated(9);
    EXPECT_EQ(rig.P().zoom, 9);
    rig.W().ShellPlatform().SelectZoom(10);
    EXPECT_EQ(list->currentText().toStdString(), "220%");
}

TEST_F(ToolbarControls, AFailedAudioStartIsShownAndLeavesStartAudio) {
    rig.W().RunCommand(kCmdStartAudio);
    EXPECT_FALSE(rig.W().Context().audio.IsRunning());
    EXPECT_FALSE(T().AudioShownRunning());
    ASSERT_EQ(rig.services.messages.size(), 1u);
    EXPECT_EQ(rig.services.messages[0].text, "There is no audio output device to play on.");
    EXPECT_EQ(rig.services.messages[0].icon, MessageIcon::Error);
    rig.W().RunCommand(kCmdStopAudio);
    EXPECT_FALSE(T().AudioShownRunning());
}

TEST_F(ToolbarControls, TheMenuBarFollowsEveryCommand) {
    QMenuBar* bar = rig.W().menuBar();
    rig.W().RunCommand(kCmdLockEdit);
    EXPECT_EQ(Items(MenuNamed(bar, "&Edit")), (Texts{"[x]Lock Edit"}));
    rig.W().RunCommand(kCmdLockEdit);
    rig.W().RunCommand(kCmdLogicCables);
    EXPECT_EQ(Items(MenuNamed(bar, "&View")->actions().front()->menu()),
              (Texts{"Curved", "[x]Logic", "Straight"}));
    // A menu item delivers its command once the click is over.
    ItemNamed(MenuNamed(bar, "&Edit"), "Snap To Grid")->trigger();
    EXPECT_EQ(rig.P().snapToGrid, 1);
    QApplication::processEvents();
    EXPECT_EQ(rig.P().snapToGrid, 0);
    EXPECT_EQ(Items(MenuNamed(bar, "&Edit"))[7], "Snap To Grid");
}

} // namespace
} // namespace tw
