#include "editors/gui_editor_widget.h"

#include <QPainter>

namespace tw {

GuiEditorWidget::GuiEditorWidget(Project& project, Platform& platform, QWidget* parent)
    : QWidget(parent), project_(project), platform_(platform) {}

void GuiEditorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(206, 206, 200));
}

} // namespace tw
