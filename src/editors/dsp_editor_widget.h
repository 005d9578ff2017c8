#pragma once

#include "interaction/canvas_interaction.h"
#include "model/history.h"
#include "model/project.h"
#include "paint/dsp_canvas_cache.h"
#include "paint/dsp_canvas_painter.h"
#include "platform/platform.h"

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;
class QScrollBar;

namespace tw {

// The "Dsp Editor" canvas: modules, cables and comments, edited with the mouse. Events
// become canvas operations on the project and the mouse session; painting is
// PaintDspCanvas, kept as a picture that each 40 ms tick touches only where a live
// display changed. The view scrolls over the canvas (scroll bars, middle-button or
// Space+drag, arrow keys); its position is the project's view origin. The session belongs
// to the caller, because the Edit menu's selection commands and the Shift key reach it too.
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
    // How often the still part of the picture has been drawn.
    int64_t StillPaints() const { return picture_.StillPaints(); }
    // The view's size: the widget less its scroll bars.
    QSize ViewSize() const;

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
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowContextMenu(const QPoint& at);
    void Tick();
    // Moves the view origin (held within the scroll range) and the scroll bars with it.
    void ScrollTo(int32_t x, int32_t y);
    void SyncScrollBars();
    // A view point as a canvas point.
    QPoint ToCanvas(const QPoint& at) const;

    Project& project_;
    CanvasSession& session_;
    Platform& platform_;
    QTimer timer_;
    const UtilityState* utility_ = nullptr;
    std::function<bool()> midiInputOpen_;
    MenuRunner menuRunner_;
    EditHistory* history_ = nullptr;
    DspCanvasPicture picture_;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
    bool syncing_ = false;
    // Panning: Space held, and the drag that moves the view (middle button, or the left
    // one while Space is held) with where it started.
    bool spaceHeld_ = false;
    bool panning_ = false;
    QPoint panStart_;
    QPoint panOrigin_;
};

} // namespace tw
