// The canvas picture, checked pixel by pixel at points computed from the layout.
#include "editors/dsp_editor_widget.h"
#include "paint/dsp_canvas_painter.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <QImage>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace tw {
namespace {

using test::AddModule;
using test::Wire;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

QImage Paint(const Project& p, const CanvasLiveView& live = {}) {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    PaintDspCanvas(painter, p, live, kWidth, kHeight);
    return image;
}

QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

// The top of the circle drawn round a port marker: the stroke covers this pixel fully.
QRgb CircleTop(const QImage& image, const Project& p, const PortRecord& port) {
    return At(image, port.x + p.halfPortSize, port.y);
}

TEST(DspCanvasPainting, PortCirclesTakeTheColourOfTheirKind) {
    auto p = test::MakeProject();
    p->zoom = 6;
    p->Relayout();
    const int32_t osc = AddModule(*p, kTypeOscillator, 150, 70);
    const int32_t delay = AddModule(*p, kTypeDelay, 450, 70);
    const int32_t split = AddModule(*p, kTypeSplit, 150, 350);
    const int32_t meter = AddModule(*p, kTypeVoltMeter, 450, 350);
    const QImage image = Paint(*p);
    EXPECT_EQ(CircleTop(image, *p, p->inputs[PortIndex(osc, 0)]), Rgb(100, 200, 100)); // Wave: gate
    EXPECT_EQ(CircleTop(image, *p, p->inputs[PortIndex(osc, 1)]), Rgb(245, 235, 100)); // Pitch
    EXPECT_EQ(CircleTop(image, *p, p->inputs[PortIndex(osc, 2)]), Rgb(30, 175, 245));  // Sync
    EXPECT_EQ(CircleTop(image, *p, p->outputs[PortIndex(delay, 1)]), Rgb(180, 165, 145)); // Status
    EXPECT_EQ(CircleTop(image, *p, p->outputs[PortIndex(split, 1)]), Rgb(120, 120, 0));   // Any
    // A hidden input gets no circle: the meter's value strip on its row shows through.
    const PortRecord& hidden = p->inputs[PortIndex(meter, 1)];
    EXPECT_EQ(CircleTop(image, *p, hidden), Rgb(250, 250, 245));
}

TEST(DspCanvasPainting, ASplitHasNoBodyWhileAnAmplifierHasAGreyOne) {
    auto empty = test::MakeProject();
    const QImage before = Paint(*empty);
    auto p = test::MakeProject();
    const int32_t split = AddModule(*p, kTypeSplit, 200, 200);
    const int32_t amp = AddModule(*p, kTypeAmplifier, 500, 200);
    const QImage image = Paint(*p);
    // Inside the Split's box, away from its two lines and its port circles.
    const ModuleSlot& s = p->slots[split];
    const int x = s.anchorX - 2;
    const int y = s.topY + s.heightPx - 3;
    EXPECT_EQ(At(image, x, y), At(before, x, y));
    // The lines run from output 0 to input 0: their middle is whitish.
    const PortRecord& in = p->inputs[PortIndex(split, 0)];
    const PortRecord& out = p->outputs[PortIndex(split, 0)];
    const QRgb line =
        At(image, (in.x + out.x) / 2 + p->halfPortSize, (in.y + out.y) / 2 + p->halfPortSize);
    EXPECT_GT(qGray(line), 225);
    const ModuleSlot& a = p->slots[amp];
    EXPECT_EQ(At(image, a.anchorX, a.topY + a.heightPx / 2), Rgb(88, 88, 88));
}

TEST(DspCanvasPainting, TheOscilloscopeTraceStopsAtItsLimits) {
    auto p = test::MakeProject();
    const int32_t scope = AddModule(*p, kTypeOscilloscope, 300, 100);
    const ModuleSlot& s = p->slots[scope];
    const int32_t left = s.anchorX - s.halfWidthPx;
    const int32_t bottom = s.topY + s.heightPx;
    auto utility = std::make_unique<UtilityState>();
    const TracePoint high = ScopeTracePoint(left, s.topY, bottom, p->zoom, 50, 2.0f);
    const TracePoint low = ScopeTracePoint(left, s.topY, bottom, p->zoom, 50, -2.0f);
    // v = 31 and v = -30 around the baseline three quarters down the box.
    EXPECT_EQ(high.y, s.topY + 48 + 12);
    EXPECT_EQ(low.y, s.topY + 48 - 12);
    EXPECT_EQ(high.x, left + 32);
    EXPECT_EQ(ScopeTracePoint(left, s.topY, bottom, p->zoom, 0, 99.0f).y, high.y);

    const QRgb trace = Rgb(245, 235, 100);
    for (auto& v : utility->scope[scope]) v = 2.0f;
    QImage image = Paint(*p, CanvasLiveView{utility.get(), false});
    EXPECT_EQ(At(image, high.x, high.y), trace);
    EXPECT_NE(At(image, high.x, high.y + 1), trace);
    for (auto& v : utility->scope[scope]) v = -2.0f;
    image = Paint(*p, CanvasLiveView{utility.get(), false});
    EXPECT_EQ(At(image, low.x, low.y), trace);
    EXPECT_NE(At(image, low.x, low.y - 1), trace);
}

TEST(DspCanvasPainting, TheCurrentModuleAndABandSelectedCommentAreOutlinedInOrange) {
    auto p = test::MakeProject();
    const int32_t amp = AddModule(*p, kTypeAmplifier, 300, 100);
    const int32_t note = p->InsertComment(100, 300);
    p->currentSlot = kNone;
    const QImage plain = Paint(*p);
    p->currentSlot = amp;
    p->comments[note].selected = 1;
    const QImage marked = Paint(*p);
    const ModuleSlot& s = p->slots[amp];
    const QRgb orange = Rgb(255, 128, 0);
    // The outline runs along the right edge of the body box, x = R.
    const int rightEdge = s.anchorX + s.halfWidthPx;
    const int mid = s.topY + s.heightPx / 2;
    EXPECT_EQ(At(marked, rightEdge, mid), orange);
    EXPECT_NE(At(plain, rightEdge, mid), orange);
    // The comment's box starts 2 pixels above and left of the comment.
    const CommentRecord& c = p->comments[note];
    EXPECT_EQ(At(marked, c.x - 2, c.y + 20), orange);
    EXPECT_NE(At(plain, c.x - 2, c.y + 20), orange);
}

TEST(DspCanvasPainting, CablesOfUncolouredKindsAreGreyLinesAndOthersCarryTheirColour) {
    auto p = test::MakeProject();
    const int32_t tone = AddModule(*p, kTypeA440, 100, 100);
    const int32_t amp = AddModule(*p, kTypeAmplifier, 500, 100);
    ASSERT_TRUE(Wire(*p, tone, 0, amp, 0));
    const PortRecord& in = p->inputs[PortIndex(amp, 0)];
    const PortRecord& out = p->outputs[PortIndex(tone, 0)];
    // Both ends sit at the same height: the cable is horizontal in every style.
    const int y = in.y + p->halfPortSize;
    const int x = (in.x + out.x) / 2;
    for (int32_t style : {0, 1, 2}) {
        p->cableStyle = style;
        EXPECT_EQ(At(Paint(*p), x, y), Rgb(30, 175, 245)) << style;
    }
    // An output whose kind has no colour draws a plain grey line.
    p->outputs[PortIndex(tone, 0)].kind = kPortHidden;
    EXPECT_EQ(At(Paint(*p), x, y), Rgb(128, 128, 128));
}

TEST(DspCanvasPainting, TheHoveredInputLabelStandsOnYellowWhileACableIsDragged) {
    auto p = test::MakeProject();
    HeadlessPlatform platform;
    CanvasSession session;
    DspEditorWidget widget(*p, session, platform);
    widget.resize(kWidth, kHeight);
    const int32_t tone = AddModule(*p, kTypeA440, 100, 100);
    const int32_t amp = AddModule(*p, kTypeAmplifier, 500, 100);
    const PortRecord& in = p->inputs[PortIndex(amp, 0)];
    const PortRecord& out = p->outputs[PortIndex(tone, 0)];
    const int labelX = in.x + p->portSize + p->zoom + 1;
    const int labelY = in.y - p->zoom / 4 + 1;
    QTest::mousePress(&widget, Qt::LeftButton, {}, QPoint(out.x + 4, out.y + 4));
    QTest::mouseMove(&widget, QPoint(300, 300));
    QImage image = widget.grab().toImage();
    EXPECT_EQ(At(image, labelX, labelY), Rgb(88, 88, 88));
    // The loose cable is a grey line from the output's centre to the pointer.
    EXPECT_EQ(At(image, 300 - 1, 300 - 1), Rgb(128, 128, 128));
    QTest::mouseMove(&widget, QPoint(in.x + 4, in.y + 4));
    image = widget.grab().toImage();
    EXPECT_EQ(At(image, labelX, labelY), Rgb(245, 235, 100));
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(in.x + 4, in.y + 4));
}

} // namespace
} // namespace tw
