// The canvas's mouse rules without a window: hit tests, band selection and zoom.
#include "interaction/canvas_interaction.h"
#include "support/builders.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;

void Drag(Project& p, CanvasSession& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    LeftPress(p, s, x0, y0);
    PointerMove(p, s, (x0 + x1) / 2, (y0 + y1) / 2);
    PointerMove(p, s, x1, y1);
    LeftRelease(p, s, x1, y1);
}

TEST(CanvasHitTest, PortMarkersAreHitStrictlyInsideAndHiddenInputsNever) {
    auto p = MakeProject();
    const int32_t meter = AddModule(*p, kTypeVoltMeter, 200, 100);
    const PortRecord& in = p->inputs[PortIndex(meter, 0)];
    EXPECT_EQ(HitInput(*p, in.x + 1, in.y + 1), PortIndex(meter, 0));
    EXPECT_EQ(HitInput(*p, in.x, in.y + 1), kNone) << "the marker's edge is outside";
    EXPECT_EQ(HitInput(*p, in.x + p->portSize, in.y + 1), kNone);
    const PortRecord& hidden = p->inputs[PortIndex(meter, 1)];
    EXPECT_EQ(HitInput(*p, hidden.x + 2, hidden.y + 2), kNone);
    const PortRecord& out = p->outputs[PortIndex(meter, 0)];
    EXPECT_EQ(HitOutput(*p, out.x + 4, out.y + 4), PortIndex(meter, 0));
    EXPECT_EQ(HitInput(*p, out.x + 4, out.y + 4), kNone);
}

TEST(CanvasHitTest, TheHighestSlotWinsAndTheBoxEdgesCount) {
    auto p = MakeProject();
    CanvasSession session;
    const int32_t low = AddModule(*p, kTypeAmplifier, 200, 100);
    const int32_t high = AddModule(*p, kTypeAmplifier, 200, 100);
    const ModuleSlot& s = p->slots[high];
    EXPECT_EQ(FindModuleAt(*p, s.anchorX + s.halfWidthPx, s.topY + s.heightPx), high);
    EXPECT_EQ(FindModuleAt(*p, s.anchorX + s.halfWidthPx + 1, s.topY), kNone);
    p->DeleteModule(high);
    EXPECT_TRUE(HitModule(*p, session, 200, 101));
    EXPECT_EQ(p->currentSlot, low);
    EXPECT_EQ(session.grabDx, 0);
    EXPECT_EQ(session.grabDy, 1);
    EXPECT_EQ(p->propertiesTarget, kTargetModule);
}

// Four modules at the corners of a square; a band around the two on the left.
class BandDirections : public ::testing::TestWithParam<int> {};

TEST_P(BandDirections, SelectTheSameModulesWhicheverCornerTheDragStartsFrom) {
    auto p = MakeProject();
    CanvasSession s;
    const int32_t topLeft = AddModule(*p, kTypeAdd, 100, 100);
    const int32_t bottomLeft = AddModule(*p, kTypeAdd, 100, 300);
    const int32_t right = AddModule(*p, kTypeAdd, 400, 100);
    const int32_t corners[4][4] = {
        {50, 50, 200, 350}, {200, 50, 50, 350}, {50, 350, 200, 50}, {200, 350, 50, 50}};
    const int32_t* c = corners[GetParam()];
    LeftPress(*p, s, c[0], c[1]);
    PointerMove(*p, s, c[0] + 1, c[1] + 1); // arms the band at this point
    PointerMove(*p, s, c[2], c[3]);
    EXPECT_EQ(s.bandVisible, 1);
    EXPECT_EQ(s.bandLeft, 50);
    EXPECT_EQ(s.bandTop, 50);
    EXPECT_EQ(s.bandRight, 200);
    EXPECT_EQ(s.bandBottom, 350);
    LeftRelease(*p, s, c[2], c[3]);
    EXPECT_EQ(s.bandState, kBandSelected);
    EXPECT_EQ(p->slots[topLeft].selected, 1);
    EXPECT_EQ(p->slots[bottomLeft].selected, 1);
    EXPECT_EQ(p->slots[right].selected, 0);
}

INSTANTIATE_TEST_SUITE_P(AllFour, BandDirections, ::testing::Values(0, 1, 2, 3));

TEST(BandSelection, AClickWithoutMovementLeavesAZeroBandThatTheNextEventClears) {
    auto p = MakeProject();
    CanvasSession s;
    AddModule(*p, kTypeAdd, 100, 100);
    LeftPress(*p, s, 300, 300);
    LeftRelease(*p, s, 300, 300);
    EXPECT_EQ(s.bandState, kBandSelected);
    EXPECT_EQ(s.bandLeft, s.bandRight);
    PointerMove(*p, s, 310, 310);
    EXPECT_EQ(s.bandState, kBandIdle);
}

TEST(BandSelection, PressingInsideTheBandMovesTheSelectionByTheSnappedDistance) {
    auto p = MakeProject();
    CanvasSession s;
    const int32_t inside = AddModule(*p, kTypeAdd, 100, 100);
    const int32_t outside = AddModule(*p, kTypeAdd, 400, 100);
    const int32_t note = p->InsertComment(60, 120);
    Drag(*p, s, 40, 40, 250, 250);
    ASSERT_EQ(p->slots[inside].selected, 1);
    ASSERT_EQ(p->comments[note].selected, 1);
    // Press at (140, 200), first move starts the move, then drag by (+43, +21).
    LeftPress(*p, s, 140, 200);
    EXPECT_EQ(s.bandState, kBandMoving);
    EXPECT_EQ(s.bandVisible, 0);
    PointerMove(*p, s, 183, 221); // snapped to (180, 220): moved by (40, 20)
    EXPECT_EQ(p->slots[inside].anchorX, 140);
    EXPECT_EQ(p->slots[inside].topY, 120);
    EXPECT_EQ(p->comments[note].x, 100);
    EXPECT_EQ(p->comments[note].y, 140);
    EXPECT_EQ(p->slots[outside].anchorX, 400);
    LeftRelease(*p, s, 183, 221);
    EXPECT_EQ(s.bandState, kBandIdle);
    EXPECT_EQ(p->slots[inside].selected, 0);
}

TEST(BandSelection, ShiftPressSelectsEverythingAndTheFirstMoveStartsMovingIt) {
    auto p = MakeProject();
    CanvasSession s;
    const int32_t a = AddModule(*p, kTypeAdd, 100, 100);
    const int32_t b = AddModule(*p, kTypeAdd, 1000, 600);
    s.shiftHeld = true;
    LeftPress(*p, s, 500, 400);
    EXPECT_EQ(s.bandState, kBandSelected);
    EXPECT_EQ(p->slots[a].selected, 1);
    EXPECT_EQ(p->slots[b].selected, 1);
    PointerMove(*p, s, 520, 420); // starts the move
    EXPECT_EQ(p->slots[a].anchorX, 100);
    PointerMove(*p, s, 540, 440);
    EXPECT_EQ(p->slots[a].anchorX, 140);
    EXPECT_EQ(p->slots[b].topY, 640);
    LeftRelease(*p, s, 540, 440);
    EXPECT_EQ(p->slots[a].selected, 0);

    // A Shift-click without movement leaves nothing selected.
    LeftPress(*p, s, 500, 400);
    LeftRelease(*p, s, 500, 400);
    EXPECT_EQ(p->slots[a].selected, 0);
    EXPECT_EQ(p->slots[b].selected, 0);
}

// The context menu takes the pointer, so the left release never reaches the canvas.
TEST(RightPress, EndsALeftDragAsItsReleaseWould) {
    auto p = MakeProject();
    CanvasSession s;
    const int32_t amp = AddModule(*p, kTypeAmplifier, 200, 100);
    const int32_t meter = AddModule(*p, kTypeVoltMeter, 500, 100);
    const int32_t a440 = AddModule(*p, kTypeA440, 200, 400);

    // A dragged module stops following the pointer.
    LeftPress(*p, s, 200, 101);
    PointerMove(*p, s, 300, 201);
    RightPress(*p, s, 300, 201);
    PointerMove(*p, s, 400, 301);
    EXPECT_EQ(p->slots[amp].anchorX, 300);

    // A loose cable lands where it is.
    const PortRecord& out = p->outputs[PortIndex(a440, 0)];
    const PortRecord& in = p->inputs[PortIndex(meter, 0)];
    LeftPress(*p, s, out.x + 2, out.y + 2);
    PointerMove(*p, s, in.x + 2, in.y + 2);
    RightPress(*p, s, in.x + 2, in.y + 2);
    EXPECT_EQ(s.cableVisible, 0);
    EXPECT_EQ(p->outputs[PortIndex(meter, 0)].link, PortIndex(a440, 0));

    // A band keeps what it selected, also when the left release turns up late.
    LeftPress(*p, s, 450, 50);
    PointerMove(*p, s, 451, 51);
    PointerMove(*p, s, 700, 250);
    RightPress(*p, s, 700, 250);
    EXPECT_EQ(s.bandState, kBandSelected);
    LeftRelease(*p, s, 700, 250);
    EXPECT_EQ(p->slots[meter].selected, 1);
}

TEST(WheelZoom, StepsOneLevelPerNotchWithinOneToTen) {
    auto p = MakeProject();
    CanvasSession s;
    const int32_t slot = AddModule(*p, kTypeAdd, 100, 100); // logical (20, 20)
    EXPECT_TRUE(WheelZoom(*p, s, 120));
    EXPECT_EQ(p->zoom, 5);
    EXPECT_EQ(p->previousZoom, 4);
    EXPECT_EQ(p->slots[slot].anchorX, 120);
    EXPECT_EQ(p->slots[slot].halfWidthPx, 20);
    for (int i = 0; i < 8; ++i) WheelZoom(*p, s, 120);
    EXPECT_EQ(p->zoom, 10);
    for (int i = 0; i < 12; ++i) WheelZoom(*p, s, -120);
    EXPECT_EQ(p->zoom, 1);
    WheelZoom(*p, s, -120);
    EXPECT_EQ(p->zoom, 1);
}

TEST(WheelZoom, FineWheelsZoomOnlyOnWholeNotchesInBothDirections) {
    auto p = MakeProject();
    CanvasSession s;
    EXPECT_FALSE(WheelZoom(*p, s, -15));
    EXPECT_EQ(p->zoom, 4);
    for (int i = 0; i < 6; ++i) WheelZoom(*p, s, -15);
    EXPECT_EQ(p->zoom, 4);
    EXPECT_TRUE(WheelZoom(*p, s, -15));
    EXPECT_EQ(p->zoom, 3);
    WheelZoom(*p, s, 60);
    EXPECT_EQ(p->zoom, 3);
    WheelZoom(*p, s, 60);
    EXPECT_EQ(p->zoom, 4);
}

} // namespace
} // namespace tw
