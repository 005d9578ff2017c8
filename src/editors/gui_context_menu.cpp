#include "editors/gui_context_menu.h"

#include "paint/qt_bitmap.h"

#include <QAction>

namespace tw {

namespace {

void AddSkinMenu(QMenu& menu, const PanelMenu& description, std::string_view currentSkin,
                 const PanelMenuCommands& commands) {
    QMenu* skins = menu.addMenu(QStringLiteral("Skin"));
    for (const std::string& name : description.skins) {
        QString label = TextOfBytes(name);
        // A skin called "Black & White" must not lose its ampersand to a mnemonic.
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = skins->addAction(label);
        action->setCheckable(true);
        action->setChecked(name == currentSkin);
        const auto select = commands.selectSkin;
        QObject::connect(action, &QAction::triggered, action, [select, name] {
            if (select) select(name);
        });
    }
}

void Add(QMenu& menu, const QString& text, const std::function<void()>& command) {
    QAction* action = menu.addAction(text);
    QObject::connect(action, &QAction::triggered, action, [command] {
        if (command) command();
    });
}

} // namespace

QString MidiLearnWaitingText() {
    return QStringLiteral("Waiting for a MIDI controller\u2026 (Esc cancels)");
}

std::unique_ptr<QMenu> BuildPanelContextMenu(const PanelMenu& description,
                                             std::string_view currentSkin,
                                             const PanelMenuCommands& commands, QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    if (description.modeItems) {
        const auto setMode = commands.setEditMode;
        QAction* panel = menu->addAction(QStringLiteral("Panel Mode"));
        panel->setCheckable(true);
        panel->setChecked(!description.editModeTicked);
        QObject::connect(panel, &QAction::triggered, panel, [setMode] {
            if (setMode) setMode(false);
        });
        QAction* edit = menu->addAction(QStringLiteral("Edit Mode"));
        edit->setCheckable(true);
        edit->setChecked(description.editModeTicked);
        QObject::connect(edit, &QAction::triggered, edit, [setMode] {
            if (setMode) setMode(true);
        });
    }
    if (description.midiSlot != kNone) {
        menu->addSeparator();
        if (commands.midiLearnWaiting) {
            menu->addAction(MidiLearnWaitingText())->setEnabled(false);
            Add(*menu, QStringLiteral("Cancel MIDI Learn"), commands.cancelMidiLearn);
        } else {
            Add(*menu, QStringLiteral("Learn MIDI CC"), commands.learnMidiCc);
        }
        Add(*menu, QStringLiteral("Forget MIDI CC"), commands.forgetMidiCc);
        menu->actions().back()->setEnabled(description.midiForget);
    }
    if (description.editModeTicked) {
        menu->addSeparator();
        if (description.deleteParameter)
            Add(*menu, QStringLiteral("Delete Parameter..."), commands.deleteParameter);
        if (description.deletePolygon) {
            Add(*menu, QStringLiteral("Delete Polygon..."), commands.deletePolygon);
        } else if (description.deleteText) {
            Add(*menu, QStringLiteral("Delete Text..."), commands.deleteText);
            menu->addSeparator();
            // The Properties window already shows the label that was hit.
            menu->addAction(QStringLiteral("Text Properties..."));
        } else {
            if (description.insert) {
                QMenu* insert = menu->addMenu(QStringLiteral("Insert"));
                Add(*insert, QStringLiteral("Polygon"), commands.insertPolygon);
                Add(*insert, QStringLiteral("Text"), commands.insertText);
            }
            menu->addSeparator();
        }
    }
    if (description.skin) AddSkinMenu(*menu, description, currentSkin, commands);
    return menu;
}

} // namespace tw
