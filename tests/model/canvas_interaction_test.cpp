// The canvas's mouse rules without a window: hit tests, band selection and zoom.
#include "model/canvas_interaction.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;

TEST(CanvasHitTest, MarkersAreHitStrictlyInsideAndBoxesWithTheirEdges) {
    auto p = MakeProject();
    const int32_t low = AddModule(*p, kTypeVoltMeter, 200, 100);
    const int32_t high = AddModule(*p, kTypeVoltMeter, 200, 100);
    const PortRecord& in = p->In[PortIndex(low, 0)];
    const PortRecord& hidden = p->In[PortIndex(low, 1)];
    const PortRecord& out = p->Out[PortIndex(low, 0)];
    const ModuleSlot& s = p->slots[high];
    // x, y -> input, output and module hit
    const int32_t rows[][5] = {
        {in.x + 1, in.y + 1, PortIndex(low, 0), kNone, high},
        {in.x, in.y + 1, kNone, kNone, high},
        {in.x + p->portSize, in.y + 1, kNone, kNone, high},
        {hidden.x + 2, hidden.y + 2, kNone, kNone, high},
        {out.x + 4, out.y + 4, kNone, PortIndex(low, 0), high},
        {s.anchorX + s.halfWidthPx, s.topY + s.heightPx, kNone, kNone, high},
        {s.anchorX + s.halfWidthPx + 1, s.topY, kNone, kNone, kNone},
    };
    for (const auto& [x, y, input, output, module] : rows) {
        EXPECT_EQ(std::vector({HitInput(*p, x, y), HitOutput(*p, x, y), FindModuleAt(*p, x, y)}),
                  std::vector({input, output, module}))
            << x << ", " << y;
    }
    EXPECT_TRUE(HitModule(*p, 200, 101));
    EXPECT_EQ(std::vector({p->currentSlot, p->grabDx, p->grabDy, p->propertiesTarget}),
              std::vector({high, 0, 1, int32_t{kTargetModule}}));
}

void Drag(Project& p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool release = true) {
    LeftPress(p, x0, y0);
    PointerMove(p, x0 + 1, y0 + 1); // arms the band, or starts moving what is selected
    PointerMove(p, x1, y1);
    if (release) LeftRelease(p, x1, y1);
}

TEST(BandSelection, ABandFromAnyCornerSelectsTheModulesInside) {
    const int32_t corners[4][4] = {
        {50, 50, 200, 350}, {200, 50, 50, 350}, {50, 350, 200, 50}, {200, 350, 50, 50}};
    for (const auto& [x0, y0, x1, y1] : corners) {
        auto p = MakeProject();
        const int32_t a = AddModule(*p, kTypeAdd, 100, 100);
        const int32_t b = AddModule(*p, kTypeAdd, 100, 300);
        const int32_t right = AddModule(*p, kTypeAdd, 400, 100);
        Drag(*p, x0, y0, x1, y1, false);
        EXPECT_EQ(std::vector<int32_t>(
                      {p->bandVisible, p->bandLeft, p->bandTop, p->bandRight, p->bandBottom}),
                  std::vector({1, 50, 50, 200, 350}));
        LeftRelease(*p, x1, y1);
        EXPECT_EQ(
            std::vector({p->slots[a].selected, p->slots[b].selected, p->slots[right].selected}),
            std::vector<uint8_t>({1, 1, 0}));
    }
}

TEST(BandSelection, AClickWithoutMovementLeavesAZeroBandThatTheNextEventClears) {
    auto p = MakeProject();
    AddModule(*p, kTypeAdd, 100, 100);
    LeftPress(*p, 300, 300);
    LeftRelease(*p, 300, 300);
    EXPECT_EQ(p->bandState, kBandSelected);
    EXPECT_EQ(p->bandLeft, p->bandRight);
    PointerMove(*p, 310, 310);
    EXPECT_EQ(p->bandState, kBandIdle);
}

TEST(BandSelection, ADragInsideTheBandOrWithShiftMovesTheSelectionOnTheGrid) {
    auto p = MakeProject();
    const int32_t inside = AddModule(*p, kTypeAdd, 100, 100);
    const int32_t outside = AddModule(*p, kTypeAdd, 400, 100);
    const int32_t note = p->InsertComment(60, 120);
    Drag(*p, 40, 40, 250, 250);
    Drag(*p, 140, 200, 183, 221); // snapped to (180, 220): moved by (40, 20)
    EXPECT_EQ(std::vector({p->slots[inside].anchorX, p->slots[inside].topY, p->comments[note].x,
                           p->comments[note].y, p->slots[outside].anchorX}),
              std::vector({140, 120, 100, 140, 400}));
    EXPECT_EQ(p->bandState, kBandIdle);
    EXPECT_EQ(p->slots[inside].selected, 0);

    // Shift takes everything; a Shift-click without movement leaves nothing selected.
    p->shiftHeld = 1;
    Drag(*p, 500, 400, 540, 440);
    EXPECT_EQ(std::vector({p->slots[inside].anchorX, p->slots[outside].anchorX}),
              std::vector({180, 440}));
    LeftPress(*p, 500, 400);
    LeftRelease(*p, 500, 400);
    EXPECT_EQ(p->slots[inside].selected + p->slots[outside].selected, 0);
}

// The context menu takes the pointer, so the left release never reaches the canvas.
TEST(RightPress, EndsALeftDragAsItsReleaseWould) {
    auto p = MakeProject();
    const int32_t amp = AddModule(*p, kTypeAmplifier, 200, 100);
    const int32_t meter = AddModule(*p, kTypeVoltMeter, 500, 100);
    const int32_t a440 = AddModule(*p, kTypeA440, 200, 400);

    // A dragged module stops following the pointer.
    LeftPress(*p, 200, 101);
    PointerMove(*p, 300, 201);
    RightPress(*p, 300, 201);
    PointerMove(*p, 400, 301);
    EXPECT_EQ(p->slots[amp].anchorX, 300);

    // A loose cable lands where it is.
    const PortRecord& out = p->Out[PortIndex(a440, 0)];
    const PortRecord& in = p->In[PortIndex(meter, 0)];
    LeftPress(*p, out.x + 2, out.y + 2);
    PointerMove(*p, in.x + 2, in.y + 2);
    RightPress(*p, in.x + 2, in.y + 2);
    EXPECT_EQ(p->cableVisible, 0);
    EXPECT_EQ(p->Out[PortIndex(meter, 0)].link, PortIndex(a440, 0));

    // A band keeps what it selected, also when the left release turns up late.
    Drag(*p, 450, 50, 700, 250, false);
    RightPress(*p, 700, 250);
    EXPECT_EQ(p->bandState, kBandSelected);
    LeftRelease(*p, 700, 250);
    EXPECT_EQ(p->slots[meter].selected, 1);
}

TEST(WheelZoom, WholeNotchesStepWithinOneToTenAndPartsAddUpInBothDirections) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeAdd, 100, 100); // logical (20, 20)
    int32_t pending = 0;
    auto turn = [&](int32_t notches, int32_t delta) {
        bool zoomed = false;
        for (int32_t i = 0; i < notches; ++i) zoomed = WheelZoom(*p, delta, pending);
        return zoomed;
    };
    // notches of delta -> zoom, and whether the last one completed a notch
    const int32_t rows[][4] = {{1, 120, 5, 1}, {8, 120, 10, 1}, {12, -120, 1, 1}, {1, -120, 1, 1},
                               {1, 15, 1, 0},  {7, 15, 2, 1},   {1, -60, 2, 0},   {1, -60, 1, 1}};
    for (const auto& [notches, delta, zoom, zoomed] : rows) {
        EXPECT_EQ(turn(notches, delta), zoomed != 0) << notches << " x " << delta;
        EXPECT_EQ(p->zoom, zoom) << notches << " x " << delta;
        EXPECT_EQ(p->slots[slot].anchorX, 20 * (zoom + 1));
    }
}

} // namespace
} // namespace tw
