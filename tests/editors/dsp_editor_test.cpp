// The Dsp Editor: its canvas painter's scenes with the colours expected at points computed
// from their layout, and the widget's mouse, context menu and timer reaching the project.
#include "editors/dsp_context_menu.h"
#include "editors/dsp_editor_widget.h"
#include "model/catalogue.h"
#include "model/text.h"
#include "paint/dsp_canvas_labels.h"
#include "paint/dsp_canvas_painter.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/qt_checks.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tw {
namespace {

using test::AddModule;
using test::At;
using Probes = std::vector<test::Probe>;
using Texts = std::vector<std::string>;

const QRgb kSignal = qRgb(30, 175, 245), kYellow = qRgb(245, 235, 100);

// An A440 cabled to an Amplifier level with it: the cable's middle shows the signal colour.
Probes Cable(Project& p, int32_t style) {
    const int32_t tone = AddModule(p, kTypeA440, 100, 100);
    const int32_t amp = AddModule(p, kTypeAmplifier, 500, 100);
    test::Wire(p, tone, 0, amp, 0);
    p.cableStyle = style;
    const PortRecord& in = p.inputs[PortIndex(amp, 0)];
    return {At((in.x + p.outputs[PortIndex(tone, 0)].x) / 2, in.y + 4, kSignal)}; // 4 at zoom 4
}

const struct Scene {
    const char* name;
    std::function<Probes(Project&)> build;
} kScenes[] = {
    {"port circles in their kind's colour; a hidden input has none",
     [](Project& p) -> Probes {
         p.zoom = 6;
         p.Relayout();
         const int32_t osc = AddModule(p, kTypeOscillator, 150, 70);
         const int32_t delay = AddModule(p, kTypeDelay, 450, 70);
         const int32_t split = AddModule(p, kTypeSplit, 150, 350);
         const int32_t meter = AddModule(p, kTypeVoltMeter, 450, 350);
         // At the top of a port's circle, its stroke covers the pixel (6 at zoom 6); the meter's
         // hidden input shows its value strip.
         auto top = [](const PortRecord& r, QRgb c) { return At(r.x + 6, r.y, c); };
         const QRgb gate = qRgb(100, 200, 100), status = qRgb(180, 165, 145);
         const QRgb any = qRgb(120, 120, 0), strip = qRgb(250, 250, 245);
         return {
             top(p.inputs[PortIndex(osc, 0)], gate),    top(p.inputs[PortIndex(osc, 1)], kYellow),
             top(p.inputs[PortIndex(osc, 2)], kSignal), top(p.outputs[PortIndex(delay, 1)], status),
             top(p.outputs[PortIndex(split, 1)], any),  top(p.inputs[PortIndex(meter, 1)], strip)};
     }},
    {"straight cable", [](Project& p) { return Cable(p, 0); }},
    {"curved cable", [](Project& p) { return Cable(p, 1); }},
    {"logic cable", [](Project& p) { return Cable(p, 2); }},
};

TEST(DspCanvasPainting, EachSceneShowsItsColoursAtItsProbes) {
    for (const Scene& scene : kScenes) {
        SCOPED_TRACE(scene.name);
        auto p = test::MakeProject();
        const Probes probes = scene.build(*p);
        QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        PaintDspCanvas(painter, *p, {}, 800, 600);
        painter.end();
        test::ExpectProbes(image, probes);
    }
}

// Every type at every zoom: each label lies inside its module's box, clear of the other
// labels and of the live display; from zoom 2 on none has to be left out.
TEST(DspCanvasPainting, NoLabelMeetsAnotherOrLeavesItsBoxAtAnyZoom) {
    for (const ModuleTypeInfo& info : ModuleTypes()) {
        for (int32_t zoom = 1; zoom <= 10; ++zoom) {
            SCOPED_TRACE(std::string(info.name) + " at zoom " + std::to_string(zoom));
            auto p = test::MakeProject();
            p->zoom = zoom;
            p->Relayout();
            const int32_t slot = AddModule(*p, info.type, 400, 100);
            ModuleLabels labels;
            LayOutModuleLabels(*p, slot, labels);
            int32_t named = 0;
            for (int32_t k = PortIndex(slot, 0); k < PortIndex(slot + 1, 0); ++k)
                for (const PortRecord* r : {&p->inputs[k], &p->outputs[k]})
                    named += r->kind != kPortNone && r->x != kOffCanvas && r->label[0] != '\0';
            EXPECT_TRUE(zoom < 2 || labels.count == named) << labels.count << " of " << named;
            EXPECT_TRUE(labels.display.isEmpty() || labels.box.contains(labels.display));
            for (int32_t i = 0; i < labels.count; ++i) {
                const QRect& a = labels.labels[i].box;
                EXPECT_TRUE(labels.box.contains(a)) << labels.labels[i].text;
                EXPECT_FALSE(a.intersects(labels.display)) << labels.labels[i].text;
                for (int32_t j = i + 1; j < labels.count; ++j)
                    EXPECT_FALSE(a.intersects(labels.labels[j].box))
                        << labels.labels[i].text << " / " << labels.labels[j].text;
            }
        }
    }
}

TEST(DspContextMenu, OffersWhatSuitsThePointAndTheLock) {
    auto p = test::MakeProject();
    const int32_t out = AddModule(*p, kTypeOutput, 100, 100);
    Texts items = {"Insert", "-", "Cut", "Copy", "Paste", "Delete", "-", "Select All"};
    EXPECT_EQ(test::MenuTexts(*BuildDspContextMenu(*p, {})), items);
    items.insert(items.end(), {"-", "Help..."});
    EXPECT_EQ(test::MenuTexts(*BuildDspContextMenu(*p, {out, kNone})), items);
    // A second Audio Out is not offered; a first Delay is.
    const auto menu = BuildDspContextMenu(*p, {});
    EXPECT_FALSE(test::FindAction(menu.get(), {"Insert", "Audio I/O", "Audio Out"})->isEnabled());
    EXPECT_TRUE(test::FindAction(menu.get(), {"Insert", "Effect", "Delay"})->isEnabled());
    // With edit locked only the help entries remain.
    p->lockEdit = 1;
    EXPECT_EQ(test::MenuTexts(*BuildDspContextMenu(*p, {out, 0})),
              (Texts{"-", "Help...", "-", "Help..."}));
    EXPECT_TRUE(BuildDspContextMenu(*p, {})->isEmpty());
}

class DspEditor : public ::testing::Test {
protected:
    void SetUp() override {
        widget.resize(900, 700);
        widget.SetHistory(&history);
        history.Reset(*project);
        // Menus are answered by path instead of popping up.
        widget.SetMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
            QAction* chosen = test::FindAction(&menu, choose);
            return chosen != nullptr && chosen->isEnabled() ? chosen : nullptr;
        });
    }
    void RightClick(QPoint at, Texts path) {
        choose = std::move(path);
        QTest::mouseClick(&widget, Qt::RightButton, {}, at);
    }

    std::unique_ptr<Project> project = test::MakeProject();
    HeadlessPlatform platform;
    CanvasSession session;
    EditHistory history;
    DspEditorWidget widget{*project, session, platform};
    Texts choose;
};

TEST_F(DspEditor, ACableIsLaidAndRemovedWithTheMouse) {
    const int32_t o = PortIndex(AddModule(*project, kTypeA440, 100, 100), 0);
    const int32_t i = PortIndex(AddModule(*project, kTypeAmplifier, 400, 100), 0);
    const QPoint from(project->outputs[o].x + 4, project->outputs[o].y + 4);
    const QPoint to(project->inputs[i].x + 4, project->inputs[i].y + 4);
    QTest::mousePress(&widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(&widget, to);
    EXPECT_EQ(session.hoverInput, i);
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, to);
    EXPECT_EQ(project->outputs[i].link, o);
    EXPECT_EQ(project->routes[i], o);
    // Picked up at its input and dropped on empty canvas.
    QTest::mousePress(&widget, Qt::LeftButton, {}, to);
    QTest::mouseMove(&widget, QPoint(600, 500));
    QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(600, 500));
    EXPECT_EQ(project->routes[i], kNone);
}

TEST_F(DspEditor, MenuCommandsActAtTheClickPointUpToTheModuleLimit) {
    RightClick(QPoint(203, 117), {"Insert", "Waveform", "Oscillator"});
    ASSERT_EQ(project->slots[0].type, kTypeOscillator);
    EXPECT_EQ(QPoint(project->slots[0].anchorX, project->slots[0].topY), QPoint(200, 100));
    SetText(project->slots[0].name, "Lead");
    // Cut takes the module under the pointer onto the clipboard, then removes it; Paste
    // brings it back, name and all, at the click point as one step.
    RightClick(QPoint(200, 130), {"Cut"});
    EXPECT_EQ(project->slots[0].type, kTypeEmpty);
    RightClick(QPoint(403, 217), {"Paste"});
    ASSERT_EQ(project->slots[0].type, kTypeOscillator);
    EXPECT_EQ(GetText(project->slots[0].name), "Lead");
    EXPECT_EQ(QPoint(project->slots[0].anchorX, project->slots[0].topY), QPoint(400, 200));
    EXPECT_EQ(history.UndoName(), "Paste Oscillator");

    while (project->CountOccupied() < kSlotCount) AddModule(*project, kTypeInverter, 4000, 4000);
    RightClick(QPoint(100, 100), {"Insert", "Math", "Add"});
    EXPECT_EQ(project->CountModulesOfType(kTypeAdd), 0);
    EXPECT_EQ(platform.MessageTexts(), Texts{kModuleLimitMessage});
}

struct PaintCounter : QObject {
    int paints = 0;
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        ++paints;
        painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

TEST_F(DspEditor, TheTimerTicksTwentyFiveTimesASecondAndRepaintsOnlyWhatChanged) {
    const int32_t knob = AddModule(*project, kTypeParameter, 200, 100);
    AddModule(*project, kTypeAmplifier, 500, 100);
    widget.show();
    QTest::qWait(80);
    int ticks = 0;
    QObject::connect(&widget, &DspEditorWidget::Ticked, [&ticks] { ++ticks; });
    PaintCounter counter;
    widget.installEventFilter(&counter);
    const int64_t still = widget.StillPaints();
    QTest::qWait(230);
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 6);
    EXPECT_EQ(counter.paints, 0); // a quiet canvas is not painted at all
    // A new value repaints the Parameter's display and nothing else.
    project->slots[knob].value = 0.5f;
    QTest::qWait(100);
    EXPECT_GE(counter.paints, 1);
    EXPECT_EQ(widget.StillPaints(), still);
    const QRect display = LiveDisplayStrip(*project, knob).adjusted(-1, -1, 1, 1);
    EXPECT_EQ((counter.painted - QRegion(display)).isEmpty(), true);
    // An edit made elsewhere (here: straight into the project) redraws the still picture.
    project->slots[knob].name[0] = 'X';
    QTest::qWait(100);
    EXPECT_EQ(widget.StillPaints(), still + 1);
}

TEST_F(DspEditor, ArrowKeysAndTheMiddleButtonScrollTheViewOverTheCanvas) {
    AddModule(*project, kTypeReverb, 3000, 2000);
    widget.show();
    QTest::qWait(50);
    QTest::keyClick(&widget, Qt::Key_Right);
    QTest::keyClick(&widget, Qt::Key_Down);
    const int32_t step = 4 * project->SnapStep();
    EXPECT_EQ(QPoint(project->viewOriginX, project->viewOriginY), QPoint(step, step));
    QTest::keyClick(&widget, Qt::Key_Left);
    QTest::keyClick(&widget, Qt::Key_Left); // held at 0
    EXPECT_EQ(project->viewOriginX, 0);
    QTest::mousePress(&widget, Qt::MiddleButton, {}, QPoint(400, 400));
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 250), widget.mapToGlobal(QPointF(300, 250)),
                     Qt::NoButton, Qt::MiddleButton, {});
    QApplication::sendEvent(&widget, &move);
    QTest::mouseRelease(&widget, Qt::MiddleButton, {}, QPoint(300, 250));
    EXPECT_EQ(QPoint(project->viewOriginX, project->viewOriginY), QPoint(100, step + 150));
    // Clicks land on the canvas point under the pointer.
    RightClick(QPoint(103, 117), {"Insert", "Waveform", "Oscillator"});
    const ModuleSlot& osc = project->slots[1];
    EXPECT_EQ(QPoint(osc.anchorX, osc.topY), QPoint(200, (117 + step + 150) / 20 * 20));
}

} // namespace
} // namespace tw
