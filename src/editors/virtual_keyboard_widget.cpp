#include "editors/virtual_keyboard_widget.h"

#include <QPainter>

#include <utility>

namespace tw {

VirtualKeyboardWidget::VirtualKeyboardWidget(Project& project, NoteSink noteSink, QWidget* parent)
    : QWidget(parent), project_(project), noteSink_(std::move(noteSink)) {}

void VirtualKeyboardWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(206, 206, 200));
}

} // namespace tw
