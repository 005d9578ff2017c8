#pragma once

#include "interaction/canvas_interaction.h"
#include "model/history.h"
#include "model/project.h"
#include "paint/dsp_canvas_painter.h"
#include "platform/platform.h"

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;

namespace tw {

// The "Dsp Editor" canvas: modules, cables and comments, edited with the mouse. Events
// become canvas operations on the project and the mouse session; painting is
// PaintDspCanvas. The session belongs to the caller, because the Edit menu's selection
// commands and the Shift key reach it too.
class DspEditorWidget : public QWidget {
    Q_OBJECT
public:
    DspEditorWidget(Project& project, CanvasSession& session, Platform& platform,
                    QWidget* parent = nullptr);

    // Where the live displays read from: the engine's oscilloscope captures and whether a
    // MIDI input is open. Without them traces are flat and MIDI modules show "Off".
    void SetLiveSources(const UtilityState* utility, std::function<bool()> midiInputOpen);

    // Shows a context menu at a global position and returns the chosen action (nullptr
    // when dismissed). The default runs the menu modally; tests choose without a popup.
    using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;
    void SetMenuRunner(MenuRunner runner);

    // Where the canvas records its edits as steps (none by default).
    void SetHistory(EditHistory* history) { history_ = history; }

    CanvasLiveView LiveView() const;
    const CanvasSession& Session() const { return session_; }

Q_SIGNALS:
    // Every 40 ms, after the canvas asked for its repaint, and after a context menu
    // command: the Gui Editor repaints on it too.
    void Ticked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowContextMenu(const QPoint& at);

    Project& project_;
    CanvasSession& session_;
    Platform& platform_;
    QTimer timer_;
    const UtilityState* utility_ = nullptr;
    std::function<bool()> midiInputOpen_;
    MenuRunner menuRunner_;
    EditHistory* history_ = nullptr;
};

} // namespace tw
