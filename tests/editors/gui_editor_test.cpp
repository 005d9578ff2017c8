// The Gui Editor window driven with the mouse: controls played in panel mode, elements
// moved in edit mode, the context menu in its forms, and skins switched from it.
#include "editors/gui_editor_widget.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/files.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace tw {
namespace {

constexpr int32_t kSide = 32;

// Frame f of a test strip is one flat colour, different for every frame.
uint32_t FrameColour(int32_t f) {
    return 0xFF000000u | static_cast<uint32_t>(30 + 20 * f) << 16 | 0x8000u |
           static_cast<uint32_t>(200 - 20 * f);
}

BitmapHandle Strip(int32_t frames) {
    auto b = std::make_shared<Bitmap>();
    b->width = kSide;
    b->height = kSide * frames;
    for (int32_t y = 0; y < b->height; ++y)
        for (int32_t x = 0; x < kSide; ++x) b->pixels.push_back(FrameColour(y / kSide));
    return b;
}

QStringList Texts(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions()) {
        if (!a->isSeparator()) out << a->text();
    }
    return out;
}

QAction* Find(const QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) return a;
    }
    return nullptr;
}

class GuiEditor : public ::testing::Test {
protected:
    void SetUp() override {
        project = test::MakeProject();
        SetStrip(0, 11);
        SetStrip(5, 3); // a three-position switch
        widget = std::make_unique<GuiEditorWidget>(*project, platform);
        widget->resize(400, 300);
        widget->show();
    }

    void SetStrip(int32_t image, int32_t frames) {
        SkinImage& s = project->skinImages[image];
        s.bitmap = Strip(frames);
        s.width = kSide;
        s.height = kSide * frames;
        s.frames = frames;
    }

    int32_t Control(int32_t image, int32_t response, int32_t x, int32_t y) {
        const int32_t slot = test::AddModule(*project, kTypeParameter);
        ModuleSlot& s = project->slots[slot];
        s.imageType = image;
        s.mouseResponse = response;
        s.panelX = x;
        s.panelY = y;
        s.showLabel = 0;
        project->currentSlot = kNone;
        widget->grab(); // a paint gives every control its size, as the timers do
        return slot;
    }

    int32_t Value(int32_t slot) const {
        return project->slots[slot].patchValues[project->currentPatch];
    }

    uint32_t Pixel(int x, int y) { return widget->grab().toImage().pixel(x, y) | 0xFF000000u; }

    void Click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(widget.get(), button, {}, at);
    }

    QMenu* RightClick(QPoint at) {
        QTest::mousePress(widget.get(), Qt::RightButton, {}, at);
        return widget->ContextMenu();
    }

    std::unique_ptr<Project> project;
    HeadlessPlatform platform;
    std::unique_ptr<GuiEditorWidget> widget;
};

TEST_F(GuiEditor, ClickIncDecStepsASwitchAndThePanelShowsEachFrame) {
    const int32_t c = Control(5, kClickIncDec, 50, 60);
    const QPoint centre(50 + kSide / 2, 60 + kSide / 2);
    EXPECT_EQ(Pixel(centre.x(), centre.y()), FrameColour(0));
    const int32_t expected[] = {1, 2, 1, 0, 1};
    for (int32_t v : expected) {
        Click(centre);
        ASSERT_EQ(Value(c), v);
        EXPECT_EQ(Pixel(centre.x(), centre.y()), FrameColour(v));
    }
    EXPECT_EQ(project->propertiesTarget, kTargetParameter);
}

TEST_F(GuiEditor, DragVerticalFollowsThePointerWithinTheControlsRange) {
    const int32_t c = Control(0, kDragVertical, 100, 150);
    project->slots[c].patchValues[0] = 5;
    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(110, 160));
    QTest::mouseMove(widget.get(), QPoint(110, 157));
    EXPECT_EQ(Value(c), 8);
    QTest::mouseMove(widget.get(), QPoint(110, 130));
    EXPECT_EQ(Value(c), 10); // limited to the strip's 11 frames
    EXPECT_FLOAT_EQ(project->slots[c].value, 1.0f);
    QTest::mouseMove(widget.get(), QPoint(110, 200));
    EXPECT_EQ(Value(c), 0);
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(110, 200));
    EXPECT_EQ(Pixel(116, 166), FrameColour(0));
}

TEST_F(GuiEditor, ClickResetShowsTheTopFrameOnlyWhileHeld) {
    const int32_t c = Control(0, kClickReset, 20, 20);
    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(Value(c), 10);
    EXPECT_EQ(Pixel(36, 36), FrameColour(10));
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(Value(c), 0);
    EXPECT_EQ(Pixel(36, 36), FrameColour(0));
}

TEST_F(GuiEditor, EditModeMovesAControlCentredOnTheSnappedPointer) {
    const int32_t c = Control(0, kClickInc, 20, 20);
    project->guiEditMode = 1;
    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseMove(widget.get(), QPoint(203, 141));
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(203, 141));
    EXPECT_EQ(project->slots[c].panelX, 200 - kSide / 2);
    EXPECT_EQ(project->slots[c].panelY, 136 - kSide / 2);
    EXPECT_EQ(Value(c), 0); // laying out does not click
    EXPECT_EQ(Pixel(200, 136), FrameColour(0));
    EXPECT_EQ(Pixel(30, 30), 0xFFF0F0F0u); // the old place is empty panel
}

TEST_F(GuiEditor, EditModeMovesAndResizesPolygonsByTheirHandlesOnly) {
    project->guiEditMode = 1;
    project->snapToGrid = 0;
    const int32_t g = project->InsertPolygon(40, 40);                    // to (140, 90)
    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(90, 65)); // inside, no handle
    QTest::mouseMove(widget.get(), QPoint(200, 200));
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(200, 200));
    EXPECT_EQ(project->polygons[g].x1, 40);

    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(139, 91));
    QTest::mouseMove(widget.get(), QPoint(180, 120));
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(180, 120));
    EXPECT_EQ(project->polygons[g].x2, 180);
    EXPECT_EQ(project->polygons[g].x1, 40);

    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(41, 41));
    QTest::mouseMove(widget.get(), QPoint(60, 70));
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(60, 70));
    const PanelPolygon& p = project->polygons[g];
    EXPECT_EQ(p.x1, 60);
    EXPECT_EQ(p.y1, 70);
    EXPECT_EQ(p.x2, 200);
    EXPECT_EQ(p.y2, 150);
    EXPECT_EQ(project->propertiesTarget, kTargetPolygon);
}

TEST_F(GuiEditor, EditModeMovesATextLabel) {
    project->guiEditMode = 1;
    const int32_t t = project->InsertText(100, 100);
    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(105, 105));
    QTest::mouseMove(widget.get(), QPoint(250, 77));
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(250, 77));
    EXPECT_EQ(project->texts[t].x, 248);
    EXPECT_EQ(project->texts[t].y, 72);
    EXPECT_EQ(project->propertiesTarget, kTargetText);
}

TEST_F(GuiEditor, TheContextMenuInEachMode) {
    Control(0, kDragVertical, 20, 20);
    project->InsertPolygon(200, 40);
    project->InsertText(200, 200);

    QMenu* menu = RightClick(QPoint(300, 250));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Texts(menu), (QStringList{"Panel Mode", "Edit Mode"}));
    EXPECT_TRUE(Find(menu, "Panel Mode")->isChecked());
    Find(menu, "Edit Mode")->trigger();
    EXPECT_EQ(project->guiEditMode, 1);

    menu = RightClick(QPoint(300, 250));
    EXPECT_EQ(Texts(menu), (QStringList{"Panel Mode", "Edit Mode", "Insert", "Skin"}));
    EXPECT_TRUE(Find(menu, "Edit Mode")->isChecked());
    const QMenu* insert = Find(menu, "Insert")->menu();
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(Texts(insert), (QStringList{"Polygon", "Text"}));

    menu = RightClick(QPoint(30, 30));
    EXPECT_EQ(Texts(menu), (QStringList{"Panel Mode", "Edit Mode", "Delete Parameter...", "Skin"}));
    menu = RightClick(QPoint(201, 41));
    EXPECT_EQ(Texts(menu), (QStringList{"Panel Mode", "Edit Mode", "Delete Polygon..."}));
    menu = RightClick(QPoint(205, 205));
    EXPECT_EQ(Texts(menu),
              (QStringList{"Panel Mode", "Edit Mode", "Delete Text...", "Text Properties..."}));
    EXPECT_EQ(project->currentText, 0); // the Properties window shows the label
    EXPECT_EQ(project->propertiesTarget, kTargetText);

    project->lockEdit = 1;
    menu = RightClick(QPoint(30, 30));
    EXPECT_EQ(Texts(menu), (QStringList{"Skin"}));
}

TEST_F(GuiEditor, InsertAndDeleteFromTheMenuAtTheClickPoint) {
    project->guiEditMode = 1;
    QMenu* menu = RightClick(QPoint(120, 80));
    Find(menu, "Insert")->menu()->actions().at(0)->trigger();
    ASSERT_EQ(project->polygonCount, 1);
    EXPECT_EQ(project->polygons[0].x1, 120);
    EXPECT_EQ(project->polygons[0].y1, 80);
    EXPECT_EQ(project->propertiesTarget, kTargetPolygon);
    // The new polygon's outline is on the panel: its top edge, away from the corners.
    EXPECT_EQ(Pixel(170, 80) & 0xFFFFFFu, 0x808080u);

    menu = RightClick(QPoint(121, 81));
    platform.answers = {MessageAnswer::No};
    Find(menu, "Delete Polygon...")->trigger();
    EXPECT_EQ(project->polygonCount, 1);
    menu = RightClick(QPoint(121, 81));
    platform.answers = {MessageAnswer::Yes};
    Find(menu, "Delete Polygon...")->trigger();
    EXPECT_EQ(project->polygonCount, 0);
    EXPECT_EQ(Pixel(170, 80), 0xFFF0F0F0u);
}

TEST_F(GuiEditor, ChoosingASkinReloadsItsImagesAndResizesTheControls) {
    test::TempDir app;
    const int32_t frames[7] = {11, 101, 3, 4, 5, 3, 2};
    test::WriteSkin(app.Path(), "Default", frames, 8);
    test::WriteSkin(app.Path(), "Large", frames, 48);
    SetText(project->appFolder, app.Path().string());
    const int32_t c = Control(0, kDragVertical, 20, 20);
    project->guiEditMode = 1;

    QMenu* menu = RightClick(QPoint(300, 250));
    const QMenu* skins = Find(menu, "Skin")->menu();
    ASSERT_NE(skins, nullptr);
    EXPECT_EQ(Texts(skins), (QStringList{"Default", "Large"}));
    EXPECT_TRUE(Find(skins, "Default")->isChecked());
    Find(skins, "Large")->trigger();
    EXPECT_STREQ(project->skinName, "Large");
    EXPECT_EQ(project->skinImages[0].width, 48);
    widget->grab();
    EXPECT_EQ(project->slots[c].controlSize, 48);
    // The bigger control is now hit where the old one was not.
    QTest::mouseClick(widget.get(), Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_EQ(project->currentSlot, c);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(GuiEditor, TheFramesOuterSizeIsRecorded) {
    QMdiArea area;
    area.resize(900, 700);
    auto* panel = new GuiEditorWidget(*project, platform);
    QSignalSpy spy(panel, &GuiEditorWidget::outerSizeChanged);
    QMdiSubWindow* frame = area.addSubWindow(panel);
    area.show();
    frame->resize(420, 330);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->RecordedOuterSize(), QSize(420, 330));
    ASSERT_FALSE(spy.isEmpty());
    EXPECT_EQ(spy.last().at(0).toInt(), 420);
    EXPECT_EQ(panel->Session().width, panel->width());
    EXPECT_LT(panel->width(), 420);
}

} // namespace
} // namespace tw
