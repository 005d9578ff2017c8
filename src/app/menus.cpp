#include "app/menus.h"

#include "app/commands.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace tw {

namespace {

QAction* AddItem(QMenu* menu, const char* text, int32_t command, const CommandSink& send,
                 const char* shortcut = nullptr) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setData(command);
    if (shortcut != nullptr) action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
    QObject::connect(action, &QAction::triggered, menu, [send, command] { send(command); });
    return action;
}

QAction* AddTicked(QMenu* menu, const char* text, int32_t command, bool ticked,
                   const CommandSink& send) {
    QAction* action = AddItem(menu, text, command, send);
    action->setCheckable(true);
    action->setChecked(ticked);
    return action;
}

} // namespace

void BuildMenuBar(QMenuBar& bar, const Project& project, const EditHistory& history,
                  const CommandSink& send) {
    for (QAction* old : bar.actions()) {
        bar.removeAction(old);
        if (QMenu* menu = old->menu(); menu != nullptr && menu->parent() == &bar) {
            menu->deleteLater();
        }
    }

    QMenu* file = bar.addMenu(QStringLiteral("&File"));
    AddItem(file, "New Project", kCmdNewProject, send, "Ctrl+N");
    AddItem(file, "Open Project...", kCmdOpenProject, send, "Ctrl+O");
    file->addSeparator();
    AddItem(file, "Save", kCmdSave, send, "Ctrl+S");
    AddItem(file, "Save Project...", kCmdSaveProject, send, "Ctrl+Shift+S");
    file->addSeparator();
    AddItem(file, "Exit", kCmdExit, send, "Ctrl+Q");

    // While edit is locked the menu offers only the way out of the lock, and the editing
    // shortcuts go with their items.
    QMenu* edit = bar.addMenu(QStringLiteral("&Edit"));
    if (project.lockEdit == 0) {
        // Named after the step they take; greyed, and their shortcuts asleep, without one.
        const auto stepItem = [&](const char* verb, std::string_view step, int32_t command) {
            QString text = QString::fromLatin1(verb);
            if (!step.empty())
                text += QLatin1Char(' ') + QString::fromUtf8(step.data(), qsizetype(step.size()));
            QAction* action = AddItem(edit, "", command, send);
            action->setText(text);
            action->setEnabled(!step.empty());
            return action;
        };
        stepItem("Undo", history.UndoName(), kCmdUndo)
            ->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
        stepItem("Redo", history.RedoName(), kCmdRedo)
            ->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Shift+Z")),
                            QKeySequence(QStringLiteral("Ctrl+Y"))});
        edit->addSeparator();
        AddItem(edit, "Cut", kCmdCut, send, "Ctrl+X");
        AddItem(edit, "Copy", kCmdCopy, send, "Ctrl+C");
        AddItem(edit, "Paste", kCmdPaste, send, "Ctrl+V");
        AddItem(edit, "Delete", kCmdDelete, send, "Del");
        edit->addSeparator();
        AddItem(edit, "Select All", kCmdSelectAll, send, "Ctrl+A");
        edit->addSeparator();
        AddTicked(edit, "Snap To Grid", kCmdSnapToGrid, project.snapToGrid != 0, send);
    }
    AddTicked(edit, "Lock Edit", kCmdLockEdit, project.lockEdit != 0, send);

    QMenu* view = bar.addMenu(QStringLiteral("&View"));
    QMenu* cables = view->addMenu(QStringLiteral("Cables"));
    AddTicked(cables, "Curved", kCmdCurvedCables, project.cableStyle == 1, send);
    AddTicked(cables, "Logic", kCmdLogicCables, project.cableStyle == 2, send);
    AddTicked(cables, "Straight", kCmdStraightCables, project.cableStyle == 0, send);
    AddItem(view, "Fit All", kCmdFitAll, send, "Ctrl+0");

    QMenu* setup = bar.addMenu(QStringLiteral("&Setup"));
    AddItem(setup, "&Preferences", kCmdPreferences, send);
    setup->addSeparator();
    // The toolbar's two audio buttons, within reach of the keyboard too.
    AddItem(setup, "Start Audio", kCmdStartAudio, send, "F5");
    AddItem(setup, "Stop Audio", kCmdStopAudio, send, "Shift+F5");

    QMenu* build = bar.addMenu(QStringLiteral("&Build"));
    AddItem(build, "Build Project...", kCmdBuild, send);
    build->addSeparator();
    AddItem(build, "Clean Project...", kCmdCleanProject, send);
    AddItem(build, "Refresh Project", kCmdRefreshProject, send);
    build->addSeparator();
    AddItem(build, "&Statistics...", kCmdStatistics, send);

    QMenu* window = bar.addMenu(QStringLiteral("&Window"));
    AddItem(window, "DSP Editor", kCmdShowDspEditor, send);
    AddItem(window, "Gui Editor", kCmdShowGuiEditor, send);
    AddItem(window, "Virtual Keyboard", kCmdShowKeyboard, send);
    AddItem(window, "Midi Monitor", kCmdShowMonitor, send);
    window->addSeparator();
    AddItem(window, "Default Layout", kCmdDefaultLayout, send);

    QMenu* help = bar.addMenu(QStringLiteral("&Help"));
    AddItem(help, "Help Topics", kCmdHelpTopics, send, "F1");
    AddItem(help, "About...", kCmdAbout, send);
}

} // namespace tw
