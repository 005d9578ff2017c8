#pragma once

#include "model/project.h"
#include "platform/platform.h"

#include <QWidget>

namespace tw {

// The "Dsp Editor" canvas: modules, cables and comments, edited with the mouse.
class DspEditorWidget : public QWidget {
    Q_OBJECT
public:
    DspEditorWidget(Project& project, Platform& platform, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Project& project_;
    Platform& platform_;
};

} // namespace tw
