// Selection, deletion, copy and paste on the Dsp Editor's canvas.
#include "interaction/canvas_commands.h"
#include "model/text.h"
#include "support/builders.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;
using test::Wire;

TEST(BandSelection, TakesModulesByTheirAnchorAndCommentsByTheirWholeBox) {
    auto p = MakeProject();
    CanvasSession s;
    const int32_t inside = AddModule(*p, kTypeAdd, 100, 100);  // anchor (100, 100)
    const int32_t outside = AddModule(*p, kTypeAdd, 300, 100); // anchor (300, 100)
    const int32_t comment = p->InsertComment(120, 120);        // box 144 x 40
    const int32_t cut = p->InsertComment(180, 120);
    s.bandLeft = 50;
    s.bandTop = 50;
    s.bandRight = 290;
    s.bandBottom = 200;
    EvaluateBandSelection(*p, s);
    EXPECT_EQ(p->slots[inside].selected, 1);
    EXPECT_EQ(p->slots[outside].selected, 0);
    EXPECT_EQ(p->comments[comment].selected, 1);
    EXPECT_EQ(p->comments[cut].selected, 0) << "its box reaches past the band's right edge";
    EXPECT_EQ(p->slots[inside].originX, 100);
    // A band edge exactly on the anchor does not select.
    s.bandLeft = 100;
    EvaluateBandSelection(*p, s);
    EXPECT_EQ(p->slots[inside].selected, 0);
}

TEST(SelectAll, SelectsEveryModuleAndCommentButNoEmptySlot) {
    auto p = MakeProject();
    CanvasSession s;
    AddModule(*p, kTypeAdd, 100, 100);
    AddModule(*p, kTypeSub, 3000, 1500);
    p->InsertComment(8, 8);
    SelectAll(*p, s);
    EXPECT_EQ(s.bandState, kBandSelected);
    EXPECT_EQ(p->slots[0].selected, 1);
    EXPECT_EQ(p->slots[1].selected, 1);
    EXPECT_EQ(p->slots[2].selected, 0);
    EXPECT_EQ(p->comments[0].selected, 1);
    EXPECT_EQ(s.bandVisible, 0);
}

TEST(DeleteSelection, RemovesSelectedModulesCablesAndFlaggedCommentsInOrder) {
    auto p = MakeProject();
    CanvasSession s;
    const int32_t a = AddModule(*p, kTypeA440, 100, 100);
    const int32_t amp = AddModule(*p, kTypeAmplifier, 300, 100);
    const int32_t keep = AddModule(*p, kTypeOutput, 500, 100);
    ASSERT_TRUE(Wire(*p, a, 0, amp, 0));
    ASSERT_TRUE(Wire(*p, amp, 0, keep, 1));
    for (int32_t c = 0; c < 4; ++c) p->InsertComment(8, 8 * c);
    p->comments[1].selected = 1;
    p->comments[3].clicked = 1;
    SetText(p->comments[2].text, "survivor");
    p->slots[amp].selected = 1;
    p->currentSlot = a;
    DeleteSelectionFromContextMenu(*p, s);
    EXPECT_EQ(p->slots[a].type, kTypeEmpty);
    EXPECT_EQ(p->slots[amp].type, kTypeEmpty);
    EXPECT_EQ(p->slots[keep].type, kTypeOutput);
    EXPECT_EQ(p->routes[PortIndex(keep, 1)], kNone);
    EXPECT_EQ(p->commentCount, 2);
    EXPECT_STREQ(p->comments[1].text, "survivor");
    EXPECT_EQ(p->currentSlot, kNone);
    EXPECT_EQ(p->moduleCount, 1);
    // "Delete" leaves the clipboard alone.
    EXPECT_EQ(p->clipboardType, kNone);
}

TEST(CutPaste, CutCopiesTheModuleBeforeDeletingItSoPasteBringsItBack) {
    for (const bool contextMenu : {true, false}) {
        SCOPED_TRACE(contextMenu ? "context menu" : "Edit menu");
        auto p = MakeProject();
        CanvasSession s;
        const int32_t adsr = AddModule(*p, kTypeAdsr, 200, 100);
        p->currentSlot = adsr;
        if (contextMenu) {
            CutSelectionFromContextMenu(*p, s, adsr);
        } else {
            CutSelectionFromEditMenu(*p, s);
        }
        EXPECT_EQ(p->CountOccupied(), 0);
        const int32_t pasted = PasteModule(*p, 40, 40, 400, 300);
        ASSERT_NE(pasted, kNone);
        EXPECT_EQ(p->slots[pasted].type, kTypeAdsr);
    }
}

TEST(CopyPaste, CopiesOnlyTheTypeAndRefusesASecondSingleInstance) {
    auto p = MakeProject();
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    CopyModule(*p, 700); // empty slot: nothing
    EXPECT_EQ(p->clipboardType, kNone);
    EXPECT_EQ(PasteModule(*p, 10, 10, 400, 300), kNone);
    CopyModule(*p, amp);
    EXPECT_EQ(p->clipboardType, kTypeAmplifier);
    const int32_t pasted = PasteModule(*p, 40, 40, 400, 300);
    ASSERT_NE(pasted, kNone);
    EXPECT_EQ(p->slots[pasted].type, kTypeAmplifier);
    EXPECT_EQ(p->moduleCount, 2);

    for (int32_t type : {kTypeOutput, kTypeDelay, kTypeReverb, kTypePolyWave}) {
        const int32_t first = AddModule(*p, type);
        CopyModule(*p, first);
        EXPECT_EQ(PasteModule(*p, 10, 10, 400, 300), kNone) << type;
        EXPECT_EQ(p->CountModulesOfType(type), 1);
    }
}

} // namespace
} // namespace tw
