#pragma once

#include "model/project.h"
#include "platform/platform.h"

#include <QWidget>

namespace tw {

// The "Properties Window": edits whatever the editors last selected.
class PropertiesWidget : public QWidget {
    Q_OBJECT
public:
    PropertiesWidget(Project& project, Platform& platform, QWidget* parent = nullptr);

    // Shows the group of controls for the current target and fills in its values.
    void Refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Project& project_;
    Platform& platform_;
};

} // namespace tw
