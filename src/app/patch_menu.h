#pragma once

// The toolbar's patch list: the 128 patch names in four columns of 32, the current patch
// ticked.
#include "model/project.h"

#include <QMenu>

#include <cstdint>

class QToolButton;

namespace tw {

inline constexpr int32_t kPatchMenuRows = 32;

class PatchMenu final : public QMenu {
    Q_OBJECT
public:
    PatchMenu(const Project& project, QWidget* parent = nullptr);

    QToolButton* Entry(int32_t patch) const;
    // The patch the user picked; -1 while none is.
    int32_t Chosen() const { return chosen_; }

    // Shows the list at `globalPos` and waits for a pick; returns it, or -1.
    int32_t Run(const QPoint& globalPos);

private:
    QToolButton* entries_[kPatchCount] = {};
    int32_t chosen_ = -1;
};

} // namespace tw
