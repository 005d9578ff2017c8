#pragma once

#include "model/project.h"
#include "platform/platform.h"

#include <QWidget>

namespace tw {

// The "Gui Editor": the instrument panel, played in panel mode and laid out in edit mode.
class GuiEditorWidget : public QWidget {
    Q_OBJECT
public:
    GuiEditorWidget(Project& project, Platform& platform, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Project& project_;
    Platform& platform_;
};

} // namespace tw
