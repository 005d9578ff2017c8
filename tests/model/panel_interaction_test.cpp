// The Gui Editor's rules without a window: mouse responses, edit-mode moves, hit tests,
// the context menu's contents and commands, and the skin list.
#include "model/panel_interaction.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw {
namespace {

constexpr int32_t kSide = 40;

class PanelRules : public ::testing::Test {
protected:
    PanelRules() {
        session.width = 800;
        session.height = 600;
        // Image 0 has 101 frames, image 5 three (a three-position switch), image 6 one.
        for (const auto& [image, frames] : {std::pair{0, 101}, {5, 3}, {6, 1}})
            project->skinImages[image] = {{}, kSide, kSide * frames, frames, {}};
    }

    // A Parameter whose control is a kSide square at (x, y).
    int32_t Control(int32_t image, int32_t response, int32_t x = 100, int32_t y = 100) {
        const int32_t slot = test::AddModule(*project, kTypeParameter);
        ModuleSlot& s = project->slots[slot];
        s.imageType = image;
        s.mouseResponse = response;
        s.panelX = x;
        s.panelY = y;
        s.controlSize = kSide;
        project->currentSlot = kNone;
        return slot;
    }
    int32_t& Value(int32_t slot) { return project->slots[slot].patchValues[project->currentPatch]; }
    void Press(int32_t x, int32_t y) { PanelLeftPress(*project, session, platform, x, y); }
    void Move(int32_t x, int32_t y) { PanelPointerMove(*project, session, x, y); }
    void Release() { PanelLeftRelease(*project, session); }
    PanelMenu Right(int32_t x, int32_t y) {
        return PanelRightPress(*project, session, platform, x, y);
    }

    std::unique_ptr<Project> project = test::MakeProject();
    PanelSession session;
    HeadlessPlatform platform;
};

TEST_F(PanelRules, EachMouseResponseTurnsTheControlInTheCurrentPatchOnly) {
    // Response, image, value before, presses in the middle of the control, pointer move
    // after each press, whether the last press is released -> value after.
    struct Row {
        int32_t response, image, before, presses, dx, dy;
        bool release;
        int32_t after;
    };
    std::vector<Row> rows = {
        {kDragVertical, 0, 5, 1, 0, 0, true, 5}, // the press alone changes nothing
        {kDragVertical, 0, 5, 1, 5, -30, true, 35},
        {kDragVertical, 0, 5, 1, 0, -200, true, 100},
        {kDragVertical, 0, 5, 1, 0, 200, true, 0},
        {kDragHorizontal, 0, 50, 1, 20, 300, true, 70},
        {kDragHorizontal, 0, 50, 1, -30, 0, true, 20},
        {kClickInc, 5, 2, 1, 0, 0, true, 0},
        {kClickInc, 0, 0, 1, 10, -30, true, 1}, // once per press whatever the pointer does
        {kClickDec, 5, 0, 1, 0, 0, true, 2},
        {kClickDec, 5, 60, 1, 0, 0, true, 1},   // left from a larger image: its last frame
        {kClickIncDec, 5, 1, 3, 0, 0, true, 0}, // 2, then back down at the end
        {kClickToggle, 0, 0, 1, 0, 0, true, 100},
        {kClickToggle, 0, 37, 1, 0, 0, true, 0},
        {kClickReset, 0, 40, 1, 0, 0, false, 100},
        {kClickReset, 0, 40, 1, 0, 0, true, 0},
    };
    // A single frame has nowhere to go: every response stays at 0, without dividing.
    for (int32_t r = 0; r < kMouseResponseCount; ++r)
        rows.push_back({r, 6, 4, 1, 40, -60, true, 0});
    project->currentPatch = 3;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "response " << row.response << " from " << row.before);
        const int32_t c = Control(row.image, row.response);
        Value(c) = row.before;
        for (int32_t i = 0; i < row.presses; ++i) {
            Press(120, 120);
            Move(120 + row.dx, 120 + row.dy);
            if (row.release || i + 1 < row.presses) Release();
        }
        EXPECT_EQ(Value(c), row.after);
        const int32_t steps = project->skinImages[row.image].frames - 1;
        EXPECT_FLOAT_EQ(project->slots[c].value, steps > 0 ? 1.0f * row.after / steps : 0.0f);
        Move(300, 5); // a release ends the turning; a click acts only once anyway
        EXPECT_EQ(Value(c), row.after);
        EXPECT_EQ(project->slots[c].patchValues[0], 0);
        EXPECT_EQ(project->slots[c].panelX, 100) << "panel mode moves nothing";
        Release();
        project->DeleteModule(c);
    }
}

TEST_F(PanelRules, ARightPressEndsTheLeftButtonsWorkAsItsReleaseWould) {
    // Panel mode: a held "Click Reset" goes back to 0, a dragged knob stops turning.
    const int32_t reset = Control(0, kClickReset);
    const int32_t knob = Control(0, kDragVertical, 200, 100);
    Press(120, 120);
    Right(120, 120);
    EXPECT_EQ(Value(reset), 0);
    Press(220, 120);
    Move(220, 110);
    Right(220, 110);
    Move(220, 50);
    EXPECT_EQ(Value(knob), 10);
    // Edit mode: a dragged label stays where the right press found it.
    project->guiEditMode = 1;
    const int32_t t = project->InsertText(400, 400);
    Press(405, 405);
    Move(480, 480);
    Right(480, 480);
    Move(560, 560);
    EXPECT_EQ(project->texts[t].x, 480);
}

TEST_F(PanelRules, HitTestsUseTheirOwnBoundaries) {
    const int32_t c = Control(0, kDragVertical, 100, 100);
    const PanelPolygon& g = project->polygons[project->InsertPolygon(200, 200)];
    const int32_t t = project->InsertText(50, 300); // "Text": 20 x 12
    const Project& p = *project;
    const int32_t rows[][2] = {
        // A control's square includes both edges.
        {HitTestControl(p, 100, 100), c},
        {HitTestControl(p, 140, 140), c},
        {HitTestControl(p, 141, 120), kNone},
        // A polygon is grabbed only strictly within 5 of a corner.
        {HitTestPolygon(p, 204, 196).grab, kGrabMove},
        {HitTestPolygon(p, 205, 200).index, kNone},
        {HitTestPolygon(p, g.x2 - 4, g.y2 + 4).grab, kGrabResize},
        {HitTestPolygon(p, 250, 225).index, kNone},
        // A text's box excludes its edges.
        {HitTestText(p, 51, 301), t},
        {HitTestText(p, 69, 311), t},
        {HitTestText(p, 50, 305), kNone},
        {HitTestText(p, 70, 305), kNone},
        {HitTestText(p, 60, 312), kNone},
    };
    for (const auto& [got, want] : rows) EXPECT_EQ(got, want) << &got - &rows[0][0];
}

TEST_F(PanelRules, APressPicksWhatIsUnderThePointerForThePropertiesWindow) {
    project->guiEditMode = 1;
    const int32_t c = Control(0, kDragVertical);
    const int32_t t = project->InsertText(400, 400);
    const int32_t g = project->InsertPolygon(100, 100); // corner 1 on the control's corner
    const int32_t rows[][6] = {
        // x, y -> current Parameter, polygon, text, Properties target
        {102, 102, c, g, kNone, kTargetPolygon}, // the handle wins
        {130, 130, c, kNone, kNone, kTargetParameter},
        {405, 405, kNone, kNone, t, kTargetText},
        {700, 500, kNone, kNone, kNone, kTargetNone},
    };
    for (const auto& [x, y, slot, polygon, text, target] : rows) {
        Press(x, y);
        Release();
        EXPECT_EQ(std::vector({project->currentSlot, project->currentPolygon, project->currentText,
                               project->propertiesTarget}),
                  std::vector({slot, polygon, text, target}))
            << x << ", " << y;
    }
    EXPECT_EQ(platform.propertiesRefreshes, 4);
}

TEST_F(PanelRules, EditModeMovesSnapAndStayOnThePanel) {
    project->guiEditMode = 1;
    const PanelText& t = project->texts[project->InsertText(40, 40)];
    Press(45, 45);
    Move(77, 91);
    EXPECT_EQ(std::pair(t.x, t.y), std::pair(72, 88));
    Move(-30, -12);
    EXPECT_EQ(std::pair(t.x, t.y), std::pair(0, 0));
    Release();

    project->snapToGrid = 0;
    const ModuleSlot& c = project->slots[Control(0, kDragVertical)];
    Press(120, 120);
    Move(120, 120);
    EXPECT_EQ(c.panelX, 100) << "not re-centred by a move to the press point";
    Move(5000, 5000);
    EXPECT_EQ(std::pair(c.panelX, c.panelY), std::pair(800 - 5 - kSide / 2, 600 - 20 - kSide / 2));
    Move(65536 + 300, 65536 + 200); // coordinates arrive as 16-bit signed numbers
    EXPECT_EQ(c.panelX, 300 - kSide / 2);
    Release();

    const PanelPolygon& g = project->polygons[project->InsertPolygon(300, 300)];
    Press(300, 300); // corner 1 moves the whole polygon
    Move(500, 400);
    EXPECT_EQ(std::vector({g.x1, g.y1, g.x2, g.y2}), std::vector({500, 400, 600, 450}));
    Release();
    Press(600, 450); // corner 2 moves only itself
    Move(620, 470);
    EXPECT_EQ(std::vector({g.x1, g.y1, g.x2, g.y2}), std::vector({500, 400, 620, 470}));
}

TEST_F(PanelRules, LockEditKeepsThePanelPlayable) {
    project->guiEditMode = 1;
    project->lockEdit = 1;
    const int32_t c = Control(0, kClickInc);
    Press(120, 120);
    Move(200, 200);
    EXPECT_EQ(Value(c), 1);
    EXPECT_EQ(project->slots[c].panelX, 100);
    SetGuiEditMode(*project, platform, true);
    EXPECT_EQ(project->guiEditMode, 0);
}

std::string Describe(const PanelMenu& m) {
    std::string s;
    for (const auto& [on, name] : {std::pair{m.modeItems, "modes"},
                                   {m.editModeTicked, "(edit)"},
                                   {m.deleteParameter, "delete-parameter"},
                                   {m.deletePolygon, "delete-polygon"},
                                   {m.deleteText, "delete-text"},
                                   {m.insert, "insert"},
                                   {m.skin, "skin"}}) {
        if (on) s += std::string(s.empty() ? "" : " ") + name;
    }
    return s;
}

TEST_F(PanelRules, TheContextMenuOffersWhatFitsTheModeAndWhatIsUnderThePointer) {
    Control(0, kDragVertical);
    project->InsertPolygon(300, 300);
    project->InsertText(400, 500);
    const struct {
        bool lock, edit;
        int32_t x, y;
        const char* menu;
    } rows[] = {
        {true, true, 120, 120, "skin"},
        {false, false, 120, 120, "modes"},
        {false, true, 120, 120, "modes (edit) delete-parameter skin"},
        {false, true, 302, 302, "modes (edit) delete-polygon"},
        {false, true, 405, 505, "modes (edit) delete-text"},
        {false, true, 700, 100, "modes (edit) insert skin"},
    };
    for (const auto& row : rows) {
        project->lockEdit = row.lock;
        project->guiEditMode = row.edit;
        EXPECT_EQ(Describe(Right(row.x, row.y)), row.menu) << row.x << ", " << row.y;
    }
}

TEST_F(PanelRules, InsertingSelectsTheNewElementAndDeletingAsksFirst) {
    const int32_t g = InsertPanelPolygon(*project, platform, 30, 40);
    EXPECT_EQ(std::pair(project->currentPolygon, project->propertiesTarget),
              std::pair(g, int32_t{kTargetPolygon}));
    platform.answers = {MessageAnswer::No, MessageAnswer::Yes};
    EXPECT_FALSE(AskDeletePolygon(*project, platform));
    EXPECT_TRUE(AskDeletePolygon(*project, platform));
    EXPECT_EQ(platform.MessageTexts(), (std::vector<std::string>(2, "Delete Polygon")));
    EXPECT_EQ(std::pair(project->polygonCount, project->propertiesTarget),
              std::pair(0, int32_t{kTargetNone}));

    project->currentSlot = Control(0, kDragVertical);
    project->propertiesTarget = kTargetParameter;
    platform.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(AskDeleteParameter(*project, platform));
    EXPECT_EQ(project->moduleCount + project->propertiesTarget, 0 + kTargetNone);

    project->textCount = kTextCount;
    EXPECT_EQ(InsertPanelText(*project, platform, 1, 1), kNone);
    EXPECT_EQ(project->textCount, kTextCount);
    EXPECT_EQ(platform.messages.size(), 4u) << "a full list is refused with a message";
}

TEST(PanelSkins, TheSkinListHoldsFoldersOnlyInAlphabeticalOrder) {
    test::TempDir app;
    const int32_t frames[7] = {11, 101, 3, 4, 5, 2, 2};
    for (const char* name : {"Zinc", "Default", "Brass"})
        test::WriteSkin(app.Path(), name, frames, name[0] == 'B' ? 16 : 8);
    test::WriteFileBytes(app.File("Skins/readme.txt"), {'x'});
    auto project = test::MakeProject();
    SetText(project->appFolder, app.Path().string());
    HeadlessPlatform platform;
    PanelSession session;
    project->guiEditMode = 1;
    const PanelMenu menu = PanelRightPress(*project, session, platform, 5, 5);
    EXPECT_EQ(menu.skins, (std::vector<std::string>{"Brass", "Default", "Zinc"}));
    SelectSkin(*project, platform, "Brass");
    EXPECT_EQ(project->skinImages[0].width, 16);
    EXPECT_TRUE(platform.messages.empty());

    SetText(project->appFolder, app.File("nowhere"));
    ScanSkins(*project, platform);
    EXPECT_EQ(project->skinCount, 0);
}

} // namespace
} // namespace tw
