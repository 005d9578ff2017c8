#include "editors/dsp_editor_widget.h"

#include <QPainter>

namespace tw {

DspEditorWidget::DspEditorWidget(Project& project, Platform& platform, QWidget* parent)
    : QWidget(parent), project_(project), platform_(platform) {}

void DspEditorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(206, 206, 200));
}

} // namespace tw
