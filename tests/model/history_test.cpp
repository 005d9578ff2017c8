// The edit history beyond exactness (which the editing property test covers): what steps
// are called, what they cost, and the modified flag that follows them.
#include "interaction/canvas_commands.h"
#include "model/history.h"
#include "model/lifecycle.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace tw {
namespace {

// An oscillator (slot 0) feeding an Output (slot 1), with a Parameter (slot 2).
std::unique_ptr<Project> SmallPatch() {
    auto p = test::MakeProject();
    test::AddModule(*p, kTypeOscillator, 100, 100);
    test::AddModule(*p, kTypeOutput, 300, 100);
    test::AddModule(*p, kTypeParameter, 100, 300);
    return p;
}

TEST(EditHistory, StepsAreNamedAfterWhatChanged) {
    struct Row {
        const char* name;
        std::function<void(Project&)> edit;
        const char* verb = nullptr;
    };
    const Row rows[] = {
        {"Insert Oscillator", [](Project& p) { test::AddModule(p, kTypeOscillator, 500, 500); }},
        {"Delete 3 Modules",
         [](Project& p) {
             for (int32_t s = 0; s < 3; ++s) p.DeleteModule(s);
         }},
        {"Cut Oscillator", [](Project& p) { p.DeleteModule(0); }, "Cut"},
        {"Connect Cable", [](Project& p) { test::Wire(p, 0, 0, 1, 0); }},
        {"Move Oscillator",
         [](Project& p) {
             p.PlaceModule(0, 400, 400);
             p.CapturePositions();
             p.Relayout();
         }},
        {"Move Knob", [](Project& p) { p.slots[2].panelX += 10; }},
        {"Turn Knob", [](Project& p) { p.slots[2].patchValues[0] = 7; }},
        {"Rename Patch", [](Project& p) { SetPatchName(p, "Bright"); }},
        {"Insert Comment", [](Project& p) { p.InsertComment(10, 10); }},
        {"Insert Polygon", [](Project& p) { p.InsertPolygon(10, 10); }},
        {"Change Skin", [](Project& p) { SetText(p.skinName, "Other"); }},
        {"Clean Project", [](Project& p) { p.DeleteModule(1); }, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto p = SmallPatch();
        EditHistory history;
        history.Reset(*p);
        row.edit(*p);
        const bool verb = row.verb != nullptr && row.verb[0] != '\0';
        const std::string_view given = row.verb == nullptr ? "" : verb ? row.verb : row.name;
        ASSERT_TRUE(history.Commit(*p, given, verb ? StepKind::Verb : StepKind::Named));
        EXPECT_EQ(history.UndoName(), row.name);
        history.Undo(*p);
        EXPECT_EQ(history.RedoName(), row.name);
    }
}

TEST(EditHistory, SelectionAloneIsNoStepButComesBackWithTheNextOne) {
    auto p = SmallPatch();
    EditHistory history;
    history.Reset(*p);
    CanvasSession session;
    SelectAll(*p, session);
    EXPECT_FALSE(history.Commit(*p));
    DeleteSelectionFromEditMenu(*p, session);
    ASSERT_TRUE(history.Commit(*p));
    EXPECT_EQ(history.UndoName(), "Delete 3 Modules");
    history.Undo(*p);
    EXPECT_EQ(p->CountOccupied(), 3);
    for (int32_t s = 0; s < 3; ++s) EXPECT_EQ(p->slots[s].selected, 1) << s;
}

// A step stores what it changed, not the record: a thousand moves on a full project.
TEST(EditHistory, AStepCostsWhatItChanged) {
    auto p = test::MakeProject();
    for (int32_t s = 0; s < kSlotCount; ++s)
        test::AddModule(*p, kTypeOscillator, s % 32 * 60, s / 32 * 40);
    ASSERT_EQ(p->CountOccupied(), kSlotCount);
    EditHistory history;
    history.Reset(*p);
    for (int32_t i = 0; i < 1000; ++i) {
        p->PlaceModule(i % kSlotCount, 4000 + 8 * (i % 7), 100 + 8 * i);
        p->CapturePositions();
        p->Relayout();
        ASSERT_TRUE(history.Commit(*p));
    }
    EXPECT_EQ(history.StepCount(), 1000u);
    EXPECT_LT(history.MemoryUsed(), std::size_t{10} << 20);
}

TEST(EditHistory, ModifiedFollowsTheHistoryAndTheBound) {
    auto p = SmallPatch();
    EditHistory history(4096);
    history.Reset(*p);
    EXPECT_FALSE(history.Modified());
    p->slots[0].gx += 4;
    history.Commit(*p);
    EXPECT_TRUE(history.Modified());
    history.Undo(*p);
    EXPECT_FALSE(history.Modified()); // back where the file is: nothing to ask
    history.Redo(*p);
    history.MarkSaved();
    EXPECT_FALSE(history.Modified());
    history.Undo(*p);
    EXPECT_TRUE(history.Modified());
    history.Redo(*p);
    // Past the bound the oldest steps go; the saved state went with them.
    for (int32_t i = 0; i < 200; ++i) {
        SetText(p->slots[0].name, "name " + std::to_string(i));
        history.Commit(*p);
    }
    EXPECT_LT(history.StepCount(), 200u);
    EXPECT_LE(history.MemoryUsed(), 4096u);
    while (history.CanUndo()) history.Undo(*p);
    EXPECT_TRUE(history.Modified());
    // Typing joins one step; typing it all back leaves none.
    history.Reset(*p);
    const std::string name = p->slots[0].name;
    for (const char* typed : {"a", "ab", "abc"}) {
        SetText(p->slots[0].name, typed);
        history.Commit(*p, "Rename", StepKind::Merge);
    }
    EXPECT_EQ(history.StepCount(), 1u);
    SetText(p->slots[0].name, name);
    EXPECT_FALSE(history.Commit(*p, "Rename", StepKind::Merge));
    EXPECT_EQ(history.StepCount(), 0u);
}

} // namespace
} // namespace tw
