#include "app/patch_menu.h"

#include "model/text.h"
#include "paint/qt_bitmap.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QWidgetAction>

namespace tw {

namespace {

// The tick of the current patch, drawn like a menu's check mark; the other entries get an
// empty image of the same size so that the names line up.
QIcon TickIcon(bool ticked) {
    QPixmap pixmap(32, 32);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    if (ticked) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(QColor(30, 30, 30), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        QPainterPath tick;
        tick.moveTo(3.5, 8.5);
        tick.lineTo(6.5, 11.5);
        tick.lineTo(12.5, 4.5);
        painter.drawPath(tick);
    }
    return QIcon(pixmap);
}

} // namespace

PatchMenu::PatchMenu(const Project& project, QWidget* parent) : QMenu(parent) {
    setObjectName(QStringLiteral("PatchMenu"));
    auto* grid = new QWidget(this);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(0);
    const QIcon tick = TickIcon(true);
    const QIcon blank = TickIcon(false);
    const int32_t current = project.currentPatch;
    for (int32_t p = 0; p < kPatchCount; ++p) {
        auto* entry = new QToolButton(grid);
        entry->setAutoRaise(true);
        entry->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        entry->setIconSize(QSize(16, 16));
        entry->setIcon(p == current ? tick : blank);
        entry->setText(TextOfBytes(GetText(project.patchNames[p])));
        entry->setCheckable(true);
        entry->setChecked(p == current);
        entry->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(entry, &QToolButton::clicked, this, [this, p] {
            chosen_ = p;
            close();
        });
        // A new column starts at patches 32, 64 and 96.
        layout->addWidget(entry, p % kPatchMenuRows, p / kPatchMenuRows);
        entries_[p] = entry;
    }
    auto* action = new QWidgetAction(this);
    action->setDefaultWidget(grid);
    addAction(action);
}

QToolButton* PatchMenu::Entry(int32_t patch) const {
    return IsPatch(patch) ? entries_[patch] : nullptr;
}

int32_t PatchMenu::Run(const QPoint& globalPos) {
    chosen_ = -1;
    exec(globalPos);
    return chosen_;
}

} // namespace tw
