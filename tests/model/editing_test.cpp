// Editing the record: the canvas geometry, modules, cables, parameter values, the canvas
// commands and cleaning.
#include "interaction/canvas_commands.h"
#include "model/project_fixture.h"
#include "model/statistics.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;
using test::Wire;
using V = std::vector<int32_t>;

TEST(Geometry, APatchbayShowsOneFreePortBelowItsLowestCable) {
    // Cabled inputs, cabled outputs -> height, and how many of the lowest inputs and
    // outputs are shown.
    const V rows[][3] = {{{}, {}, {4, 1, 1}},
                         {{}, {0}, {8, 1, 2}},
                         {{0, 3}, {}, {20, 5, 1}},
                         {{}, {15}, {64, 1, 16}}};
    for (const auto& [inputs, outputs, shown] : rows) {
        auto p = MakeProject();
        const int32_t bay = AddModule(*p, kTypePatchbay), other = AddModule(*p, kTypeAmplifier);
        // Linked as a loaded file links them, whatever ports are shown so far.
        const auto link = [&](int32_t i, int32_t o) {
            p->outputs[i].link = o, p->inputs[o].link = i;
        };
        for (const int32_t k : inputs) link(PortIndex(bay, k), PortIndex(other, k));
        for (const int32_t k : outputs) link(PortIndex(other, k), PortIndex(bay, k));
        p->RelayoutPatchbays();
        V got = {p->slots[bay].heightUnits, 0, 0};
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            got[1] += p->inputs[PortIndex(bay, k)].kind != kPortNone ? 1 << k : 0;
            got[2] += p->outputs[PortIndex(bay, k)].kind != kPortNone ? 1 << k : 0;
        }
        EXPECT_EQ(got, V({shown[0], (1 << shown[1]) - 1, (1 << shown[2]) - 1}));
    }
}

TEST(Modules, InsertTakesTheFirstFreeSlotUntilFullAndAResetEmptiesAllAroundTheEngineReset) {
    struct Engine final : EngineControl {
        Project* p = nullptr;
        V seen; // comments and modules when the engine resets
        void ResetDspState() override { seen = {p->commentCount, p->CountOccupied()}; }
        void ClearDelayLine() override {}
    } engine;
    auto p = MakeProject();
    engine.p = p.get();
    for (int32_t s = 0; s < kSlotCount; ++s) ASSERT_EQ(AddModule(*p, kTypeA440), s);
    for (int32_t n = 0; n < kPolygonCount; ++n) p->InsertComment(0, 0), p->InsertPolygon(0, 0);
    EXPECT_EQ(V({AddModule(*p, kTypeA440), p->InsertComment(0, 0), p->InsertPolygon(0, 0)}),
              V(3, kNone));
    EXPECT_EQ(test::ProjectFault(*p), ""); // the active list holds all 1024 and its end
    p->slots[7].selected = 1;
    EXPECT_EQ(DeleteSelectedModules(*p), 1);
    for (const int32_t type : {0, 42, -3}) EXPECT_EQ(AddModule(*p, type), kNone) << type;
    EXPECT_EQ(V({AddModule(*p, kTypeSub), p->slots[7].selected}), V({7, 0}));
    FullReset(*p, engine);
    EXPECT_EQ(engine.seen, V({0, kSlotCount}));
    EXPECT_EQ(V({p->CountOccupied(), p->polygonCount}), V({0, 0}));
    // A Parameter lands near the panel's centre with no value left from the slot's past.
    p->slots[0].patchValues[9] = 4; // a reset leaves the values in the slots
    const ModuleSlot& s = p->slots[p->InsertModule(kTypeParameter, 10, 10, 400, 300)];
    EXPECT_TRUE(s.panelX >= 100 && s.panelX < 200 && s.panelY >= 50 && s.panelY < 150);
    EXPECT_EQ(s.patchValues[9], 0);
    // Later ones take free spots: no control or label box meets another, each on the
    // 384 x 261 panel of a 400 x 300 window, labelled black on the light panel and white where the
    // background is dark.
    p->background = {std::make_shared<Bitmap>(Bitmap{400, 152, std::vector<uint32_t>(400 * 152)}),
                     400, 152};
    std::vector<V> boxes; // the control with room for its label below and beside it
    for (int i = 0; i < 12; ++i) {
        const ModuleSlot& n = p->slots[p->InsertModule(kTypeParameter, 10, 10, 400, 300)];
        const V box = {n.panelX - 16, n.panelY, n.panelX + 40 + 16, n.panelY + 40 + 16};
        for (const V& o : boxes)
            EXPECT_FALSE(box[0] < o[2] && o[0] < box[2] && box[1] < o[3] && o[1] < box[3]) << i;
        EXPECT_TRUE(box[0] >= 0 && box[1] >= 0 && box[2] <= 384 && box[3] <= 261) << i;
        // Mostly dark under the label: white.
        EXPECT_EQ(n.labelColour[0], n.panelY + 40 + 8 <= 152 ? 255 : 0) << i;
        boxes.push_back(box);
    }
}

TEST(Cables, ConnectTakesOnlyAFreeVisibleInputFromAFreeOutputAndNamesAParameter) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeA440), b = AddModule(*p, kTypeA440);
    const int32_t amp = AddModule(*p, kTypeAmplifier), meter = AddModule(*p, kTypeVoltMeter);
    const int32_t a0 = PortIndex(a, 0), b0 = PortIndex(b, 0), b3 = PortIndex(b, 3);
    const int32_t amp0 = PortIndex(amp, 0), amp1 = PortIndex(amp, 1), amp5 = PortIndex(amp, 5);
    const int32_t meter0 = PortIndex(meter, 0), meter1 = PortIndex(meter, 1);
    const int32_t midi0 = PortIndex(AddModule(*p, kTypeMidi2CV), 0), empty = PortIndex(900, 0);
    // Taken: free ends, a module feeding itself. Refused after them: an occupied input, an
    // output with a cable, hidden inputs, ports that do not exist or lie outside the
    // table, an empty slot.
    for (const V& c : {V{a0, amp0}, V{amp0, amp1}}) EXPECT_TRUE(p->Connect(c[0], c[1])) << c[0];
    const V refused[] = {{b0, amp0},   {a0, meter0}, {b0, meter1},     {b0, midi0}, {b0, amp5},
                         {b3, meter0}, {-1, meter0}, {b0, kPortCount}, {b0, empty}};
    for (const V& c : refused) EXPECT_FALSE(p->Connect(c[0], c[1])) << c[0] << " to " << c[1];
    EXPECT_EQ(p->routes[amp1], amp0);
    EXPECT_EQ(test::ProjectFault(*p), "");
    // A Parameter takes the name of the input it feeds, unless cabled from the input's end.
    const int32_t param = AddModule(*p, kTypeParameter), filter = AddModule(*p, kTypeLowPass2Pole);
    ASSERT_TRUE(p->Connect(PortIndex(param, 0), PortIndex(filter, 2), false));
    EXPECT_EQ(GetText(p->slots[param].name), "Param " + std::to_string(param));
    p->DisconnectInput(PortIndex(filter, 2));
    ASSERT_TRUE(Wire(*p, param, 0, filter, 1));
    EXPECT_EQ(GetText(p->slots[param].name), "Freq");
}

TEST(ParameterValues, StepsComeFromTheImageAndTheValueFromThePatchWhichAnotherImageKeepsInRange) {
    // Image, its frames, steps before, step in the patch -> steps, value.
    const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, float> rows[] = {
        {0, 11, 100, 5, 10, 0.5f},  {0, 4, 100, 1, 3, 1.0f / 3}, {0, 11, 100, 35, 10, 1.0f},
        {0, 11, 100, -4, 10, 0.0f}, {0, 1, 100, 3, 0, 0.0f},     {0, 0, 10, 3, 10, 0.3f},
        {99, 11, 10, 3, 10, 0.3f}};
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeParameter);
    ModuleSlot& s = p->slots[slot];
    for (const auto& [image, frames, storedSteps, step, steps, value] : rows) {
        p->skinImages[0].frames = frames;
        s.imageType = image;
        s.steps = storedSteps;
        s.patchValues[0] = step;
        p->RecomputeParameterValues();
        EXPECT_EQ(s.steps, steps) << frames << " frames, step " << step;
        EXPECT_FLOAT_EQ(s.value, value) << frames << " frames, step " << step;
    }
    // Choosing the 11-frame image instead of a 101-frame one keeps every patch's place on
    // the travel, the current one (2) included: 45 of 100 becomes round(4.5) of 10.
    p->skinImages[1].frames = 101;
    s.imageType = 1;
    s.stepDirection = -1;
    p->currentPatch = 2;
    for (const auto& [patch, step] : {std::pair{2, 45}, {4, 35}, {7, 5}, {9, -3}})
        s.patchValues[patch] = step;
    EXPECT_TRUE(p->ChangeImageType(slot, 0));
    EXPECT_EQ(V({s.steps, s.stepDirection, s.patchValues[2], s.patchValues[4], s.patchValues[7],
                 s.patchValues[9]}),
              V({10, 1, 5, 4, 1, 0}));
    EXPECT_FLOAT_EQ(s.value, 0.5f);
    // The image it has, one outside the list, a module that is no Parameter: no change.
    EXPECT_FALSE(p->ChangeImageType(slot, 0) || p->ChangeImageType(slot, kSkinImageCount) ||
                 p->ChangeImageType(AddModule(*p, kTypeAmplifier), 3));
    EXPECT_EQ(s.patchValues[4], 4);
}

TEST(CanvasCommands, DeleteAndCutTakeTheSelectionWithItsCablesAndPasteRefusesASecondOne) {
    for (const bool contextMenu : {true, false}) {
        auto p = MakeProject();
        HeadlessPlatform platform;
        CanvasSession s;
        EXPECT_FALSE(CopySelectionToClipboard(*p, platform)); // nothing selected
        EXPECT_EQ(PasteFromClipboard(*p, s, platform, CanvasPoint{10, 10}, 400, 300),
                  PasteOutcome::NothingToPaste);
        const int32_t a = AddModule(*p, kTypeA440), adsr = AddModule(*p, kTypeAdsr);
        const int32_t keep = AddModule(*p, kTypeOutput);
        ASSERT_TRUE(Wire(*p, a, 0, adsr, 0));
        ASSERT_TRUE(Wire(*p, adsr, 0, keep, 1));
        for (int32_t c = 0; c < 4; ++c) p->InsertComment(8, 8 * c);
        p->comments[1].selected = 1;
        p->comments[3].clicked = 1;
        SetText(p->comments[2].text, "survivor");
        p->slots[a].selected = 1;
        p->currentSlot = adsr;
        contextMenu ? CutSelectionFromContextMenu(*p, s, platform)
                    : CutSelectionFromEditMenu(*p, s, platform);
        EXPECT_EQ(V({p->CountOccupied(), p->commentCount}), V({1, 2}));
        EXPECT_EQ(GetText(p->comments[1].text), "survivor");
        EXPECT_EQ(test::ProjectFault(*p), "");
        // Paste brings back both modules, the cable between them and both comments.
        ASSERT_EQ(PasteFromClipboard(*p, s, platform, CanvasPoint{40, 40}, 400, 300),
                  PasteOutcome::Pasted);
        EXPECT_EQ(V({p->CountModulesOfType(kTypeA440), p->CountModulesOfType(kTypeAdsr),
                     p->commentCount}),
                  V({1, 1, 4}));
        EXPECT_EQ(test::ProjectFault(*p), "");
        p->ClearSelection();
        p->currentSlot = keep;
        ASSERT_TRUE(CopySelectionToClipboard(*p, platform));
        EXPECT_EQ(PasteFromClipboard(*p, s, platform, CanvasPoint{10, 10}, 400, 300),
                  PasteOutcome::NothingToPaste)
            << "a second Output";
        EXPECT_EQ(platform.MessageTexts().back(),
                  "Paste left out Audio Out: a project holds only one of each.");
    }
}

TEST(CleanProject, AsksToDeleteModulesWithoutCablesAndDeletesMarksOrLeavesThem) {
    // Answer -> outcome, modules left, modules left marked.
    const std::tuple<MessageAnswer, CleanOutcome, V> rows[] = {
        {MessageAnswer::Yes, CleanOutcome::Deleted, {2, 0}},
        {MessageAnswer::No, CleanOutcome::Marked, {4, 2}},
        {MessageAnswer::Cancel, CleanOutcome::Cancelled, {4, 0}}};
    for (const auto& [answer, outcome, left] : rows) {
        auto p = MakeProject();
        HeadlessPlatform platform;
        EXPECT_EQ(CleanProject(*p, platform), CleanOutcome::AlreadyClean);
        AddModule(*p, kTypeOutput); // without a cable even an Output is unused
        ASSERT_TRUE(Wire(*p, AddModule(*p, kTypeOscillator), 0, AddModule(*p, kTypeAmplifier), 0));
        AddModule(*p, kTypeFixedValues);
        platform.answers = {answer};
        EXPECT_EQ(CleanProject(*p, platform), outcome);
        EXPECT_EQ(platform.MessageTexts().back(), "Delete 2 Unused Objects");
        int32_t marked = 0;
        for (const ModuleSlot& s : p->slots) marked += s.cleanMark;
        EXPECT_EQ(V({p->moduleCount, marked}), left);
    }
}

} // namespace
} // namespace tw
