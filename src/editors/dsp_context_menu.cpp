#include "editors/dsp_context_menu.h"

#include "model/catalogue.h"

#include <QAction>

namespace tw {

namespace {

void AddCommand(QMenu& menu, const char* text, int32_t command, bool enabled = true) {
    QAction* action = menu.addAction(QString::fromLatin1(text));
    action->setData(command);
    action->setEnabled(enabled);
}

void BuildInsertMenu(const Project& project, QMenu& insert) {
    for (const MenuCategory& category : InsertMenu()) {
        QMenu* sub = insert.addMenu(QString::fromLatin1(category.name));
        for (const int32_t type : category.types) {
            const ModuleTypeInfo* info = FindModuleType(type);
            if (info == nullptr) continue;
            AddCommand(*sub, info->menuEntry, kCommandInsertModule + type,
                       InsertEntryEnabled(project, type));
        }
    }
    insert.addSeparator();
    AddCommand(insert, "Comment", kCommandInsertComment);
}

} // namespace

std::unique_ptr<QMenu> BuildDspContextMenu(const Project& project, const RightPressHit& hit,
                                           QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    if (!project.lockEdit) {
        QMenu* insert = menu->addMenu(QStringLiteral("Insert"));
        BuildInsertMenu(project, *insert);
        menu->addSeparator();
        AddCommand(*menu, "Cut", kCommandCut);
        AddCommand(*menu, "Copy", kCommandCopy);
        AddCommand(*menu, "Paste", kCommandPaste);
        AddCommand(*menu, "Delete", kCommandDelete);
        menu->addSeparator();
        AddCommand(*menu, "Select All", kCommandSelectAll);
    }
    if (hit.comment != kNone) {
        menu->addSeparator();
        AddCommand(*menu, "Help...", kCommandCommentHelp);
    }
    if (hit.slot != kNone) {
        menu->addSeparator();
        AddCommand(*menu, "Help...", kCommandModuleHelp);
    }
    return menu;
}

} // namespace tw
