#pragma once

#include "interaction/panel_interaction.h"
#include "model/project.h"
#include "platform/platform.h"

#include <memory>

#include <QImage>
#include <QWidget>

class QMenu;

namespace tw {

// The "Gui Editor": the instrument panel, played in panel mode and laid out in edit mode.
// It has no timer of its own; the program's 40 ms timers ask it to repaint.
class GuiEditorWidget : public QWidget {
    Q_OBJECT
public:
    GuiEditorWidget(Project& project, Platform& platform, QWidget* parent = nullptr);
    ~GuiEditorWidget() override;

    // The mouse state of the panel editor (panel size, press point, grabbed polygon).
    const PanelSession& Session() const { return session_; }
    // The context menu opened by the last right click, while it lives.
    QMenu* ContextMenu() const { return menu_.get(); }
    // The outer size of the window the panel sits in (its frame, when it has one), as
    // last recorded by a resize: the panel size the build and the project file use.
    QSize RecordedOuterSize() const { return outerSize_; }

Q_SIGNALS:
    void outerSizeChanged(int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void OpenContextMenu(QPoint at);
    void RecordOuterSize();
    void BringToFront();

    Project& project_;
    Platform& platform_;
    PanelSession session_;
    QImage buffer_;
    std::unique_ptr<QMenu> menu_;
    QSize outerSize_;
};

} // namespace tw
