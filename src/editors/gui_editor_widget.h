#pragma once

#include "interaction/panel_interaction.h"
#include "model/history.h"
#include "model/project.h"
#include "platform/platform.h"

#include <functional>
#include <memory>

#include <QImage>
#include <QWidget>

class QMenu;

namespace tw {

// The "Gui Editor": the instrument panel, played in panel mode and laid out in edit mode.
// It has no timer of its own; the program's 40 ms timers call Refresh, which repaints only
// when the picture would change.
class GuiEditorWidget : public QWidget {
    Q_OBJECT
public:
    GuiEditorWidget(Project& project, Platform& platform, QWidget* parent = nullptr);
    ~GuiEditorWidget() override;

    // The mouse state of the panel editor (panel size, press point, grabbed polygon).
    const PanelSession& Session() const { return session_; }
    // The context menu opened by the last right click, while it lives.
    QMenu* ContextMenu() const { return menu_.get(); }
    // Where the panel records its edits as steps (none by default).
    void SetHistory(EditHistory* history) { history_ = history; }
    // "Learn MIDI CC": the program hands the control's slot to the engine, which binds the
    // next controller that arrives; `waiting` tells which control still waits (-1: none),
    // and `cancel` stops the wait. While one waits the panel says so, and Esc cancels.
    struct MidiLearn {
        std::function<void(int32_t slot)> start;
        std::function<void()> cancel;
        std::function<int32_t()> waiting;
    };
    void SetMidiLearn(MidiLearn learn) { learn_ = std::move(learn); }
    // Asks for a repaint when anything the panel shows changed since the last paint.
    void Refresh();
    // How often the panel's picture has been drawn.
    int64_t PanelPaints() const { return panelPaints_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int32_t LearnWaiting() const { return learn_.waiting ? learn_.waiting() : kNone; }
    void CancelLearn();
    void OpenContextMenu(QPoint at);
    void BringToFront();

    Project& project_;
    Platform& platform_;
    PanelSession session_;
    QImage buffer_;
    uint64_t bufferKey_ = 0;
    bool bufferValid_ = false;
    int64_t panelPaints_ = 0;
    std::unique_ptr<QMenu> menu_;
    EditHistory* history_ = nullptr;
    MidiLearn learn_;
    int32_t shownLearnSlot_ = kNone; // the waiting control the last paint told of
    // The wheel: eighths of a degree not yet a whole notch, and the control the last notch
    // turned while its step may still take more notches.
    int wheelRest_ = 0;
    int32_t wheelSlot_ = kNone;
    uint64_t wheelRevision_ = 0;
};

} // namespace tw
