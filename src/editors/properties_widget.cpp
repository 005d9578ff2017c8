#include "editors/properties_widget.h"

#include <QPainter>

namespace tw {

PropertiesWidget::PropertiesWidget(Project& project, Platform& platform, QWidget* parent)
    : QWidget(parent), project_(project), platform_(platform) {}

void PropertiesWidget::Refresh() {
    update();
}

void PropertiesWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(240, 240, 240));
}

} // namespace tw
