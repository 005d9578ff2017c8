// The editors' mouse rules without a window: the canvas's hit tests, band, right press, zoom
// and paste spot; the panel's mouse responses, hit tests, edit-mode moves and menu.
#include "interaction/canvas_interaction.h"
#include "interaction/clipboard.h"
#include "interaction/panel_interaction.h"
#include "model/ports.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

#include <array>

namespace tw {
namespace {

using test::AddModule;
using V = std::vector<int32_t>;
using Names = std::vector<std::string>;

TEST(Canvas, MarkersAreHitStrictlyInsideAndBoxesWithTheirEdges) {
    auto p = test::MakeProject();
    const int32_t low = AddModule(*p, kTypeVoltMeter, 200, 100);
    const int32_t high = AddModule(*p, kTypeVoltMeter, 200, 100);
    const PortRecord& in = p->inputs[PortIndex(low, 0)];
    const PortRecord& hidden = p->inputs[PortIndex(low, 1)];
    const PortRecord& out = p->outputs[PortIndex(low, 0)];
    const int32_t right = p->slots[high].anchorX + p->slots[high].halfWidthPx;
    const int32_t bottom = p->slots[high].topY + p->slots[high].heightPx;
    // x, y -> input, output and module hit
    const int32_t rows[][5] = {{in.x + 1, in.y + 1, PortIndex(low, 0), kNone, high},
                               {in.x, in.y + 1, kNone, kNone, high},
                               {in.x + p->portSize, in.y + 1, kNone, kNone, high},
                               {hidden.x + 2, hidden.y + 2, kNone, kNone, high},
                               {out.x + 4, out.y + 4, kNone, PortIndex(low, 0), high},
                               {right, bottom, kNone, kNone, high},
                               {right + 1, bottom, kNone, kNone, kNone}};
    for (const auto& [x, y, input, output, module] : rows) {
        EXPECT_EQ(V({HitInput(*p, x, y), HitOutput(*p, x, y), FindModuleAt(*p, x, y)}),
                  V({input, output, module}))
            << x << ", " << y;
    }
}

// A press, a first move that arms a band or starts moving the selection, a move on.
void Drag(Project& p, CanvasSession& s, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
          bool release = true) {
    LeftPress(p, s, x0, y0);
    PointerMove(p, s, x0 + 1, y0 + 1);
    PointerMove(p, s, x1, y1);
    if (release) LeftRelease(p, s, x1, y1);
}

TEST(Canvas, ABandFromAnyCornerSelectsModulesByAnchorAndCommentsWholeForADragToMove) {
    const int32_t corners[4][4] = {
        {50, 50, 250, 350}, {250, 50, 50, 350}, {50, 350, 250, 50}, {250, 350, 50, 50}};
    for (const auto& [x0, y0, x1, y1] : corners) {
        auto p = test::MakeProject();
        CanvasSession s;
        const int32_t a = AddModule(*p, kTypeAdd, 100, 100), b = AddModule(*p, kTypeAdd, 100, 300);
        const int32_t right = AddModule(*p, kTypeAdd, 400, 100);
        const int32_t inside = p->InsertComment(60, 200), cut = p->InsertComment(120, 200);
        Drag(*p, s, x0, y0, x1, y1, false);
        EXPECT_EQ(V({s.bandVisible, s.bandLeft, s.bandTop, s.bandRight, s.bandBottom}),
                  V({1, 50, 50, 250, 350}));
        LeftRelease(*p, s, x1, y1);
        EXPECT_EQ(V({p->slots[a].selected, p->slots[b].selected, p->slots[right].selected,
                     p->comments[inside].selected, p->comments[cut].selected}),
                  V({1, 1, 0, 1, 0}));
        for (const int32_t state : {kBandIdle, kBandSelected}) { // drop it, then an empty one
            LeftPress(*p, s, 300, 300);
            LeftRelease(*p, s, 300, 300);
            EXPECT_EQ(V({s.bandState, p->slots[a].selected}), V({state, 0}));
        }
        PointerMove(*p, s, 310, 310);
        EXPECT_EQ(s.bandState, kBandIdle) << "the next event clears an empty band";
    }
    // A drag inside the band, or with Shift anywhere, moves the selection on the grid.
    auto p = test::MakeProject();
    CanvasSession s;
    const int32_t inside = AddModule(*p, kTypeAdd, 100, 100);
    const int32_t outside = AddModule(*p, kTypeAdd, 400, 100);
    const int32_t note = p->InsertComment(60, 120);
    Drag(*p, s, 40, 40, 250, 250);
    Drag(*p, s, 140, 200, 183, 221); // snapped to (180, 220): moved by (40, 20)
    EXPECT_EQ(V({p->slots[inside].anchorX, p->slots[inside].topY, p->comments[note].x,
                 p->comments[note].y, p->slots[outside].anchorX, s.bandState}),
              V({140, 120, 100, 140, 400, kBandIdle}));
    // Shift takes everything; a Shift-click without movement leaves nothing selected.
    s.shiftHeld = 1;
    Drag(*p, s, 500, 400, 540, 440);
    EXPECT_EQ(V({p->slots[inside].anchorX, p->slots[outside].anchorX}), V({180, 440}));
    LeftPress(*p, s, 500, 400);
    LeftRelease(*p, s, 500, 400);
    EXPECT_EQ(p->slots[inside].selected + p->slots[outside].selected, 0);
}

// The context menu takes the pointer, so the left release never reaches the canvas.
TEST(Canvas, ARightPressEndsALeftDragAsItsReleaseWould) {
    auto p = test::MakeProject();
    CanvasSession s;
    const int32_t amp = AddModule(*p, kTypeAmplifier, 200, 100);
    const int32_t meter = AddModule(*p, kTypeVoltMeter, 500, 100);
    const PortRecord& out = p->outputs[PortIndex(AddModule(*p, kTypeA440, 200, 400), 0)];
    const PortRecord& in = p->inputs[PortIndex(meter, 0)];
    // A dragged module stops following the pointer; a loose cable lands where it is; a
    // band keeps what it selected, also when the left release turns up late.
    const int32_t drags[][4] = {{200, 101, 300, 201}, {out.x + 2, out.y + 2, in.x + 2, in.y + 2}};
    for (const auto& [x0, y0, x1, y1] : drags) {
        LeftPress(*p, s, x0, y0);
        PointerMove(*p, s, x1, y1);
        RightPress(*p, s, x1, y1);
        PointerMove(*p, s, 400, 301);
    }
    Drag(*p, s, 450, 50, 700, 250, false);
    RightPress(*p, s, 700, 250);
    const int32_t state = s.bandState;
    LeftRelease(*p, s, 700, 250);
    EXPECT_EQ(V({p->slots[amp].anchorX, s.cableVisible,
                 p->outputs[PortIndex(meter, 0)].link != kNone, state, p->slots[meter].selected}),
              V({300, 0, 1, kBandSelected, 1}));
}

TEST(Canvas, WholeWheelNotchesStepTheZoomWithinOneToTenAndPartsAddUpBothWays) {
    auto p = test::MakeProject();
    CanvasSession s;
    const int32_t slot = AddModule(*p, kTypeAdd, 100, 100), note = p->InsertComment(100, 100);
    // Both at logical (20, 20), which a capture at any zoom keeps. Notches of delta -> zoom,
    // and whether the last one completed a notch.
    const int32_t rows[][4] = {{1, 120, 5, 1}, {8, 120, 10, 1}, {12, -120, 1, 1}, {1, -120, 1, 1},
                               {1, 15, 1, 0},  {7, 15, 2, 1},   {1, -60, 2, 0},   {1, -60, 1, 1}};
    for (const auto& [notches, delta, zoom, zoomed] : rows) {
        bool completed = false;
        for (int32_t i = 0; i < notches; ++i) completed = WheelZoom(*p, s, delta);
        p->CapturePositions();
        EXPECT_EQ(V({completed, p->zoom, p->slots[slot].anchorX, p->comments[note].x}),
                  V({zoomed, zoom, 20 * zoom + 20, 20 * zoom + 20}))
            << notches << " x " << delta;
    }
}

// Over a module the wheel keeps the detail under the pointer there (its parts grow with z,
// its place with z + 1), and notches up and back down bring the view back exactly.
TEST(Canvas, WheelZoomKeepsAModuleDetailUnderThePointerWithoutDrift) {
    auto p = test::MakeProject();
    CanvasSession s;
    s.viewWidth = 1600; // wide: zooming in puts the module past the usual scroll range
    s.viewHeight = 1200;
    const int32_t slot = AddModule(*p, kTypeMidi2CV, 600, 400);
    ScrollViewTo(*p, 200, 100, s.viewWidth, s.viewHeight);
    const PortRecord& velo = p->outputs[PortIndex(slot, midi2cv::kVelocity)];
    const auto onView = [&] {
        return V({velo.x + p->zoom - p->viewOriginX, velo.y + p->zoom - p->viewOriginY});
    };
    const auto pointer = onView(), origin = V({p->viewOriginX, p->viewOriginY});
    for (const int32_t delta : {120, 120, 120, 120, 120, 120, -120, -120, -120, -360}) {
        ASSERT_TRUE(WheelZoomAt(*p, s, delta, pointer[0], pointer[1]));
        const auto now = onView();
        EXPECT_LE(std::max(std::abs(now[0] - pointer[0]), std::abs(now[1] - pointer[1])), 1)
            << "zoom " << p->zoom;
    }
    EXPECT_EQ(V({p->zoom, p->viewOriginX, p->viewOriginY}), V({4, origin[0], origin[1]}));
}

TEST(Canvas, TheViewFitsEverythingScrollsWithinTheContentAndPastesWhereThereIsRoom) {
    auto p = test::MakeProject();
    CanvasSession s;
    s.viewWidth = 800;
    s.viewHeight = 600;
    AddModule(*p, kTypeAdd, 400, 200);
    AddModule(*p, kTypeReverb, 1000, 700);
    // Fit All: the largest zoom that shows both modules whole, names included.
    FitAll(*p, s);
    EXPECT_EQ(p->zoom, 3);
    for (const ModuleSlot& m : p->slots) {
        if (m.type == kTypeEmpty) continue;
        EXPECT_GE(m.anchorX - m.halfWidthPx - p->viewOriginX, 0);
        EXPECT_LE(m.anchorX + m.halfWidthPx - p->viewOriginX, s.viewWidth);
        EXPECT_GE(m.topY - 3 * p->zoom - p->viewOriginY, 0);
        EXPECT_LE(m.topY + m.heightPx - p->viewOriginY, s.viewHeight);
    }
    // Scrolling stops at 0 and a little past the content.
    ScrollViewTo(*p, -50, 100000, s.viewWidth, s.viewHeight);
    EXPECT_EQ(p->viewOriginX, 0);
    EXPECT_LT(p->viewOriginY, 100000);
    EXPECT_EQ(p->viewOriginY, CanvasScrollRange(*p, s.viewWidth, s.viewHeight).maxY);
    // Paste: at the pointer over the view, otherwise on a spot in view clear of every box.
    p->zoom = 4;
    p->Relayout();
    p->viewOriginX = p->viewOriginY = 0;
    Clipping clip;
    clip.modules.push_back(ClipModule{});
    clip.modules[0].type = kTypeReverb;
    const ClipBox box = ClippingBox(*p, clip);
    for (int32_t i = 0; i < 6; ++i) AddModule(*p, kTypeOscillator, 60 + 120 * i, 60);
    s.pointerInView = true;
    s.pointerX = 333;
    s.pointerY = 444;
    EXPECT_EQ(V({PastePointFor(*p, s, box).x, PastePointFor(*p, s, box).y}), V({333, 444}));
    s.pointerInView = false;
    const CanvasPoint at = PastePointFor(*p, s, box);
    const int32_t slot = p->InsertModule(kTypeReverb, at.x, at.y, 400, 300);
    const ModuleSlot& pasted = p->slots[slot];
    EXPECT_LE(pasted.anchorX + pasted.halfWidthPx, s.viewWidth);
    EXPECT_LE(pasted.topY + pasted.heightPx, s.viewHeight);
    for (int32_t other = 0; other < slot; ++other) {
        const ModuleSlot& m = p->slots[other];
        if (m.type == kTypeEmpty) continue;
        const bool apart = m.anchorX + m.halfWidthPx < pasted.anchorX - pasted.halfWidthPx ||
                           pasted.anchorX + pasted.halfWidthPx < m.anchorX - m.halfWidthPx ||
                           m.topY + m.heightPx < pasted.topY ||
                           pasted.topY + pasted.heightPx < m.topY;
        EXPECT_TRUE(apart) << other;
    }
}

// An 800 x 600 panel, image 0 of 101 frames, 5 of three, 6 of one. Skins "Zinc" and "Brass"
// (and a file) in the application folder, "Amber" and "Brass" (3-frame strips) the user's.
class Panel : public ::testing::Test {
protected:
    Panel() {
        session.width = 800;
        session.height = 600;
        for (const auto& [image, frames] : {std::pair{0, 101}, {5, 3}, {6, 1}})
            project->skinImages[image] = {{}, 40, 40 * frames, frames, {}};
        for (const char* skin : {"Zinc", "Brass"})
            test::WriteSkin(app.Path(), skin, {2, 2, 2, 2, 2, 2, 2});
        for (const char* skin : {"Amber", "Brass"})
            test::WriteSkin(user.Path(), skin, {3, 3, 3, 3, 3, 3, 3});
        SetText(project->userFolder, user.Path().string());
        test::WriteFileBytes(app.File("Skins/readme.txt"), {'x'});
        SetText(project->appFolder, app.Path().string());
    }
    // A Parameter whose control is a 40-pixel square at (x, y).
    int32_t Control(int32_t image, int32_t response, int32_t x = 100, int32_t y = 100) {
        const int32_t slot = AddModule(*project, kTypeParameter);
        ModuleSlot& s = project->slots[slot];
        s.imageType = image;
        s.mouseResponse = response;
        s.panelX = x;
        s.panelY = y;
        s.controlSize = 40;
        return slot;
    }
    int32_t& Value(int32_t slot) { return project->slots[slot].patchValues[project->currentPatch]; }
    void Press(int32_t x, int32_t y) { PanelLeftPress(*project, session, platform, x, y); }
    void Move(int32_t x, int32_t y) { PanelPointerMove(*project, session, x, y); }
    void Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { Press(x0, y0), Move(x1, y1); }
    void Release() { PanelLeftRelease(*project, session); }
    PanelMenu Right(int x, int y) { return PanelRightPress(*project, session, platform, x, y); }

    test::TempDir app, user;
    std::unique_ptr<Project> project = test::MakeProject();
    PanelSession session;
    HeadlessPlatform platform;
};

// A skin of the user's stands in for the application's of the same name.
TEST_F(Panel, TheUsersSkinsComeFirst) {
    project->SetDefaultSkinFileNames();
    for (const auto& [skin, frames] : {std::pair{"Brass", 3}, {"Zinc", 2}}) {
        SelectSkin(*project, platform, skin);
        EXPECT_EQ(project->skinImages[0].frames, frames) << skin;
    }
}

TEST_F(Panel, EachMouseResponseTurnsTheControlInTheCurrentPatchOnlyEvenWithEditingLocked) {
    // Response, image, value before, presses in the control's middle, pointer move after
    // each, how the last one ends (0: held, 1: released, 2: a right press, which ends it as
    // a release would) -> value after. Single frames stay at 0 without dividing.
    V rows[] = {
        {kDragVertical, 0, 5, 1, 0, 0, 1, 5},       {kDragVertical, 0, 5, 1, 5, -30, 1, 35},
        {kDragVertical, 0, 5, 1, 0, -200, 1, 100},  {kDragVertical, 0, 5, 1, 0, 200, 1, 0},
        {kDragHorizontal, 0, 50, 1, 20, 30, 1, 70}, {kDragHorizontal, 0, 50, 1, -30, 0, 1, 20},
        {kClickInc, 5, 2, 1, 0, 0, 1, 0},           {kClickInc, 0, 0, 1, 10, -30, 1, 1},
        {kClickDec, 5, 0, 1, 0, 0, 1, 2},           {kClickDec, 5, 60, 1, 0, 0, 1, 1},
        {kClickIncDec, 5, 1, 3, 0, 0, 1, 0},        {kClickToggle, 0, 0, 1, 0, 0, 1, 100},
        {kClickToggle, 0, 37, 1, 0, 0, 1, 0},       {kClickReset, 0, 40, 1, 0, 0, 0, 100},
        {kClickReset, 0, 40, 1, 0, 0, 1, 0},        {kClickReset, 0, 40, 1, 0, 0, 2, 0},
        {kDragVertical, 0, 5, 1, 0, -10, 2, 15},    {kDragVertical, 6, 4, 1, 40, -60, 1, 0},
        {kDragHorizontal, 6, 4, 1, 40, -60, 1, 0},  {kClickInc, 6, 4, 1, 0, 0, 1, 0},
        {kClickDec, 6, 4, 1, 0, 0, 1, 0},           {kClickIncDec, 6, 4, 1, 0, 0, 1, 0},
        {kClickToggle, 6, 4, 1, 0, 0, 1, 0},        {kClickReset, 6, 4, 1, 0, 0, 0, 0}};
    project->currentPatch = 3;
    project->guiEditMode = 1;
    project->lockEdit = 1; // the panel stays playable
    for (const V& row : rows) {
        const auto [response, image, before, presses, dx, dy, release, after] =
            std::tuple(row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7]);
        SCOPED_TRACE(testing::Message() << "response " << response << " from " << before);
        const int32_t c = Control(image, response);
        Value(c) = before;
        for (int32_t i = 0; i < presses; ++i) {
            Drag(120, 120, 120 + dx, 120 + dy);
            if (release == 2) Right(120 + dx, 120 + dy);
            if (release == 1 || i + 1 < presses) Release();
        }
        const int32_t steps = project->skinImages[image].frames - 1;
        EXPECT_FLOAT_EQ(project->slots[c].value, steps > 0 ? 1.0f * after / steps : 0.0f);
        Move(300, 5); // the end of a press ends the turning; a click acts only once anyway
        EXPECT_EQ(V({Value(c), project->slots[c].patchValues[0], project->slots[c].panelX}),
                  V({after, 0, 100}));
        Release();
        project->DeleteModule(c);
    }
    SetGuiEditMode(*project, platform, true);
    EXPECT_EQ(project->guiEditMode, 0);
}

TEST_F(Panel, HitTestsUseTheirOwnBoundariesAndEditModeMovesSnapAndStayOnThePanel) {
    const int32_t c = Control(0, kDragVertical, 100, 100);
    const PanelPolygon& g = project->polygons[project->InsertPolygon(200, 200)];
    const int32_t t = project->InsertText(50, 300); // "Text": 20 x 12
    const Project& p = *project;
    // A control's square includes its edges, a text's box not; a corner grabs within 4.
    EXPECT_EQ(
        V({HitTestControl(p, 100, 100), HitTestControl(p, 140, 140), HitTestControl(p, 141, 120)}),
        V({c, c, kNone}));
    EXPECT_EQ(V({HitTestText(p, 51, 301), HitTestText(p, 69, 311), HitTestText(p, 50, 305),
                 HitTestText(p, 70, 305), HitTestText(p, 60, 312)}),
              V({t, t, kNone, kNone, kNone}));
    EXPECT_EQ(V({HitTestPolygon(p, 204, 196).grab, HitTestPolygon(p, 205, 200).index,
                 HitTestPolygon(p, g.x2 - 4, g.y2 + 4).grab, HitTestPolygon(p, 250, 225).index}),
              V({kGrabMove, kNone, kGrabResize, kNone}));
    project->guiEditMode = 1;
    const PanelText& label = p.texts[project->InsertText(40, 40)];
    Drag(45, 45, 77, 91);
    const V snapped = {label.x, label.y};
    Move(-30, -12);
    Right(0, 0); // the label stays where the right press found it
    Move(200, 200);
    EXPECT_EQ(V({snapped[0], snapped[1], label.x, label.y}), V({72, 88, 0, 0}));
    project->snapToGrid = 0;
    Drag(120, 120, 120, 120);
    EXPECT_EQ(p.slots[c].panelX, 100) << "not re-centred by a move to the press point";
    Move(5000, 5000);
    EXPECT_EQ(V({p.slots[c].panelX, p.slots[c].panelY}), V({800 - 5 - 20, 600 - 20 - 20}));
    Move(65536 + 300, 65536 + 200); // coordinates arrive as 16-bit signed numbers
    EXPECT_EQ(p.slots[c].panelX, 300 - 20);
}

TEST_F(Panel, APressPicksWhatIsUnderThePointerAndTheMenuOffersWhatFitsTheModeAndDoesIt) {
    const int32_t c = Control(0, kDragVertical), t = project->InsertText(400, 400);
    const int32_t g = project->InsertPolygon(100, 100); // corner 1 on the control's corner
    ASSERT_TRUE(project->BindMidiCc(c, 7));
    // Lock edit, edit mode, x, y -> current Parameter, polygon and text and the Properties
    // target after a left press; the context menu of a right press.
    const std::tuple<bool, bool, int32_t, int32_t, V, const char*> rows[] = {
        {0, 1, 102, 102, {c, g, kNone, kTargetPolygon}, "modes edit del-par del-poly "},
        {0, 1, 130, 130, {c, kNone, kNone, kTargetParameter}, "modes edit del-par skin"},
        {0, 1, 405, 405, {kNone, kNone, t, kTargetText}, "modes edit del-text "},
        {0, 1, 700, 500, {kNone, kNone, kNone, kTargetNone}, "modes edit insert skin"},
        {0, 0, 130, 130, {c, kNone, kNone, kTargetParameter}, "modes learn forget "},
        {0, 0, 700, 500, {kNone, kNone, kNone, kTargetNone}, "modes "},
        {1, 1, 130, 130, {c, kNone, kNone, kTargetParameter}, "skin"}};
    for (const auto& [lock, edit, x, y, picked, menu] : rows) {
        project->lockEdit = lock;
        project->guiEditMode = edit;
        Press(x, y);
        Release();
        EXPECT_EQ(V({project->currentSlot, project->currentPolygon, project->currentText,
                     project->propertiesTarget}),
                  picked);
        const PanelMenu m = Right(x, y);
        const std::string items =
            std::string(m.modeItems ? "modes " : "") + (m.editModeTicked ? "edit " : "") +
            (m.deleteParameter ? "del-par " : "") + (m.deletePolygon ? "del-poly " : "") +
            (m.deleteText ? "del-text " : "") + (m.insert ? "insert " : "") +
            (m.midiSlot == c ? "learn " : "") + (m.midiForget ? "forget " : "") +
            (m.skin ? "skin" : "");
        EXPECT_EQ(items, menu) << x << ", " << y;
        EXPECT_EQ(m.skins, m.skin ? Names({"Amber", "Brass", "Zinc"}) : Names())
            << "folders, sorted";
    }
    EXPECT_EQ(platform.propertiesRefreshes, 14);
    // The menu's commands: a deletion asks first and leaves the Properties window empty; an
    // inserted element is selected, and one too many refused with a message (the "Ok").
    platform.answers = {MessageAnswer::Yes, MessageAnswer::Ok, MessageAnswer::No,
                        MessageAnswer::Yes};
    EXPECT_TRUE(AskDeleteParameter(*project, platform)); // the control is current
    EXPECT_EQ(V({project->moduleCount, project->propertiesTarget}), V({0, kTargetNone}));
    project->polygonCount = project->textCount = 0;
    // Near an edge a polygon moves in until its outline shows whole.
    for (const auto& [x, y, x1, y1] :
         {std::array{30, 40, 30, 40}, {790, 590, 597, 447}, {-9, 0, 2, 2}}) {
        const int32_t added = InsertPanelPolygon(*project, platform, x, y, 700, 500);
        const PanelPolygon& g = project->polygons[added];
        EXPECT_EQ(V({project->currentPolygon, project->propertiesTarget, g.x1, g.y1, g.x2, g.y2}),
                  V({added, kTargetPolygon, x1, y1, x1 + 100, y1 + 50}));
    }
    project->polygonCount = 1, project->currentPolygon = 0;
    project->textCount = kTextCount;
    EXPECT_EQ(InsertPanelText(*project, platform, 1, 1), kNone);
    EXPECT_FALSE(AskDeletePolygon(*project, platform));
    EXPECT_TRUE(AskDeletePolygon(*project, platform));
    EXPECT_EQ(V({project->polygonCount, project->propertiesTarget}), V({0, kTargetNone}));
}

} // namespace
} // namespace tw
