// The panel picture: checked pixel by pixel at points computed from the layout.
#include "model/text.h"
#include "paint/panel_painter.h"
#include "paint/qt_bitmap.h"
#include "support/builders.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace tw {
namespace {

// Fonts need an application object; one serves every test.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "tw_editors_tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QGuiApplication> app;
    if (QGuiApplication::instance() == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
}

constexpr uint32_t kGrey = 0xFFF0F0F0u;
constexpr int32_t kSide = 40;
constexpr int32_t kFrames = 11;

// Frame f of the test strip is one flat colour, different for every frame.
uint32_t FrameColour(int32_t f) {
    return 0xFF000000u | static_cast<uint32_t>(20 * f) << 16 |
           static_cast<uint32_t>(255 - 20 * f) << 8 | 0x40u;
}

BitmapHandle Strip() {
    auto b = std::make_shared<Bitmap>();
    b->width = kSide;
    b->height = kSide * kFrames;
    for (int32_t y = 0; y < b->height; ++y)
        for (int32_t x = 0; x < kSide; ++x) b->pixels.push_back(FrameColour(y / kSide));
    return b;
}

BitmapHandle Flat(int32_t w, int32_t h, uint32_t colour) {
    auto b = std::make_shared<Bitmap>();
    b->width = w;
    b->height = h;
    b->pixels.assign(static_cast<std::size_t>(w) * h, colour);
    return b;
}

uint32_t Px(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

class PanelPainting : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        project = test::MakeProject();
        SkinImage& knob = project->skinImages[0];
        knob.bitmap = Strip();
        knob.width = kSide;
        knob.height = kSide * kFrames;
        knob.frames = kFrames;
    }

    // A Parameter drawn with image 0 at (x, y), without its label unless asked.
    int32_t AddControl(int32_t x, int32_t y, int32_t value, bool label = false) {
        const int32_t slot = test::AddModule(*project, kTypeParameter);
        ModuleSlot& s = project->slots[slot];
        s.imageType = 0;
        s.panelX = x;
        s.panelY = y;
        s.patchValues[project->currentPatch] = value;
        s.showLabel = label ? 1 : 0;
        project->currentSlot = kNone; // inserting makes it current, which outlines it
        return slot;
    }
    PanelPolygon& AddPolygon(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        const int32_t i = project->InsertPolygon(x1, y1);
        PanelPolygon& p = project->polygons[i];
        p.x2 = x2;
        p.y2 = y2;
        p.red = 200;
        p.green = 0;
        p.blue = 0;
        p.alpha = 255;
        return p;
    }
    QImage Render(int32_t w = 300, int32_t h = 200) { return RenderPanel(*project, w, h); }

    std::unique_ptr<Project> project;
};

TEST_F(PanelPainting, BackgroundIsCopiedUnscaledOverTheGreyPanel) {
    project->background.bitmap = Flat(100, 80, 0xFF203040u);
    project->background.width = 100;
    project->background.height = 80;
    const QImage image = Render();
    EXPECT_EQ(Px(image, 0, 0), 0xFF203040u);
    EXPECT_EQ(Px(image, 99, 79), 0xFF203040u);
    EXPECT_EQ(Px(image, 100, 40), kGrey);
    EXPECT_EQ(Px(image, 50, 80), kGrey);
    EXPECT_EQ(Px(image, 299, 199), kGrey);
}

TEST_F(PanelPainting, AControlShowsTheFrameOfItsValueInTheCurrentPatch) {
    const int32_t slot = AddControl(60, 30, 3);
    project->slots[slot].patchValues[5] = 7;
    QImage image = Render();
    EXPECT_EQ(project->slots[slot].controlSize, kSide);
    EXPECT_EQ(Px(image, 60, 30), FrameColour(3));
    EXPECT_EQ(Px(image, 60 + kSide - 1, 30 + kSide - 1), FrameColour(3));
    EXPECT_EQ(Px(image, 60 + kSide, 30 + 20), kGrey);
    EXPECT_EQ(Px(image, 59, 30 + 20), kGrey);

    project->currentPatch = 5;
    image = Render();
    EXPECT_EQ(Px(image, 80, 50), FrameColour(7));
}

TEST_F(PanelPainting, AValueBeyondTheStripShowsItsLastFrame) {
    AddControl(10, 10, 100);
    const QImage image = Render();
    EXPECT_EQ(Px(image, 30, 30), FrameColour(kFrames - 1));
    EXPECT_EQ(Px(image, 30, 10 + kSide), kGrey); // nothing from below the strip
}

TEST_F(PanelPainting, ControlsNotRenderedOnTheBackgroundAreLeftOut) {
    const int32_t shown = AddControl(10, 10, 2);
    const int32_t hidden = AddControl(100, 10, 4);
    project->slots[hidden].renderOnBackground = 0;
    project->slots[hidden].controlSize = 0;
    const QImage image = Render();
    EXPECT_EQ(Px(image, 30, 30), FrameColour(2));
    EXPECT_EQ(Px(image, 120, 30), kGrey);
    EXPECT_EQ(project->slots[shown].controlSize, kSide);
    EXPECT_EQ(project->slots[hidden].controlSize, 0); // only drawn controls take a size
}

TEST_F(PanelPainting, AControlWhoseImageIsNotLoadedDrawsNothing) {
    const int32_t slot = AddControl(10, 10, 2);
    project->slots[slot].imageType = 3;
    const QImage image = Render();
    EXPECT_EQ(Px(image, 30, 30), kGrey);
    EXPECT_EQ(project->slots[slot].controlSize, 0);
}

TEST_F(PanelPainting, TheLabelIsDrawnInItsColourBelowTheControl) {
    const int32_t slot = AddControl(100, 20, 0, /*label=*/true);
    SetText(project->slots[slot].name, "WWWW");
    project->slots[slot].labelColour[0] = 0;
    project->slots[slot].labelColour[1] = 0;
    project->slots[slot].labelColour[2] = 255;
    const QImage image = Render();
    int blue = 0, above = 0;
    for (int y = 20 + kSide; y < 20 + kSide + 16; ++y)
        for (int x = 60; x < 180; ++x) blue += Px(image, x, y) == 0xFF0000FFu ? 1 : 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 300; ++x) above += Px(image, x, y) != kGrey ? 1 : 0;
    EXPECT_GT(blue, 20);
    EXPECT_EQ(above, 0);
    // Centred under the control: as much ink left of its middle as right of it.
    int left = 0, right = 0;
    for (int y = 20 + kSide; y < 20 + kSide + 16; ++y) {
        for (int x = 60; x < 120; ++x) left += Px(image, x, y) != kGrey ? 1 : 0;
        for (int x = 120; x < 180; ++x) right += Px(image, x, y) != kGrey ? 1 : 0;
    }
    EXPECT_NEAR(left, right, (left + right) / 5 + 2);
}

TEST_F(PanelPainting, SquareSolidPolygonFillsItsRectangle) {
    PanelPolygon& p = AddPolygon(20, 30, 120, 80);
    p.cornerRadius = 0;
    p.solid = 1;
    const QImage image = Render();
    EXPECT_EQ(Px(image, 20, 30), 0xFFC80000u);
    EXPECT_EQ(Px(image, 70, 55), 0xFFC80000u);
    EXPECT_EQ(Px(image, 119, 79), 0xFFC80000u);
    EXPECT_EQ(Px(image, 121, 55), kGrey);
    EXPECT_EQ(Px(image, 70, 81), kGrey);
}

TEST_F(PanelPainting, SquareOutlinedPolygonStrokesOnlyItsEdges) {
    PanelPolygon& p = AddPolygon(20, 30, 120, 80);
    p.cornerRadius = 0;
    p.lineWidth = 4;
    const QImage image = Render();
    EXPECT_EQ(Px(image, 20, 55), 0xFFC80000u);
    EXPECT_EQ(Px(image, 120, 55), 0xFFC80000u);
    EXPECT_EQ(Px(image, 70, 30), 0xFFC80000u);
    EXPECT_EQ(Px(image, 70, 80), 0xFFC80000u);
    EXPECT_EQ(Px(image, 70, 55), kGrey);
}

TEST_F(PanelPainting, RoundedOutlineFollowsArcsOfTheCornerDiameter) {
    PanelPolygon& p = AddPolygon(40, 40, 240, 140); // corner 16 by default, not solid
    p.lineWidth = 3;
    const QImage image = Render();
    // The straight edges.
    EXPECT_EQ(Px(image, 140, 40), 0xFFC80000u);
    EXPECT_EQ(Px(image, 40, 90), 0xFFC80000u);
    EXPECT_EQ(Px(image, 240, 90), 0xFFC80000u);
    EXPECT_EQ(Px(image, 140, 140), 0xFFC80000u);
    // The square corners themselves stay empty: the arcs cut them off.
    EXPECT_EQ(Px(image, 40, 40), kGrey);
    EXPECT_EQ(Px(image, 240, 140), kGrey);
    EXPECT_EQ(Px(image, 240, 40), kGrey);
    // On the arc at 45 degrees of the top-left corner: centre (48, 48), radius 8.
    const QColor onArc = image.pixelColor(48 - 6, 48 - 6);
    EXPECT_GT(onArc.red(), 180);
    EXPECT_LT(onArc.green(), 120);
    EXPECT_EQ(Px(image, 140, 90), kGrey);
}

TEST_F(PanelPainting, RoundedSolidPolygonFillsInsideItsArcs) {
    PanelPolygon& p = AddPolygon(40, 40, 240, 140);
    p.cornerRadius = 40;
    p.solid = 1;
    const QImage image = Render();
    EXPECT_EQ(Px(image, 140, 90), 0xFFC80000u);
    EXPECT_EQ(Px(image, 41, 41), kGrey); // outside the corner arc
    EXPECT_EQ(Px(image, 238, 138), kGrey);
    EXPECT_EQ(Px(image, 45, 90), 0xFFC80000u);
}

TEST_F(PanelPainting, AlphaZeroIsInvisibleAndHalfAlphaBlends) {
    PanelPolygon& solid = AddPolygon(10, 10, 60, 60);
    solid.cornerRadius = 0;
    solid.solid = 1;
    solid.alpha = 0;
    PanelPolygon& outline = AddPolygon(100, 10, 150, 60);
    outline.lineWidth = 5;
    outline.alpha = 0;
    const int32_t t = project->InsertText(200, 20);
    project->texts[t].alpha = 0;
    project->texts[t].size = 20;
    QImage image = Render();
    for (int y = 0; y < 200; y += 3)
        for (int x = 0; x < 300; x += 3) ASSERT_EQ(Px(image, x, y), kGrey) << x << "," << y;

    project->polygons[0].alpha = 128;
    image = Render();
    const QColor blended = image.pixelColor(35, 35);
    EXPECT_NEAR(blended.red(), (200 * 128 + 240 * 127) / 255, 2);
    EXPECT_NEAR(blended.green(), (240 * 127) / 255, 2);
}

TEST_F(PanelPainting, PolygonsAreDrawnOverControls) {
    AddControl(20, 20, 1);
    PanelPolygon& p = AddPolygon(30, 30, 50, 50);
    p.cornerRadius = 0;
    p.solid = 1;
    const QImage image = Render();
    EXPECT_EQ(Px(image, 40, 40), 0xFFC80000u);
    EXPECT_EQ(Px(image, 22, 22), FrameColour(1));
}

TEST_F(PanelPainting, TextIsDrawnFromItsTopLeftInItsColour) {
    const int32_t t = project->InsertText(50, 60);
    SetText(project->texts[t].text, "HHHH");
    project->texts[t].size = 14;
    project->texts[t].red = 0;
    project->texts[t].green = 128;
    project->texts[t].blue = 0;
    const QImage image = Render();
    int ink = 0, outside = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            const bool inBox = x >= 50 && x < 200 && y >= 60 && y < 95;
            const uint32_t c = Px(image, x, y);
            if (inBox)
                ink += c == 0xFF008000u ? 1 : 0;
            else
                outside += c != kGrey ? 1 : 0;
        }
    }
    EXPECT_GT(ink, 30);
    EXPECT_EQ(outside, 0);
}

TEST_F(PanelPainting, EditModeOutlinesEveryGrabAreaAndPanelModeNone) {
    const int32_t slot = AddControl(100, 50, 0);
    project->slots[slot].renderOnBackground = 0; // outlined even when not drawn
    PanelPolygon& p = AddPolygon(20, 120, 80, 160);
    p.alpha = 0;
    const int32_t t = project->InsertText(200, 150);
    SetText(project->texts[t].text, "ab");
    project->texts[t].alpha = 0;

    auto isOverlay = [](uint32_t c) { return c == 0xFFFF0000u || c == 0xFFF0F000u; };
    QImage image = Render();
    EXPECT_EQ(Px(image, 99, 70), kGrey);

    project->guiEditMode = 1;
    image = Render();
    for (int y = 49; y <= 90; ++y) {
        EXPECT_TRUE(isOverlay(Px(image, 99, y))) << y;
        EXPECT_TRUE(isOverlay(Px(image, 140, y))) << y;
    }
    EXPECT_EQ(Px(image, 120, 70), kGrey);
    for (int d = -5; d <= 5; ++d) {
        EXPECT_TRUE(isOverlay(Px(image, 20 + d, 115))) << d;
        EXPECT_TRUE(isOverlay(Px(image, 85, 160 + d))) << d;
    }
    for (int x = 200; x <= 210; ++x) EXPECT_TRUE(isOverlay(Px(image, x, 162))) << x;
    EXPECT_EQ(Px(image, 211, 162), kGrey);
}

TEST_F(PanelPainting, TheCurrentControlIsOutlinedUnlessEditingIsLocked) {
    const int32_t slot = AddControl(100, 50, 0);
    project->currentSlot = slot;
    auto isSelection = [](uint32_t c) { return c == 0xFF000000u || c == 0xFFFFFFFFu; };
    QImage image = Render();
    int marked = 0;
    for (int y = 49; y <= 90; ++y) marked += isSelection(Px(image, 99, y)) ? 1 : 0;
    EXPECT_EQ(marked, 42);
    project->lockEdit = 1;
    image = Render();
    EXPECT_EQ(Px(image, 99, 70), kGrey);
    // A band selection outlines it too.
    project->lockEdit = 0;
    project->currentSlot = -1;
    project->slots[slot].selected = 1;
    image = Render();
    EXPECT_TRUE(isSelection(Px(image, 140, 70)));
}

TEST(QtBitmap, ConvertsPixelsBothWays) {
    EnsureApplication();
    Bitmap b;
    b.width = 2;
    b.height = 1;
    b.pixels = {0xFF112233u, 0xFFABCDEFu};
    const QImage view = ViewOfBitmap(b);
    ASSERT_FALSE(view.isNull());
    EXPECT_EQ(view.pixel(1, 0), 0xFFABCDEFu);
    const Bitmap back = BitmapOfImage(view);
    EXPECT_EQ(back.pixels, b.pixels);
    b.pixels.pop_back();
    EXPECT_TRUE(ViewOfBitmap(b).isNull()); // inconsistent sizes are not trusted
    EXPECT_EQ(TextOfBytes("Gr\xC3\xBCn").size(), 4);
    EXPECT_EQ(TextOfBytes("Gr\xFCn"), QString::fromLatin1("Gr\xFCn"));
}

} // namespace
} // namespace tw
