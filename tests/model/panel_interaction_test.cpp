// The Gui Editor's rules without a window: mouse responses, edit-mode moves, hit tests,
// the context menu's contents and commands, and the skin list.
#include "interaction/panel_interaction.h"
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
    void SetUp() override {
        project = test::MakeProject();
        session.width = 800;
        session.height = 600;
        // Image 0 has 101 frames, image 5 three (a three-position switch), image 6 one.
        SetFrames(0, 101);
        SetFrames(5, 3);
        SetFrames(6, 1);
    }

    void SetFrames(int32_t image, int32_t frames) {
        SkinImage& s = project->skinImages[image];
        s.width = kSide;
        s.height = kSide * frames;
        s.frames = frames;
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

    // A click in the middle of the control at (100, 100).
    void Click(int32_t x = 120, int32_t y = 120) {
        PanelLeftPress(*project, session, platform, x, y);
        PanelLeftRelease(*project, session);
    }

    std::unique_ptr<Project> project;
    PanelSession session;
    HeadlessPlatform platform;
};

// ---- Panel mode: the seven mouse responses ----

TEST_F(PanelRules, ClickIncAndClickDecWrapAtTheEnds) {
    const int32_t inc = Control(5, kClickInc);
    Value(inc) = 2;
    Click();
    EXPECT_EQ(Value(inc), 0);
    Click();
    EXPECT_EQ(Value(inc), 1);

    project->slots[inc].mouseResponse = kClickDec;
    Value(inc) = 0;
    Click();
    EXPECT_EQ(Value(inc), 2);
    EXPECT_FLOAT_EQ(project->slots[inc].value, 1.0f);
}

TEST_F(PanelRules, ClickToggleSwapsBetweenZeroAndTheLargestValue) {
    const int32_t c = Control(0, kClickToggle);
    Click();
    EXPECT_EQ(Value(c), 100);
    Click();
    EXPECT_EQ(Value(c), 0);
    Value(c) = 37;
    Click();
    EXPECT_EQ(Value(c), 0);
}

TEST_F(PanelRules, ClickResponsesActOncePerPressWhateverThePointerDoes) {
    const int32_t c = Control(0, kClickInc);
    PanelLeftPress(*project, session, platform, 120, 120);
    EXPECT_EQ(Value(c), 1);
    PanelPointerMove(*project, session, 130, 90);
    PanelPointerMove(*project, session, 121, 121);
    EXPECT_EQ(Value(c), 1);
    PanelLeftRelease(*project, session);
    EXPECT_EQ(Value(c), 1);
}

TEST_F(PanelRules, DragVerticalCountsOneStepPerPixelUpwardsWithinLimits) {
    const int32_t c = Control(0, kDragVertical);
    Value(c) = 5;
    PanelLeftPress(*project, session, platform, 120, 120);
    EXPECT_EQ(Value(c), 5); // the press itself changes nothing
    PanelPointerMove(*project, session, 125, 90);
    EXPECT_EQ(Value(c), 35);
    EXPECT_FLOAT_EQ(project->slots[c].value, 0.35f);
    PanelPointerMove(*project, session, 125, 0);
    EXPECT_EQ(Value(c), 100);
    PanelPointerMove(*project, session, 125, 200);
    EXPECT_EQ(Value(c), 0);
    PanelLeftRelease(*project, session);
    PanelPointerMove(*project, session, 125, 10);
    EXPECT_EQ(Value(c), 0); // the button is up
}

TEST_F(PanelRules, DragHorizontalCountsToTheRight) {
    const int32_t c = Control(0, kDragHorizontal);
    Value(c) = 50;
    PanelLeftPress(*project, session, platform, 120, 120);
    PanelPointerMove(*project, session, 140, 300);
    EXPECT_EQ(Value(c), 70);
    PanelPointerMove(*project, session, 90, 300);
    EXPECT_EQ(Value(c), 20);
}

TEST_F(PanelRules, ValuesChangeOnlyInTheCurrentPatch) {
    const int32_t c = Control(0, kClickInc);
    project->currentPatch = 3;
    Click();
    EXPECT_EQ(project->slots[c].patchValues[3], 1);
    EXPECT_EQ(project->slots[c].patchValues[0], 0);
}

TEST_F(PanelRules, ASingleFrameControlStaysAtZeroWithoutDividing) {
    for (int32_t response = 0; response < kMouseResponseCount; ++response) {
        const int32_t c = Control(6, response, 300 + 50 * response, 300);
        Value(c) = 4; // left from an image with more frames
        PanelLeftPress(*project, session, platform, 310 + 50 * response, 310);
        PanelPointerMove(*project, session, 350 + 50 * response, 250);
        PanelLeftRelease(*project, session);
        EXPECT_EQ(Value(c), 0) << "response " << response;
        EXPECT_EQ(project->slots[c].value, 0.0f) << "response " << response;
    }
}

TEST_F(PanelRules, AValueBeyondANewImageCountsAsItsLastFrame) {
    const int32_t c = Control(5, kClickDec);
    Value(c) = 60; // left over from a 101-frame knob
    Click();
    EXPECT_EQ(Value(c), 1);
}

TEST_F(PanelRules, PanelModeDoesNotMoveAnything) {
    const int32_t c = Control(0, kDragVertical);
    const int32_t poly = project->InsertPolygon(300, 300);
    PanelLeftPress(*project, session, platform, 120, 120);
    PanelPointerMove(*project, session, 200, 200);
    PanelLeftRelease(*project, session);
    PanelLeftPress(*project, session, platform, 300, 300);
    PanelPointerMove(*project, session, 350, 350);
    EXPECT_EQ(project->slots[c].panelX, 100);
    EXPECT_EQ(project->polygons[poly].x1, 300);
}

TEST_F(PanelRules, ARightPressEndsTheLeftButtonsWorkAsItsReleaseWould) {
    // Panel mode: a held "Click Reset" goes back to 0, a dragged knob stops turning.
    const int32_t reset = Control(0, kClickReset);
    const int32_t knob = Control(0, kDragVertical, 200, 100);
    PanelLeftPress(*project, session, platform, 120, 120);
    PanelRightPress(*project, session, platform, 120, 120);
    EXPECT_EQ(Value(reset), 0);
    PanelLeftPress(*project, session, platform, 220, 120);
    PanelPointerMove(*project, session, 220, 110);
    PanelRightPress(*project, session, platform, 220, 110);
    PanelPointerMove(*project, session, 220, 50);
    EXPECT_EQ(Value(knob), 10);
    // Edit mode: a dragged label stays where the right press found it.
    project->guiEditMode = 1;
    const int32_t t = project->InsertText(400, 400);
    PanelLeftPress(*project, session, platform, 405, 405);
    PanelPointerMove(*project, session, 480, 480);
    PanelRightPress(*project, session, platform, 480, 480);
    PanelPointerMove(*project, session, 560, 560);
    EXPECT_EQ(project->texts[t].x, 480);
}

// ---- Press: what becomes current and what the Properties window shows ----

TEST_F(PanelRules, PressSelectsAndTellsThePropertiesWindow) {
    const int32_t c = Control(0, kDragVertical);
    project->guiEditMode = 1;
    const int32_t t = project->InsertText(400, 400);
    const int32_t g = project->InsertPolygon(100, 100); // corner 1 on the control's corner

    PanelLeftPress(*project, session, platform, 102, 102);
    EXPECT_EQ(project->currentSlot, c);
    EXPECT_EQ(project->currentPolygon, g);
    EXPECT_EQ(project->propertiesTarget, kTargetPolygon); // the handle wins

    PanelLeftPress(*project, session, platform, 130, 130);
    EXPECT_EQ(project->currentPolygon, kNone);
    EXPECT_EQ(project->propertiesTarget, kTargetParameter);

    PanelLeftPress(*project, session, platform, 405, 405);
    EXPECT_EQ(project->currentText, t);
    EXPECT_EQ(project->propertiesTarget, kTargetText);

    PanelLeftPress(*project, session, platform, 700, 500);
    EXPECT_EQ(project->currentSlot, kNone);
    EXPECT_EQ(project->propertiesTarget, kTargetNone);
    EXPECT_EQ(platform.propertiesRefreshes, 4);
}

TEST_F(PanelRules, HitTestsUseTheirOwnBoundaries) {
    const int32_t c = Control(0, kDragVertical, 100, 100);
    EXPECT_EQ(HitTestControl(*project, 100, 100), c);
    EXPECT_EQ(HitTestControl(*project, 140, 140), c); // both edges belong to the square
    EXPECT_EQ(HitTestControl(*project, 141, 120), kNone);

    PanelPolygon& p = project->polygons[project->InsertPolygon(200, 200)];
    EXPECT_EQ(HitTestPolygon(*project, 204, 196).grab, kGrabMove);
    EXPECT_EQ(HitTestPolygon(*project, 205, 200).index, kNone); // strictly within 5
    EXPECT_EQ(HitTestPolygon(*project, p.x2 - 4, p.y2 + 4).grab, kGrabResize);
    EXPECT_EQ(HitTestPolygon(*project, 250, 225).index, kNone); // inside, away from handles

    const int32_t t = project->InsertText(50, 300); // "Text": 20 x 12
    EXPECT_EQ(HitTestText(*project, 51, 301), t);
    EXPECT_EQ(HitTestText(*project, 69, 311), t);
    EXPECT_EQ(HitTestText(*project, 50, 305), kNone);
    EXPECT_EQ(HitTestText(*project, 70, 305), kNone);
    EXPECT_EQ(HitTestText(*project, 60, 312), kNone);
}

// ---- Edit mode: moves ----

TEST_F(PanelRules, AMovedTextStopsAtTheTopLeftEdges) {
    project->guiEditMode = 1;
    const int32_t t = project->InsertText(40, 40);
    PanelLeftPress(*project, session, platform, 45, 45);
    PanelPointerMove(*project, session, 77, 91);
    EXPECT_EQ(project->texts[t].x, 72);
    EXPECT_EQ(project->texts[t].y, 88);
    PanelPointerMove(*project, session, -30, -12);
    EXPECT_EQ(project->texts[t].x, 0);
    EXPECT_EQ(project->texts[t].y, 0);
}

TEST_F(PanelRules, MovesStayInsideThePanelAndIgnoreThePressPoint) {
    project->guiEditMode = 1;
    project->snapToGrid = 0;
    const int32_t c = Control(0, kDragVertical);
    PanelLeftPress(*project, session, platform, 120, 120);
    PanelPointerMove(*project, session, 120, 120);
    EXPECT_EQ(project->slots[c].panelX, 100); // not re-centred by a move to the press point
    PanelPointerMove(*project, session, 5000, 5000);
    EXPECT_EQ(project->slots[c].panelX, 800 - 5 - kSide / 2);
    EXPECT_EQ(project->slots[c].panelY, 600 - 20 - kSide / 2);
    // Coordinates arrive as 16-bit signed numbers.
    PanelPointerMove(*project, session, 65536 + 300, 65536 + 200);
    EXPECT_EQ(project->slots[c].panelX, 300 - kSide / 2);
}

TEST_F(PanelRules, LockEditKeepsThePanelInPanelMode) {
    project->guiEditMode = 1;
    project->lockEdit = 1;
    const int32_t c = Control(0, kClickInc);
    Click();
    EXPECT_EQ(Value(c), 1);
    EXPECT_EQ(project->slots[c].panelX, 100);
    SetGuiEditMode(*project, platform, true);
    EXPECT_EQ(project->guiEditMode, 0);
}

// ---- Context menu commands ----

TEST_F(PanelRules, InsertingSelectsTheNewElementAndAFullListIsRefused) {
    const int32_t g = InsertPanelPolygon(*project, platform, 30, 40);
    EXPECT_EQ(project->currentPolygon, g);
    EXPECT_EQ(project->propertiesTarget, kTargetPolygon);
    EXPECT_EQ(project->polygons[g].x2, 130);
    const int32_t t = InsertPanelText(*project, platform, 5, 6);
    EXPECT_EQ(project->currentText, t);
    EXPECT_EQ(project->propertiesTarget, kTargetText);
    EXPECT_STREQ(project->texts[t].text, "Text");

    project->polygonCount = kPolygonCount;
    project->textCount = kTextCount;
    EXPECT_EQ(InsertPanelPolygon(*project, platform, 1, 1), kNone);
    EXPECT_EQ(InsertPanelText(*project, platform, 1, 1), kNone);
    EXPECT_EQ(project->polygonCount, kPolygonCount);
    EXPECT_EQ(project->textCount, kTextCount);
    ASSERT_EQ(platform.messages.size(), 2u);
}

TEST_F(PanelRules, DeletionsAskFirstAndDoNothingOnNo) {
    project->guiEditMode = 1;
    const int32_t c = Control(0, kDragVertical);
    for (int i = 0; i < 3; ++i) project->InsertPolygon(100 * i + 300, 300);
    project->InsertText(10, 500);

    project->currentPolygon = 1;
    platform.answers = {MessageAnswer::No, MessageAnswer::Yes};
    EXPECT_FALSE(AskDeletePolygon(*project, platform));
    EXPECT_EQ(project->polygonCount, 3);
    EXPECT_TRUE(AskDeletePolygon(*project, platform));
    EXPECT_EQ(project->polygonCount, 2);
    EXPECT_EQ(project->polygons[1].x1, 500); // the later one moved down
    EXPECT_EQ(platform.messages[0].text, "Delete Polygon");
    EXPECT_EQ(platform.messages[0].buttons, MessageButtons::YesNo);

    project->currentText = 0;
    platform.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(AskDeleteText(*project, platform));
    EXPECT_EQ(project->textCount, 0);

    project->currentSlot = c;
    project->propertiesTarget = kTargetParameter;
    platform.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(AskDeleteParameter(*project, platform));
    EXPECT_EQ(project->slots[c].type, kTypeEmpty);
    EXPECT_EQ(project->moduleCount, 0);
    EXPECT_EQ(project->currentSlot, kNone);
    EXPECT_EQ(project->propertiesTarget, kTargetNone);
    EXPECT_EQ(platform.messages.back().text, "Delete Parameter");
}

// ---- Skins ----

TEST(PanelSkins, TheSkinListHoldsFoldersOnlyInAlphabeticalOrder) {
    test::TempDir app;
    const int32_t frames[7] = {11, 101, 3, 4, 5, 2, 2};
    test::WriteSkin(app.Path(), "Zinc", frames);
    test::WriteSkin(app.Path(), "Default", frames);
    test::WriteSkin(app.Path(), "Brass", frames, 16);
    test::WriteFileBytes(app.File("Skins/readme.txt"), {'x'});
    auto project = test::MakeProject();
    SetText(project->appFolder, app.Path().string());
    HeadlessPlatform platform;
    PanelSession session;

    ScanSkins(*project, platform);
    ASSERT_EQ(project->skinCount, 3);
    EXPECT_STREQ(project->skinFolders[0], "Brass");
    EXPECT_STREQ(project->skinFolders[1], "Default");
    EXPECT_STREQ(project->skinFolders[2], "Zinc");

    project->guiEditMode = 1;
    const PanelMenu menu = PanelRightPress(*project, session, platform, 5, 5);
    EXPECT_EQ(menu.skins, (std::vector<std::string>{"Brass", "Default", "Zinc"}));

    SelectSkin(*project, platform, "Default");
    EXPECT_EQ(project->skinImages[0].width, 8);
    SelectSkin(*project, platform, "Brass");
    EXPECT_STREQ(project->skinName, "Brass");
    EXPECT_EQ(project->skinImages[0].width, 16);
    EXPECT_EQ(project->skinImages[5].frames, 2);
    EXPECT_EQ(project->background.width, 40);
    EXPECT_TRUE(platform.messages.empty());
}

TEST(PanelSkins, AMissingSkinsFolderGivesAnEmptyList) {
    test::TempDir app;
    auto project = test::MakeProject();
    SetText(project->appFolder, app.Path().string());
    project->skinCount = 5;
    HeadlessPlatform platform;
    ScanSkins(*project, platform);
    EXPECT_EQ(project->skinCount, 0);
}

} // namespace
} // namespace tw
