#include "editors/undo_keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QObject>
#include <QWidget>

namespace tw {

namespace {

bool IsHistoryKey(const QKeyEvent& key) {
    return key.matches(QKeySequence::Undo) || key.matches(QKeySequence::Redo);
}

class UndoKeyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (IsHistoryKey(*key)) {
                // An override left unaccepted lets the menu's shortcut fire; a key press that
                // still arrives (no shortcut bound) is dropped rather than undone inside the
                // field.
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void LeaveUndoKeysToTheMenu(QWidget& field) {
    field.installEventFilter(new UndoKeyFilter(&field));
}

} // namespace tw
