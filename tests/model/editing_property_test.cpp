// Thousands of random edits from a fixed seed: after each the record's invariants hold, and
// the history takes every one back and forth exactly, however edits interleave.
#include "model/catalogue.h"
#include "model/history.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

// One random edit of the canvas, the panel or the patches, as the editors make them.
struct RandomEditor {
    std::mt19937 rng{20261206u};
    bool views = true; // zoom changes too (not edits: the history leaves them alone)
    int32_t connects = 0;
    // Work within a window of slots so that cables find occupied ends often.
    static constexpr int32_t kWindow = 40;

    int32_t Pick(int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); }
    // Mostly ports that exist, sometimes any position (which must be refused).
    int32_t Port(const PortRecord* table) {
        int32_t k = PortIndex(Pick(kWindow), Pick(kPortsPerSlot));
        for (int32_t tries = 0; tries < 16 && table[k].kind == kPortNone && Pick(8) != 0; ++tries)
            k = PortIndex(Pick(kWindow), Pick(kPortsPerSlot));
        return k;
    }
    int32_t Occupied(const Project& p) {
        const int32_t s = Pick(kWindow);
        return p.slots[s].type != kTypeEmpty ? s : kNone;
    }

    void Edit(Project& p) {
        const std::span<const ModuleTypeInfo> types = ModuleTypes();
        const int32_t op = Pick(120);
        if (op < 25 && p.CountOccupied() < kWindow) {
            const int32_t type = types[static_cast<std::size_t>(Pick(int32_t(types.size())))].type;
            p.InsertModule(type, Pick(800), Pick(600), 400, 300);
        } else if (op < 40) {
            const int32_t s = Pick(kWindow + 2) - 1;
            p.DeleteModule(s);
            ASSERT_TRUE(!IsSlot(s) || p.slots[s].type == kTypeEmpty);
        } else if (op < 75) {
            const int32_t o = Port(p.outputs), i = Port(p.inputs);
            const bool taken = p.Connect(o, i, Pick(2) == 0);
            ASSERT_TRUE(!taken || (p.outputs[i].link == o && p.routes[i] == o));
            connects += taken ? 1 : 0;
        } else if (op < 90) {
            const int32_t k = PortIndex(Pick(kWindow), Pick(kPortsPerSlot));
            const bool input = op < 85, cut = input ? p.DisconnectInput(k) : p.DisconnectOutput(k);
            ASSERT_TRUE(!cut || (input ? p.outputs[k] : p.inputs[k]).link == kNone);
        } else if (op < 97) {
            const int32_t s = Occupied(p);
            if (s == kNone) return;
            p.PlaceModule(s, Pick(900), Pick(700));
            p.CapturePositions();
            p.Relayout();
        } else if (op < 100) {
            if (!views) return;
            p.zoom = 1 + Pick(10);
            p.Relayout();
        } else if (op < 104) {
            // The panel: a control moved, its image changed, its value turned.
            const int32_t s = Occupied(p);
            if (s == kNone || p.slots[s].type != kTypeParameter) return;
            p.slots[s].panelX = Pick(400);
            p.slots[s].panelY = Pick(300);
            p.ChangeImageType(s, Pick(kSkinImageCount));
            p.slots[s].patchValues[p.currentPatch] = Pick(p.slots[s].steps + 1);
            p.RecomputeParameterValue(s);
        } else if (op < 108) {
            const int32_t i = Pick(3) == 0 ? p.InsertPolygon(Pick(400), Pick(300))
                                           : p.InsertText(Pick(400), Pick(300));
            if (i >= 0 && Pick(2) == 0) p.polygons[i].red = Pick(256);
        } else if (op < 111) {
            if (Pick(2) == 0)
                p.DeletePolygon(Pick(p.polygonCount + 1));
            else
                p.DeleteText(Pick(p.textCount + 1));
        } else if (op < 114) {
            const int32_t c = p.InsertComment(Pick(800), Pick(600));
            if (c >= 0) SetText(p.comments[c].text, "note " + std::to_string(Pick(100)));
            if (Pick(3) == 0) p.DeleteComment(Pick(p.commentCount + 1));
        } else if (op < 117) {
            SetPatchName(p, "patch " + std::to_string(Pick(1000)));
            CopyPatch(p, Pick(kPatchCount), Pick(kPatchCount));
        } else {
            const int32_t s = Occupied(p);
            if (s != kNone) SetText(p.slots[s].name, "name " + std::to_string(Pick(1000)));
        }
    }
};

TEST(EditingProperty, RandomEditsKeepLinksRoutesAndListConsistent) {
    auto p = test::MakeProject();
    RandomEditor editor;
    for (int32_t step = 0; step < 6000; ++step) {
        editor.Edit(*p);
        ASSERT_FALSE(testing::Test::HasFatalFailure()) << "step " << step;
        ASSERT_EQ(test::ProjectFault(*p, true), "") << "step " << step;
    }
    // The walk must actually have built cables, or it proved nothing.
    EXPECT_GT(editor.connects, 300);
}

// Every edit a step; undone one by one, each earlier state saves to the very bytes it saved
// to then, and redone, each later one again.
TEST(EditingProperty, UndoAndRedoRestoreEveryStateByteForByte) {
    test::Fixture f;
    Project& p = *f.project;
    RandomEditor editor;
    editor.views = false;
    for (int32_t i = 0; i < 200; ++i) editor.Edit(p); // a start that is not empty
    EditHistory history;
    history.Reset(p);
    std::vector<std::vector<uint8_t>> states{f.Encoded()};
    while (states.size() < 300) {
        editor.Edit(p);
        ASSERT_FALSE(testing::Test::HasFatalFailure());
        // Typing and slider moves join the step before; mix them in.
        const bool merge = editor.Pick(6) == 0;
        const bool recorded =
            history.Commit(p, merge ? "Typing" : "", merge ? StepKind::Merge : StepKind::Named);
        // A joined step replaces the state it joined; two that cancel out leave none.
        while (states.size() > history.StepCount() + (recorded ? 0 : 1)) states.pop_back();
        if (recorded) states.push_back(f.Encoded());
        ASSERT_EQ(history.StepCount() + 1, states.size());
    }
    EXPECT_GT(editor.connects, 20);
    for (std::size_t at = states.size() - 1; at > 0; --at) {
        ASSERT_TRUE(history.Undo(p).applied);
        ASSERT_EQ(f.Encoded(), states[at - 1]) << "undoing to state " << at - 1;
        ASSERT_EQ(test::ProjectFault(p, true), "");
    }
    EXPECT_FALSE(history.CanUndo());
    EXPECT_FALSE(history.Modified());
    for (std::size_t at = 1; at < states.size(); ++at) {
        ASSERT_TRUE(history.Redo(p).applied);
        ASSERT_EQ(f.Encoded(), states[at]) << "redoing to state " << at;
    }
    EXPECT_TRUE(history.Modified());
    EXPECT_FALSE(history.CanRedo());
}

// Zoom changes between steps are not steps; whatever the zoom, undone modules land where
// today's zoom puts them, and back at the first zoom the first state saves again.
TEST(EditingProperty, UndoLaysRestoredObjectsOutForTodaysZoom) {
    test::Fixture f;
    Project& p = *f.project;
    RandomEditor editor;
    for (int32_t i = 0; i < 200; ++i) editor.Edit(p);
    p.Relayout();
    const int32_t startZoom = p.zoom;
    const std::vector<uint8_t> start = f.Encoded();
    EditHistory history;
    history.Reset(p);
    for (int32_t i = 0; i < 400; ++i) {
        editor.Edit(p);
        if (editor.Pick(3) == 0) history.Commit(p);
    }
    while (history.CanUndo() || history.Modified()) {
        ASSERT_TRUE(history.Undo(p).applied);
        for (const ModuleSlot& m : p.slots) {
            ASSERT_TRUE(m.type == kTypeEmpty || m.anchorX == (p.zoom + 1) * m.gx);
        }
    }
    p.zoom = startZoom;
    p.Relayout();
    EXPECT_EQ(f.Encoded(), start);
}

} // namespace
} // namespace tw
