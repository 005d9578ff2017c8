// The Dsp Editor driven with the mouse, as a user patches on screen.
#include "editors/dsp_context_menu.h"
#include "editors/dsp_editor_widget.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tw {
namespace {

using test::AddModule;
using test::Wire;

// The action at a path of menu texts ("Insert", "Math", "Add"), or nullptr.
QAction* FindAction(QMenu& menu, const std::vector<std::string>& path) {
    QMenu* current = &menu;
    for (std::size_t i = 0; i < path.size(); ++i) {
        QAction* found = nullptr;
        for (QAction* a : current->actions()) {
            if (a->text().toStdString() == path[i]) {
                found = a;
                break;
            }
        }
        if (found == nullptr) return nullptr;
        if (i + 1 == path.size()) return found;
        current = found->menu();
        if (current == nullptr) return nullptr;
    }
    return nullptr;
}

std::vector<std::string> Texts(const QMenu& menu) {
    std::vector<std::string> texts;
    for (const QAction* a : menu.actions())
        texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return texts;
}

class DspEditor : public ::testing::Test {
protected:
    void SetUp() override {
        project = test::MakeProject();
        widget = std::make_unique<DspEditorWidget>(*project, session, platform);
        widget->resize(900, 700);
        // Menus are answered by path instead of popping up.
        widget->SetMenuRunner([this](QMenu& menu, const QPoint&) -> QAction* {
            lastMenu = Texts(menu);
            if (chooseNext.empty()) return nullptr;
            QAction* chosen = FindAction(menu, chooseNext);
            if (chosen != nullptr && !chosen->isEnabled()) chosen = nullptr;
            chooseNext.clear();
            return chosen;
        });
    }

    static QPoint InputAt(const Project& p, int32_t k) {
        return QPoint(p.inputs[k].x + p.halfPortSize, p.inputs[k].y + p.halfPortSize);
    }
    static QPoint OutputAt(const Project& p, int32_t k) {
        return QPoint(p.outputs[k].x + p.halfPortSize, p.outputs[k].y + p.halfPortSize);
    }

    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mousePress(widget.get(), Qt::LeftButton, modifiers, from);
        QTest::mouseMove(widget.get(), (from + to) / 2);
        QTest::mouseMove(widget.get(), to);
        QTest::mouseRelease(widget.get(), Qt::LeftButton, modifiers, to);
    }

    void RightClick(QPoint at, std::vector<std::string> choose = {}) {
        chooseNext = std::move(choose);
        QTest::mousePress(widget.get(), Qt::RightButton, {}, at);
        QTest::mouseRelease(widget.get(), Qt::RightButton, {}, at);
    }

    void Wheel(int delta) {
        QWheelEvent event(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget.get(), &event);
    }

    std::unique_ptr<Project> project;
    CanvasSession session;
    HeadlessPlatform platform;
    std::unique_ptr<DspEditorWidget> widget;
    std::vector<std::string> chooseNext;
    std::vector<std::string> lastMenu;
};

TEST_F(DspEditor, ACableDrawnFromAnOutputToAFreeInputConnectsBothHalvesAndTheRoute) {
    const int32_t tone = AddModule(*project, kTypeA440, 100, 100);
    const int32_t amp = AddModule(*project, kTypeAmplifier, 400, 100);
    const int32_t o = PortIndex(tone, 0);
    const int32_t i = PortIndex(amp, 0);
    QTest::mousePress(widget.get(), Qt::LeftButton, {}, OutputAt(*project, o));
    EXPECT_EQ(session.dragMode, kDragCable);
    QTest::mouseMove(widget.get(), InputAt(*project, i));
    EXPECT_EQ(session.hoverInput, i) << "the free input under the loose cable is the target";
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, InputAt(*project, i));
    EXPECT_EQ(project->outputs[i].link, o);
    EXPECT_EQ(project->inputs[o].link, i);
    EXPECT_EQ(project->routes[i], o);
    EXPECT_EQ(session.hoverInput, kNone);
    EXPECT_EQ(session.cableVisible, 0);
}

TEST_F(DspEditor, ACablePickedUpAtEitherEndAndDroppedOnTheCanvasIsRemoved) {
    const int32_t tone = AddModule(*project, kTypeA440, 100, 100);
    const int32_t amp = AddModule(*project, kTypeAmplifier, 400, 100);
    const int32_t o = PortIndex(tone, 0);
    const int32_t i = PortIndex(amp, 0);
    ASSERT_TRUE(Wire(*project, tone, 0, amp, 0));
    Drag(InputAt(*project, i), QPoint(600, 500));
    EXPECT_EQ(project->outputs[i].link, kNone);
    EXPECT_EQ(project->inputs[o].link, kNone);
    EXPECT_EQ(project->routes[i], kNone);

    ASSERT_TRUE(Wire(*project, tone, 0, amp, 0));
    Drag(OutputAt(*project, o), QPoint(600, 500));
    EXPECT_EQ(project->outputs[i].link, kNone);
    EXPECT_EQ(project->inputs[o].link, kNone);
    EXPECT_EQ(project->routes[i], kNone);
}

TEST_F(DspEditor, ACablePickedUpAtItsInputEndCanBeDroppedOnAnotherInput) {
    const int32_t tone = AddModule(*project, kTypeA440, 100, 100);
    const int32_t amp = AddModule(*project, kTypeAmplifier, 400, 100);
    ASSERT_TRUE(Wire(*project, tone, 0, amp, 0));
    const int32_t level = PortIndex(amp, 1);
    Drag(InputAt(*project, PortIndex(amp, 0)), InputAt(*project, level));
    EXPECT_EQ(project->outputs[PortIndex(amp, 0)].link, kNone);
    EXPECT_EQ(project->outputs[level].link, PortIndex(tone, 0));
    EXPECT_EQ(project->inputs[PortIndex(tone, 0)].link, level);
    EXPECT_EQ(project->routes[level], PortIndex(tone, 0));
}

TEST_F(DspEditor, DropsOnOccupiedHiddenOrSameDirectionPortsAreDiscarded) {
    const int32_t a = AddModule(*project, kTypeA440, 100, 100);
    const int32_t b = AddModule(*project, kTypeA440, 100, 300);
    const int32_t amp = AddModule(*project, kTypeAmplifier, 400, 100);
    const int32_t meter = AddModule(*project, kTypeVoltMeter, 400, 300);
    ASSERT_TRUE(Wire(*project, a, 0, amp, 0));
    const int32_t fromB = PortIndex(b, 0);

    Drag(OutputAt(*project, fromB), InputAt(*project, PortIndex(amp, 0))); // occupied
    EXPECT_EQ(project->outputs[PortIndex(amp, 0)].link, PortIndex(a, 0));
    EXPECT_EQ(project->inputs[fromB].link, kNone);

    const PortRecord& hidden = project->inputs[PortIndex(meter, 1)];
    Drag(OutputAt(*project, fromB), QPoint(hidden.x + 2, hidden.y + 2)); // kind 6
    EXPECT_EQ(project->outputs[PortIndex(meter, 1)].link, kNone);
    EXPECT_EQ(project->inputs[fromB].link, kNone);

    Drag(OutputAt(*project, fromB), OutputAt(*project, PortIndex(meter, 0))); // output to output
    Drag(InputAt(*project, PortIndex(meter, 0)), InputAt(*project, PortIndex(amp, 1)));
    for (int32_t k = 0; k < kPortCount; ++k) {
        if (k == PortIndex(amp, 0)) continue;
        ASSERT_EQ(project->outputs[k].link, kNone) << k;
        ASSERT_EQ(project->routes[k], kNone) << k;
    }
}

TEST_F(DspEditor, AParameterTakesTheNameOfTheInputItDrivesOnlyWhenDrawnFromItsOutput) {
    const int32_t param = AddModule(*project, kTypeParameter, 100, 100);
    const int32_t filter = AddModule(*project, kTypeLowPass2Pole, 400, 100);
    const std::string before = project->slots[param].name;
    const int32_t freq = PortIndex(filter, 1);
    Drag(InputAt(*project, freq), OutputAt(*project, PortIndex(param, 0)));
    EXPECT_EQ(project->outputs[freq].link, PortIndex(param, 0));
    EXPECT_EQ(std::string(project->slots[param].name), before);

    Drag(InputAt(*project, freq), QPoint(700, 600)); // take the cable away again
    ASSERT_EQ(project->outputs[freq].link, kNone);
    Drag(OutputAt(*project, PortIndex(param, 0)), InputAt(*project, freq));
    EXPECT_EQ(std::string(project->slots[param].name), "Freq");
}

TEST_F(DspEditor, AModuleDraggedByItsBodySnapsToTheGridAndBecomesCurrent) {
    const int32_t amp = AddModule(*project, kTypeAmplifier, 200, 100);
    const int32_t other = AddModule(*project, kTypeAdd, 500, 100);
    Drag(QPoint(205, 140), QPoint(268, 199)); // grab 5 right of the anchor, 40 below the top
    // Placed at (263, 159), snapped toward zero to multiples of 20.
    EXPECT_EQ(project->slots[amp].anchorX, 260);
    EXPECT_EQ(project->slots[amp].topY, 140);
    EXPECT_EQ(project->slots[amp].gx, 52);
    EXPECT_EQ(project->slots[amp].gy, 28);
    EXPECT_EQ(project->currentSlot, amp);
    EXPECT_EQ(project->propertiesTarget, kTargetModule);
    EXPECT_EQ(project->slots[other].anchorX, 500);
    EXPECT_GT(platform.propertiesRefreshes, 0);
}

TEST_F(DspEditor, ShiftDragOnTheCanvasMovesEverythingAndReleaseEndsTheSelection) {
    const int32_t a = AddModule(*project, kTypeAmplifier, 200, 100);
    const int32_t b = AddModule(*project, kTypeAdd, 600, 400);
    const int32_t note = project->InsertComment(300, 500);
    QTest::mousePress(widget.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(450, 300));
    QTest::mouseMove(widget.get(), QPoint(460, 310));
    QTest::mouseMove(widget.get(), QPoint(490, 341));
    QTest::mouseRelease(widget.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(490, 341));
    // Moved by the snapped pointer (480, 340) minus the press (450, 300).
    EXPECT_EQ(project->slots[a].anchorX, 220);
    EXPECT_EQ(project->slots[a].topY, 140);
    EXPECT_EQ(project->slots[b].anchorX, 620);
    EXPECT_EQ(project->comments[note].x, 330);
    EXPECT_EQ(project->slots[a].selected, 0);
    EXPECT_EQ(session.bandState, kBandIdle);
}

TEST_F(DspEditor, ABandDrawnWithTheMouseSelectsAndAClickClearsIt) {
    const int32_t a = AddModule(*project, kTypeAmplifier, 200, 100);
    const int32_t b = AddModule(*project, kTypeAmplifier, 600, 100);
    QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseMove(widget.get(), QPoint(399, 299));
    QTest::mouseMove(widget.get(), QPoint(100, 50));
    EXPECT_EQ(session.bandVisible, 1);
    QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(100, 50));
    EXPECT_EQ(project->slots[a].selected, 1);
    EXPECT_EQ(project->slots[b].selected, 0);
    // A click outside the band clears the selection.
    QTest::mouseClick(widget.get(), Qt::LeftButton, {}, QPoint(800, 600));
    QTest::mouseMove(widget.get(), QPoint(805, 600));
    EXPECT_EQ(project->slots[a].selected, 0);
    EXPECT_EQ(session.bandState, kBandIdle);
}

TEST_F(DspEditor, TheWheelZoomsOneStepPerNotchBetweenOneAndTen) {
    Wheel(120);
    EXPECT_EQ(project->zoom, 5);
    EXPECT_EQ(platform.zoomShown, 5);
    for (int i = 0; i < 10; ++i) Wheel(120);
    EXPECT_EQ(project->zoom, 10);
    for (int i = 0; i < 12; ++i) Wheel(-120);
    EXPECT_EQ(project->zoom, 1);
    EXPECT_EQ(platform.zoomShown, 1);
}

TEST_F(DspEditor, WithEditLockedLeftPressesChangeNothing) {
    const int32_t amp = AddModule(*project, kTypeAmplifier, 200, 100);
    project->lockEdit = 1;
    Drag(QPoint(205, 140), QPoint(405, 340));
    EXPECT_EQ(project->slots[amp].anchorX, 200);
    EXPECT_EQ(session.bandState, kBandIdle);
}

TEST(DspContextMenu, OffersTheInsertMenuEditingCommandsAndHelpInOrder) {
    auto p = test::MakeProject();
    const int32_t out = AddModule(*p, kTypeOutput, 100, 100);
    std::unique_ptr<QMenu> menu = BuildDspContextMenu(*p, RightPressHit{out, kNone});
    EXPECT_EQ(Texts(*menu),
              (std::vector<std::string>{"Insert", "-", "Cut", "Copy", "Paste", "Delete", "-",
                                        "Select All", "-", "Help..."}));
    QMenu* insert = FindAction(*menu, {"Insert"})->menu();
    EXPECT_EQ(Texts(*insert),
              (std::vector<std::string>{"Audio I/O", "Control", "Diagnostic", "Effect", "Filter",
                                        "Flow Control", "Math", "Midi", "Modifier", "Waveform", "-",
                                        "Comment"}));
    EXPECT_EQ(Texts(*FindAction(*menu, {"Insert", "Filter"})->menu()),
              (std::vector<std::string>{"Allpass", "Formant", "1 Pole High Pass", "1 Pole Low Pass",
                                        "2 Pole Low Pass"}));
    EXPECT_EQ(Texts(*FindAction(*menu, {"Insert", "Flow Control"})->menu()),
              (std::vector<std::string>{"Combine", "Patchbay", "Split", "Switch 1 In 2 Out",
                                        "Switch 2 In 1 Out", "Switch 1 In 4 Out"}));
    EXPECT_FALSE(FindAction(*menu, {"Insert", "Audio I/O", "Audio Out"})->isEnabled());
    EXPECT_FALSE(FindAction(*menu, {"Insert", "Midi", "Poly Midi To CV"})->isEnabled());
    EXPECT_TRUE(FindAction(*menu, {"Insert", "Effect", "Delay"})->isEnabled());
    EXPECT_TRUE(FindAction(*menu, {"Insert", "Waveform", "PolyWave"})->isEnabled());
    EXPECT_EQ(FindAction(*menu, {"Insert", "Effect", "Reverb"})->data().toInt(),
              int32_t{kCommandInsertModule} + kTypeReverb);

    // Over empty canvas there is no help; with edit locked only help remains.
    EXPECT_EQ(Texts(*BuildDspContextMenu(*p, RightPressHit{})).back(), "Select All");
    p->lockEdit = 1;
    std::unique_ptr<QMenu> locked = BuildDspContextMenu(*p, RightPressHit{out, 0});
    std::vector<std::string> visible;
    for (const QAction* a : locked->actions())
        if (!a->isSeparator()) visible.push_back(a->text().toStdString());
    EXPECT_EQ(visible, (std::vector<std::string>{"Help...", "Help..."}));
    EXPECT_TRUE(BuildDspContextMenu(*p, RightPressHit{})->isEmpty());
}

TEST_F(DspEditor, InsertingFromTheMenuPlacesTheModuleAtTheClickPoint) {
    RightClick(QPoint(203, 117), {"Insert", "Waveform", "Oscillator"});
    ASSERT_EQ(project->slots[0].type, kTypeOscillator);
    EXPECT_EQ(project->slots[0].anchorX, 200);
    EXPECT_EQ(project->slots[0].topY, 100);
    EXPECT_EQ(project->moduleCount, 1);

    RightClick(QPoint(333, 421), {"Insert", "Comment"});
    ASSERT_EQ(project->commentCount, 1);
    EXPECT_EQ(project->comments[0].x, 328);
    EXPECT_EQ(project->comments[0].y, 416);
    EXPECT_EQ(project->propertiesTarget, kTargetComment);

    // Help over the oscillator opens its page.
    RightClick(QPoint(200, 130), {"Help..."});
    ASSERT_EQ(platform.helpTopics.size(), 1u);
    EXPECT_EQ(platform.helpTopics[0], "Tonewright.chm::/oscillator.htm");
}

TEST_F(DspEditor, CopyAndPasteRepeatAModuleButNeverASecondSingleInstanceOne) {
    const int32_t delay = AddModule(*project, kTypeDelay, 200, 100);
    const int32_t amp = AddModule(*project, kTypeAmplifier, 500, 100);
    RightClick(QPoint(200, 140), {"Copy"});
    EXPECT_EQ(project->clipboardType, kTypeDelay);
    RightClick(QPoint(600, 400), {"Paste"});
    EXPECT_EQ(project->CountModulesOfType(kTypeDelay), 1);

    RightClick(QPoint(500, 130), {"Copy"});
    RightClick(QPoint(600, 400), {"Paste"});
    EXPECT_EQ(project->CountModulesOfType(kTypeAmplifier), 2);
    RightClick(QPoint(700, 500), {"Copy"}); // nothing under the pointer: clipboard kept
    EXPECT_EQ(project->clipboardType, kTypeAmplifier);

    // Cut copies the module under the pointer, then removes it.
    RightClick(QPoint(200, 140), {"Cut"});
    EXPECT_EQ(project->slots[delay].type, kTypeEmpty);
    EXPECT_EQ(project->slots[amp].type, kTypeAmplifier);
    EXPECT_EQ(project->clipboardType, kTypeDelay);
}

TEST_F(DspEditor, TheThousandAndTwentyFifthModuleIsRefusedWithTheLimitMessage) {
    for (int32_t s = 0; s < kSlotCount; ++s) AddModule(*project, kTypeInverter, 4000, 4000);
    ASSERT_EQ(project->CountOccupied(), kSlotCount);
    RightClick(QPoint(100, 100), {"Insert", "Math", "Add"});
    EXPECT_EQ(project->CountOccupied(), kSlotCount);
    EXPECT_EQ(project->CountModulesOfType(kTypeAdd), 0);
    EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{kModuleLimitMessage});
    EXPECT_EQ(platform.messages[0].caption, "Tonewright");
}

TEST_F(DspEditor, TheTimerTicksTwentyFiveTimesASecond) {
    int ticks = 0;
    QObject::connect(widget.get(), &DspEditorWidget::Ticked, [&ticks] { ++ticks; });
    QTest::qWait(230);
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 6);
}

} // namespace
} // namespace tw
