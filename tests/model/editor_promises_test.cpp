// Whole-canvas commands reach every module wherever it lies, new controls are made whole
// (steps from their image, a free spot on the panel) and Fit All always shows modules.
#include "interaction/canvas_commands.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;

TEST(WholeCanvas, SelectAllAndShiftPressReachModulesFarOutAtEveryZoom) {
    for (const int32_t zoom : {1, 4, 10}) {
        for (const bool shift : {false, true}) {
            auto p = MakeProject();
            p->zoom = zoom;
            p->Relayout();
            // Far beyond a 4K screen at this zoom, and one near the origin.
            const int32_t near = AddModule(*p, kTypeAdd, 40, 40);
            const int32_t far = AddModule(*p, kTypeAdd, 9000 * (zoom + 1), 5000 * (zoom + 1));
            const int32_t c = p->InsertComment(7000 * (zoom + 1), 8000 * (zoom + 1));
            CanvasSession s;
            if (shift) {
                s.shiftHeld = true;
                LeftPress(*p, s, 3000 * (zoom + 1), 10);
            } else {
                SelectAll(*p, s);
            }
            EXPECT_EQ(std::tuple(p->slots[near].selected, p->slots[far].selected,
                                 p->comments[c].selected),
                      std::tuple(1, 1, 1))
                << "zoom " << zoom << (shift ? " shift-press" : " select all");
            if (shift) continue;
            DeleteSelectionFromEditMenu(*p, s);
            EXPECT_EQ(std::tuple(p->CountOccupied(), p->commentCount), std::tuple(0, 0));
        }
    }
}

TEST(NewControls, TakeTheirImagesStepsAndFreeSpotsEvenOnAFullPanel) {
    auto p = MakeProject();
    p->skinImages[0].frames = 11;
    const int32_t first = AddModule(*p, kTypeParameter);
    EXPECT_EQ(p->slots[first].steps, 10) << "the stored steps follow the image at once";
    // A Gui Editor of 400 x 300 filled with controls: new ones go on below, never onto the
    // centre spot or onto each other.
    for (int32_t i = 0; i < 40; ++i) AddModule(*p, kTypeParameter);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const ModuleSlot& m = p->slots[slot];
        if (m.type != kTypeParameter) continue;
        EXPECT_TRUE(p->ControlSpotFree(slot, m.panelX, m.panelY))
            << "slot " << slot << " at " << m.panelX << "," << m.panelY;
    }
}

TEST(FitAllView, AProjectTooWideForTheSmallestZoomShowsItsTopLeftModules) {
    auto p = MakeProject();
    p->zoom = kMinZoom;
    p->Relayout();
    const int32_t topLeft = AddModule(*p, kTypeAdd, 400, 300);
    AddModule(*p, kTypeAdd, 40000, 300);
    AddModule(*p, kTypeAdd, 400, 30000);
    CanvasSession s;
    s.viewWidth = 800;
    s.viewHeight = 600;
    FitAll(*p, s);
    const ModuleSlot& m = p->slots[topLeft];
    EXPECT_EQ(p->zoom, kMinZoom);
    EXPECT_GE(m.anchorX - m.halfWidthPx, p->viewOriginX);
    EXPECT_LE(m.anchorX + m.halfWidthPx, p->viewOriginX + s.viewWidth);
    EXPECT_GE(m.topY, p->viewOriginY);
    EXPECT_LE(m.topY + m.heightPx, p->viewOriginY + s.viewHeight);
}

} // namespace
} // namespace tw
