#pragma once

// Text fields that edit the project (a patch name, a module's name) keep Ctrl+Z and
// Ctrl+Y for the program's own history: a field's private undo would take back single
// keystrokes behind the history's back and leave the Edit menu naming another step.
class QWidget;

namespace tw {

// Lets the Edit menu's Undo and Redo shortcuts pass through `field` to the menu.
void LeaveUndoKeysToTheMenu(QWidget& field);

} // namespace tw
