// The Gui Editor: painted scenes probed at points from their layout, and the widget's
// clicks, drags, wheel and context menu reaching the project.
#include "editors/gui_context_menu.h"
#include "editors/gui_editor_widget.h"
#include "model/text.h"
#include "paint/panel_painter.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/qt_checks.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>

namespace tw {
namespace {

using test::At;
using test::Probe;
using Probes = std::vector<Probe>;
using Texts = std::vector<std::string>;

constexpr int32_t kSide = 40;
const QRgb kGrey = qRgb(240, 240, 240), kRed = qRgb(200, 0, 0);

// Frame f of the test strip is one flat colour, different for every frame.
QRgb FrameColour(int32_t f) {
    return qRgb(20 * f, 255 - 20 * f, 0x40);
}

Probe Area(int x, int y, int w, int h, QRgb colour, Probe::Mode mode = Probe::All) {
    return {QRect(x, y, w, h), colour, mode};
}
// Something is drawn over every pixel of the area.
Probe Covered(int x, int y, int w, int h) {
    return Area(x, y, w, h, kGrey, Probe::None);
}

// A Parameter drawn with an 11-frame strip at (x, y), without its label.
ModuleSlot& Control(Project& p, int32_t x, int32_t y, int32_t value) {
    auto strip = std::make_shared<Bitmap>(Bitmap{kSide, kSide * 11, {}});
    for (int32_t row = 0; row < kSide * 11; ++row)
        strip->pixels.insert(strip->pixels.end(), kSide, FrameColour(row / kSide));
    p.skinImages[0] = {strip, kSide, kSide * 11, 11, {}};
    ModuleSlot& s = p.slots[test::AddModule(p, kTypeParameter)];
    s.imageType = s.showLabel = 0;
    s.panelX = x;
    s.panelY = y;
    s.patchValues[p.currentPatch] = value;
    p.currentSlot = kNone; // inserting makes it current, which outlines it
    return s;
}

PanelPolygon& Polygon(Project& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t corner,
                      uint8_t solid) {
    PanelPolygon& g = p.polygons[p.InsertPolygon(x1, y1)];
    // x1, x2, y1, y2, line width, alpha, corner, red, green, blue, solid
    g = {x1, x2, y1, y2, g.lineWidth, 255, corner, 200, 0, 0, solid};
    return g;
}

const struct Scene {
    const char* name;
    std::function<Probes(Project&)> build;
} kScenes[] = {
    {"an unscaled background; the frame of a value in the current patch, the last frame beyond "
     "the strip; no control off the background or without an image; no grab areas",
     [](Project& p) -> Probes {
         p.background.bitmap =
             std::make_shared<Bitmap>(Bitmap{100, 80, std::vector(8000, 0xFF203040u)});
         Control(p, 150, 10, 3).patchValues[5] = 7;
         p.currentPatch = 5;
         Control(p, 150, 100, 0).patchValues[5] = 100;
         Control(p, 220, 10, 4).renderOnBackground = 0;
         Control(p, 220, 100, 4).imageType = 3;
         const QRgb back = 0xFF203040u, seven = FrameColour(7), last = FrameColour(10);
         return {Area(0, 0, 100, 80, back),    At(100, 40, kGrey), At(50, 80, kGrey),
                 Area(150, 10, 40, 40, seven), At(170, 120, last), At(170, 140, kGrey),
                 At(240, 30, kGrey),           At(219, 30, kGrey), At(240, 120, kGrey)};
     }},
    {"a label below its control in its colour",
     [](Project& p) -> Probes {
         ModuleSlot& s = Control(p, 100, 20, 0);
         s.showLabel = 1;
         SetText(s.name, "WWWW");
         s.labelColour[2] = 255;
         return {Area(60, 60, 120, 16, qRgb(0, 0, 255), Probe::Any), Area(0, 0, 300, 20, kGrey)};
     }},
    {"a square polygon fills its rectangle when solid, else strokes its edges; polygons lie "
     "over controls, half alpha blends with the panel, round corners are cut off",
     [](Project& p) -> Probes {
         Polygon(p, 20, 30, 120, 80, 0, 1);
         Polygon(p, 150, 30, 250, 80, 0, 0).lineWidth = 4;
         Control(p, 20, 100, 1);
         Polygon(p, 30, 110, 50, 130, 0, 1);
         Polygon(p, 150, 100, 250, 150, 0, 1).alpha = 128;
         Polygon(p, 60, 150, 140, 195, 30, 1); // rounded
         const int grey = 240 * 127 / 255;
         const QRgb blend = qRgb((200 * 128 + 240 * 127) / 255, grey, grey);
         return {Area(20, 30, 100, 50, kRed), At(121, 55, kGrey), At(70, 81, kGrey),
                 At(150, 55, kRed),           At(250, 55, kRed),  At(200, 30, kRed),
                 At(200, 55, kGrey),          At(40, 120, kRed),  At(22, 102, FrameColour(1)),
                 At(200, 125, blend, 2),      At(100, 172, kRed), At(61, 151, kGrey)};
     }},
    {"edit mode outlines every grab area, also of things alpha 0 hides",
     [](Project& p) -> Probes {
         Control(p, 100, 50, 0).renderOnBackground = 0;
         Polygon(p, 20, 120, 80, 160, 16, 0).alpha = 0;
         Polygon(p, 200, 20, 280, 80, 0, 1).alpha = 0;
         PanelText& t = p.texts[p.InsertText(200, 150)];
         SetText(t.text, "ab");
         t.alpha = 0;
         p.guiEditMode = 1;
         return {At(50, 120, kGrey),      At(240, 50, kGrey),      At(205, 155, kGrey),
                 Covered(99, 49, 1, 42),  Covered(140, 49, 1, 42), At(120, 70, kGrey),
                 Covered(15, 115, 11, 1), Covered(85, 155, 1, 11), Covered(200, 162, 11, 1),
                 At(211, 162, kGrey)};
     }},
};

TEST(PanelPainting, EachSceneShowsItsColoursAtItsProbesAndDrawnControlsTakeASize) {
    for (const Scene& scene : kScenes) {
        SCOPED_TRACE(scene.name);
        auto p = test::MakeProject();
        const Probes probes = scene.build(*p);
        test::ExpectProbes(RenderPanel(*p, 300, 200), probes);
        // Hit tests and the plugin read the size of the controls drawn.
        for (const ModuleSlot& s : p->slots) {
            const bool drawn = s.renderOnBackground && s.imageType == 0;
            EXPECT_EQ(s.controlSize, s.type == kTypeParameter && drawn ? kSide : 0);
        }
    }
}

class GuiEditor : public ::testing::Test {
protected:
    void SetUp() override {
        widget.resize(400, 300);
        widget.show();
    }
    QRgb Pixel(int x, int y) { return widget.grab().toImage().pixel(x, y); }
    QMenu& Menu(QPoint at) {
        QTest::mousePress(&widget, Qt::RightButton, {}, at);
        return *widget.ContextMenu();
    }

    std::unique_ptr<Project> project = test::MakeProject();
    HeadlessPlatform platform;
    GuiEditorWidget widget{*project, platform};
};

TEST_F(GuiEditor, TheTimersRepaintThePanelOnlyWhenWhatItShowsChanged) {
    ModuleSlot& c = Control(*project, 50, 60, 0);
    QTest::qWait(100);
    // What changes, and whether the picture shows it.
    const std::tuple<const char*, std::function<void()>, bool> changes[] = {
        {"nothing", [] {}, false},
        {"the value in the current patch", [&] { c.patchValues[0] = 3; }, true},
        {"another patch", [&] { project->currentPatch = 1; }, true},
        {"a value in a patch not shown", [&] { c.patchValues[7] = 5; }, false},
        {"a text", [&] { project->InsertText(10, 10); }, true},
        {"the label", [&] { c.name[0] = 'Q'; }, true},
        {"edit mode", [&] { project->guiEditMode = 1; }, true}};
    for (const auto& [what, change, shown] : changes) {
        SCOPED_TRACE(what);
        const int64_t before = widget.PanelPaints();
        change();
        widget.Refresh();
        QTest::qWait(50);
        EXPECT_EQ(widget.PanelPaints(), before + (shown ? 1 : 0));
    }
}

TEST_F(GuiEditor, AClickStepsAControlAndAnEditModeDragMovesIt) {
    ModuleSlot& c = Control(*project, 50, 60, 0);
    c.mouseResponse = kClickInc;
    widget.grab(); // a paint gives every control its size, as the timers do
    for (const int32_t v : {1, 2}) {
        QTest::mouseClick(&widget, Qt::LeftButton, {}, QPoint(70, 80));
        EXPECT_EQ(c.patchValues[0], v);
        EXPECT_EQ(Pixel(70, 80), FrameColour(v));
    }
    EXPECT_EQ(project->propertiesTarget, kTargetParameter);
    // In edit mode the control centres on the snapped pointer, and laying out does not click.
    project->guiEditMode = 1;
    QTest::mousePress(&widget, Qt::LeftButton, {}, QPoint(70, 80));
    QTest::mouseMove(&widget, QPoint(203, 141));
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(203, 141));
    EXPECT_EQ(QPoint(c.panelX, c.panelY), QPoint(200 - kSide / 2, 136 - kSide / 2));
    EXPECT_EQ(c.patchValues[0], 2);
    EXPECT_EQ(Pixel(200, 136), FrameColour(2));
    EXPECT_EQ(Pixel(70, 80), kGrey);
}

TEST_F(GuiEditor, TheContextMenuSuitsTheModeThePointAndTheLockAndActsAtThePointer) {
    Control(*project, 20, 20, 0);
    project->InsertPolygon(200, 40);
    project->InsertText(200, 200);
    widget.grab();
    const Texts modes = {"Panel Mode", "Edit Mode", "-"};
    const auto edit = [&modes](Texts more) {
        more.insert(more.begin(), modes.begin(), modes.end());
        return more;
    };
    const struct {
        uint8_t edit, locked;
        QPoint at;
        Texts items;
    } rows[] = {
        {0, 0, {300, 250}, {"Panel Mode", "Edit Mode"}},
        {0, 0, {30, 30}, {"Panel Mode", "Edit Mode", "-", "Learn MIDI CC", "Forget MIDI CC"}},
        {1, 0, {300, 250}, edit({"Insert", "-", "Skin"})},
        {1, 0, {30, 30}, edit({"Delete Parameter...", "-", "Skin"})},
        {1, 0, {201, 41}, edit({"Delete Polygon..."})},
        {1, 0, {205, 205}, edit({"Delete Text...", "-", "Text Properties..."})},
        {0, 1, {30, 30}, {"Skin"}}};
    for (const auto& row : rows) {
        project->guiEditMode = row.edit;
        project->lockEdit = row.locked;
        EXPECT_EQ(test::MenuTexts(Menu(row.at)), row.items) << row.at.x() << "," << row.at.y();
    }
    project->guiEditMode = project->lockEdit = 0;
    EXPECT_FALSE(test::FindAction(&Menu({30, 30}), {"Forget MIDI CC"})->isEnabled());
    ASSERT_TRUE(project->BindMidiCc(project->currentSlot, 9));
    test::FindAction(&Menu({30, 30}), {"Forget MIDI CC"})->trigger();
    EXPECT_EQ(project->slots[project->currentSlot].midiCc, kNone);
    // "Learn MIDI CC" waits, says so over the panel and in the menu; Esc or the menu stop it.
    int32_t waiting = kNone;
    widget.SetMidiLearn(
        {[&](int32_t slot) { waiting = slot; }, [&] { waiting = kNone; }, [&] { return waiting; }});
    const QString wait = MidiLearnWaitingText();
    for (const bool esc : {true, false}) {
        test::FindAction(&Menu({30, 30}), {"Learn MIDI CC"})->trigger();
        EXPECT_EQ(std::vector<int64_t>({waiting, Pixel(1, 1)}),
                  std::vector<int64_t>({project->currentSlot, qRgb(245, 235, 100)}));
        const Texts items = test::MenuTexts(Menu({30, 30}));
        EXPECT_EQ(Texts(items.begin() + 3, items.end() - 1),
                  Texts({wait.toStdString(), "Cancel MIDI Learn"}));
        if (esc)
            QTest::keyClick(&widget, Qt::Key_Escape);
        else
            test::FindAction(&Menu({30, 30}), {"Cancel MIDI Learn"})->trigger();
        EXPECT_EQ(std::vector<int64_t>({waiting, Pixel(1, 1)}),
                  std::vector<int64_t>({kNone, kGrey}));
    }
    test::FindAction(&Menu({300, 250}), {"Edit Mode"})->trigger();
    EXPECT_EQ(project->guiEditMode, 1);
    test::FindAction(&Menu({120, 80}), {"Insert", "Polygon"})->trigger(); // at the pointer
    EXPECT_EQ(QPoint(project->polygons[1].x1, project->polygons[1].y1), QPoint(120, 80));
    EXPECT_EQ(Pixel(170, 80), qRgb(128, 128, 128)); // its outline's top edge
}

TEST_F(GuiEditor, TheWheelTurnsTheControlUnderItAStepANotchAndNotchesInARowAreOneStep) {
    project->currentPatch = 3;
    ModuleSlot& a = Control(*project, 50, 60, 5);
    ModuleSlot& b = Control(*project, 150, 60, 5);
    widget.grab();
    EditHistory history;
    history.Reset(*project);
    widget.SetHistory(&history);
    // Pointer x (a at 70, b at 170, nothing at 300), eighths of a degree, Shift, edit mode;
    // then the values of a and b in patch 3 and the steps recorded.
    const int rows[][7] = {{70, 120, 0, 0, 6, 5, 1},   {70, 240, 0, 0, 8, 5, 1},
                           {70, 60, 0, 0, 8, 5, 1},    {70, 60, 0, 0, 9, 5, 1},   // halves add up
                           {70, 120, 1, 0, 10, 5, 1},  {70, -360, 1, 0, 0, 5, 1}, // ends hold
                           {170, -120, 0, 0, 0, 4, 2}, {300, 120, 0, 0, 0, 4, 2},
                           {170, 120, 0, 1, 0, 4, 2}}; // laying out turns nothing
    for (const auto& [x, delta, shift, edit, va, vb, steps] : rows) {
        project->guiEditMode = static_cast<uint8_t>(edit);
        const QPointF at(x, 80);
        QWheelEvent e(at, widget.mapToGlobal(at), {}, {0, delta}, Qt::NoButton,
                      shift ? Qt::ShiftModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&widget, &e);
        EXPECT_EQ(std::vector<int>({a.patchValues[3], b.patchValues[3], a.patchValues[0],
                                    static_cast<int>(history.StepCount())}),
                  std::vector<int>({va, vb, 0, steps}))
            << x << " " << delta;
    }
    EXPECT_EQ(Pixel(170, 80), FrameColour(4));
    history.Undo(*project);
    history.Undo(*project);
    EXPECT_EQ(std::vector<int>({a.patchValues[3], b.patchValues[3]}), std::vector<int>({5, 5}));
}

} // namespace
} // namespace tw
