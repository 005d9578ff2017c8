// Editing the record: the catalogue and the canvas geometry that follows from it, modules,
// cables, parameter values, the panel's tables, the canvas commands, statistics and
// cleaning.
#include "model/canvas_commands.h"
#include "model/catalogue.h"
#include "model/engine_control.h"
#include "model/project_invariants.h"
#include "model/statistics.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <set>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;
using test::Wire;

TEST(Catalogue, EveryTypeIsFoundWithDistinctPortsAndOfferedOnceInItsMenu) {
    for (const int32_t type : {-1, 0, 20, 25, 42}) EXPECT_EQ(FindModuleType(type), nullptr);
    std::set<int32_t> offered;
    for (const MenuCategory& category : InsertMenu()) {
        for (const int32_t type : category.types) {
            ASSERT_NE(FindModuleType(type), nullptr) << type;
            EXPECT_STREQ(FindModuleType(type)->menuCategory, category.name);
            EXPECT_TRUE(offered.insert(type).second) << type;
        }
    }
    for (const ModuleTypeInfo& info : ModuleTypes()) {
        EXPECT_EQ(FindModuleType(info.type), &info);
        EXPECT_EQ(offered.count(info.type), info.type == kTypeTestModule ? 0u : 1u) << info.name;
        for (const auto& ports : {info.inputs, info.outputs}) {
            std::set<int32_t> seen;
            for (const CataloguePort& port : ports) {
                EXPECT_TRUE(port.number >= 0 && port.number < kPortsPerSlot && port.kind != 0 &&
                            seen.insert(port.number).second &&
                            (info.heightUnits == 0 || port.yOffset < info.heightUnits))
                    << info.name << " port " << port.number;
            }
        }
    }
}

TEST(Geometry, PlacesSnapTowardZeroAndZoomingKeepsLogicalPositions) {
    auto p = MakeProject();
    const int32_t rows[][4] = {{37, 53, 20, 40}, {103, 57, 100, 40}, {-7, -3, 0, 0}};
    for (const auto& [x, y, snappedX, snappedY] : rows) {
        const ModuleSlot& s = p->slots[AddModule(*p, kTypeAmplifier, x, y)];
        EXPECT_EQ(s.anchorX, snappedX) << x;
        EXPECT_EQ(s.topY, snappedY) << y;
    }
    p->snapToGrid = 0;
    const int32_t free = AddModule(*p, kTypeSplit, 137, 77); // kept on the logical grid of 5
    const int32_t comment = p->InsertComment(48, 96);
    p->CapturePositions();
    for (const int32_t z : {1, 7, 10, 4}) {
        p->zoom = z;
        p->Relayout();
        p->CapturePositions();
    }
    EXPECT_EQ(p->slots[free].anchorX, 135);
    EXPECT_EQ(p->slots[free].topY, 75);
    EXPECT_EQ(p->comments[comment].x, 45);
}

TEST(Geometry, APatchbayShowsOneFreePortBelowItsLowestCable) {
    // Cabled ports of a Patchbay (input or output, number) -> height and the ports shown.
    const struct {
        std::vector<std::pair<bool, int32_t>> cabled;
        int32_t height, inputs, outputs;
    } rows[] = {
        {{}, 4, 1, 1},
        {{{false, 0}}, 8, 1, 2},
        {{{true, 0}, {true, 3}}, 20, 5, 1},
        {{{false, 15}}, 64, 1, 16},
    };
    for (const auto& row : rows) {
        auto p = MakeProject();
        const int32_t bay = AddModule(*p, kTypePatchbay);
        const int32_t other = AddModule(*p, kTypeAmplifier, 300, 100);
        // Linked as a loaded file links them, whatever ports are shown so far.
        for (const auto& [input, k] : row.cabled) {
            const int32_t port = PortIndex(bay, k), far = PortIndex(other, k);
            (input ? p->Out[port] : p->In[port]).link = far;
            (input ? p->In[far] : p->Out[far]).link = port;
        }
        p->RelayoutPatchbays();
        SCOPED_TRACE(row.height);
        EXPECT_EQ(p->slots[bay].heightUnits, row.height);
        for (int32_t k = 0; k < kPortsPerSlot; ++k) {
            EXPECT_EQ(p->In[PortIndex(bay, k)].kind != kPortNone, k < row.inputs) << k;
            EXPECT_EQ(p->Out[PortIndex(bay, k)].kind != kPortNone, k < row.outputs) << k;
        }
    }
}

TEST(Modules, InsertTakesTheFirstFreeSlotAndRefusesUnknownTypesAndAFullProject) {
    auto p = MakeProject();
    for (int32_t s = 0; s < kSlotCount; ++s) ASSERT_EQ(AddModule(*p, kTypeA440), s);
    EXPECT_EQ(AddModule(*p, kTypeA440), kNone);
    EXPECT_EQ(test::ProjectFault(*p), ""); // the active list holds all 1024 and its end
    p->DeleteModule(7);
    for (const int32_t type : {0, 42, -3}) EXPECT_EQ(AddModule(*p, type), kNone) << type;
    EXPECT_EQ(AddModule(*p, kTypeSub), 7);
}

TEST(Modules, AParameterStartsAtZeroInEveryPatchNearThePanelsCentre) {
    auto p = MakeProject();
    for (int32_t n = 0; n < 50; ++n) {
        const int32_t slot = p->InsertModule(kTypeParameter, 10, 10, 400, 300);
        const ModuleSlot& s = p->slots[slot];
        EXPECT_TRUE(s.panelX >= 100 && s.panelX < 200 && s.panelY >= 50 && s.panelY < 150)
            << s.panelX << ", " << s.panelY;
        EXPECT_EQ(s.patchValues[9], 0) << "left from the slot's last Parameter";
        p->slots[slot].patchValues[9] = 4;
        p->DeleteModule(slot);
    }
}

TEST(Cables, ConnectTakesOnlyAFreeVisibleInputFromAFreeOutput) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeA440), b = AddModule(*p, kTypeA440);
    const int32_t amp = AddModule(*p, kTypeAmplifier), meter = AddModule(*p, kTypeVoltMeter);
    const int32_t midi = AddModule(*p, kTypeMidi2CV);
    const struct {
        const char* what;
        int32_t out, in;
        bool taken;
    } rows[] = {
        {"free ends", PortIndex(a, 0), PortIndex(amp, 0), true},
        {"occupied input", PortIndex(b, 0), PortIndex(amp, 0), false},
        {"output with a cable", PortIndex(a, 0), PortIndex(amp, 1), false},
        {"a module feeding itself", PortIndex(amp, 0), PortIndex(amp, 1), true},
        {"hidden input", PortIndex(b, 0), PortIndex(meter, 1), false},
        {"hidden input", PortIndex(b, 0), PortIndex(midi, 0), false},
        {"no such input", PortIndex(b, 0), PortIndex(amp, 5), false},
        {"no such output", PortIndex(b, 3), PortIndex(meter, 0), false},
        {"outside the table", -1, PortIndex(meter, 0), false},
        {"outside the table", PortIndex(b, 0), kPortCount, false},
        {"empty slot", PortIndex(b, 0), PortIndex(900, 0), false},
    };
    for (const auto& row : rows) EXPECT_EQ(p->Connect(row.out, row.in), row.taken) << row.what;
    EXPECT_EQ(p->routes[PortIndex(amp, 0)], PortIndex(a, 0));
    EXPECT_EQ(p->routes[PortIndex(amp, 1)], PortIndex(amp, 0));
    EXPECT_EQ(test::ProjectFault(*p), "");
}

TEST(Cables, DisconnectingOrDeletingEitherEndClearsBothHalves) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeA440), amp = AddModule(*p, kTypeAmplifier);
    const int32_t out = AddModule(*p, kTypeOutput);
    ASSERT_TRUE(Wire(*p, a, 0, amp, 1));
    EXPECT_TRUE(p->DisconnectInput(PortIndex(amp, 1)));
    EXPECT_FALSE(p->DisconnectInput(PortIndex(amp, 1)));
    ASSERT_TRUE(Wire(*p, a, 0, amp, 1));
    EXPECT_TRUE(p->DisconnectOutput(PortIndex(a, 0)));
    EXPECT_FALSE(p->DisconnectOutput(-5));
    EXPECT_EQ(test::ProjectFault(*p), "");
    ASSERT_TRUE(Wire(*p, a, 0, amp, 0));
    ASSERT_TRUE(Wire(*p, amp, 0, out, 1));
    p->DeleteModule(amp);
    EXPECT_EQ(test::ProjectFault(*p), "");
    EXPECT_EQ(p->In[PortIndex(a, 0)].link, kNone);
    EXPECT_TRUE(Wire(*p, a, 0, out, 1));
}

TEST(Cables, AParameterIsNamedAfterTheInputItFeedsWhenCabledFromItsOutput) {
    auto p = MakeProject();
    const int32_t param = AddModule(*p, kTypeParameter);
    const int32_t filter = AddModule(*p, kTypeLowPass2Pole);
    ASSERT_TRUE(p->Connect(PortIndex(param, 0), PortIndex(filter, 2), false));
    EXPECT_EQ(GetText(p->slots[param].name), "Param " + std::to_string(param));
    p->DisconnectInput(PortIndex(filter, 2));
    ASSERT_TRUE(Wire(*p, param, 0, filter, 1));
    EXPECT_EQ(GetText(p->slots[param].name), "Freq");
}

TEST(Cables, DamagedLinksAreNeverFollowedOrPublished) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeA440), amp = AddModule(*p, kTypeAmplifier);
    ASSERT_TRUE(Wire(*p, a, 0, amp, 0));
    p->In[PortIndex(500, 0)].link = PortIndex(amp, 0); // a stale link in an empty slot
    for (const int32_t slot : {500, -1, kSlotCount}) p->DeleteModule(slot);
    EXPECT_EQ(p->Out[PortIndex(amp, 0)].link, PortIndex(a, 0));
    p->In[PortIndex(amp, 1)].link = 99999;
    p->Out[PortIndex(amp, 1)].link = -7;
    p->Out[PortIndex(a, 1)].link = 70000;
    p->RebuildRoutes();
    EXPECT_EQ(p->routes[PortIndex(a, 1)], kNone);
    p->DeleteModule(amp);
    EXPECT_EQ(p->In[PortIndex(a, 0)].link, kNone);
}

TEST(ParameterValues, StepsComeFromTheImageFramesAndTheValueFromTheCurrentPatch) {
    const struct {
        int32_t image, frames, storedSteps, step, steps;
        float value;
    } rows[] = {
        {0, 11, 100, 5, 10, 0.5f},  {0, 4, 100, 1, 3, 1.0f / 3}, {0, 11, 100, 35, 10, 1.0f},
        {0, 11, 100, -4, 10, 0.0f}, {0, 1, 100, 3, 0, 0.0f},     {0, 0, 10, 3, 10, 0.3f},
        {99, 11, 10, 3, 10, 0.3f},
    };
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeParameter);
    ModuleSlot& s = p->slots[slot];
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.frames << " frames, step " << row.step);
        p->skinImages[0].frames = row.frames;
        s.imageType = row.image;
        s.steps = row.storedSteps;
        s.patchValues[0] = row.step;
        p->RecomputeParameterValues();
        EXPECT_EQ(s.steps, row.steps);
        EXPECT_FLOAT_EQ(s.value, row.value);
    }
}

TEST(ParameterValues, AnotherImageZeroesTheCurrentPatchAndHoldsEveryPatchInItsSteps) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeParameter);
    ModuleSlot& s = p->slots[slot];
    p->skinImages[1].frames = 101;
    p->skinImages[0].frames = 11;
    s.imageType = 1;
    p->currentPatch = 2;
    // patch, step with 100 steps, step after choosing the 11-frame image
    const int32_t rows[][3] = {{2, 60, 0}, {4, 35, 10}, {7, 5, 5}, {9, -3, 0}};
    for (const auto& row : rows) s.patchValues[row[0]] = row[1];
    s.stepDirection = -1;
    EXPECT_TRUE(p->ChangeImageType(slot, 0));
    EXPECT_EQ(s.steps, 10);
    EXPECT_EQ(s.stepDirection, 1);
    for (const auto& row : rows) EXPECT_EQ(s.patchValues[row[0]], row[2]) << "patch " << row[0];
    // The image it has, one outside the list, a module that is no Parameter: no change.
    EXPECT_FALSE(p->ChangeImageType(slot, 0));
    EXPECT_FALSE(p->ChangeImageType(slot, kSkinImageCount));
    EXPECT_FALSE(p->ChangeImageType(AddModule(*p, kTypeAmplifier), 3));
    EXPECT_EQ(s.patchValues[4], 10);
}

TEST(PanelTables, InsertsStopAtCapacityAndDeletesCloseTheGap) {
    auto p = MakeProject();
    for (int32_t n = 0; n < kCommentCount; ++n) ASSERT_EQ(p->InsertComment(8 * n, 0), n);
    for (int32_t n = 0; n < kPolygonCount; ++n) ASSERT_EQ(p->InsertPolygon(n, 0), n);
    for (int32_t n = 0; n < kTextCount; ++n) ASSERT_EQ(p->InsertText(n, 0), n);
    EXPECT_EQ(p->InsertComment(0, 0) & p->InsertPolygon(0, 0) & p->InsertText(0, 0), kNone);
    SetText(p->comments[2].text, "third");
    ASSERT_TRUE(p->DeleteComment(1));
    EXPECT_EQ(GetText(p->comments[1].text), "third");
    EXPECT_FALSE(p->DeleteComment(kCommentCount - 1));
    ASSERT_TRUE(p->DeletePolygon(0));
    EXPECT_EQ(p->polygons[0].x1, 1);
    EXPECT_TRUE(p->DeleteText(kTextCount - 1));
    EXPECT_FALSE(p->DeleteText(-1));
}

TEST(FullReset, EmptiesEverythingWithTheEngineResetBetweenCommentsAndSlots) {
    struct Engine final : EngineControl {
        std::string seen;
        Project* p = nullptr;
        void ResetDspState() override {
            seen = std::to_string(p->commentCount) + " comments, " +
                   std::to_string(p->CountOccupied()) + " modules";
        }
        void ClearDelayLine() override {}
    } engine;
    auto p = MakeProject();
    engine.p = p.get();
    ASSERT_TRUE(Wire(*p, AddModule(*p, kTypeA440), 0, AddModule(*p, kTypeAmplifier), 0));
    p->InsertComment(8, 8);
    p->InsertPolygon(1, 1);
    p->currentPatch = 9;
    SetText(p->patchNames[3], "Bass");
    p->clipboardType = 6;
    p->slots[1].cleanMark = 1;
    FullReset(*p, engine);
    EXPECT_EQ(engine.seen, "0 comments, 2 modules");
    EXPECT_EQ(test::ProjectFault(*p), "");
    EXPECT_EQ(p->CountOccupied() + p->polygonCount + p->currentPatch + p->slots[1].cleanMark, 0);
    EXPECT_EQ(GetText(p->patchNames[3]), "Patch 3");
    EXPECT_EQ(p->clipboardType, kNone);
}

TEST(CanvasCommands, ABandTakesModulesByTheirAnchorAndCommentsByTheirWholeBox) {
    auto p = MakeProject();
    const int32_t inside = AddModule(*p, kTypeAdd, 100, 100);
    const int32_t outside = AddModule(*p, kTypeAdd, 300, 100);
    const int32_t comment = p->InsertComment(120, 120); // box 144 x 40
    const int32_t cut = p->InsertComment(180, 120);
    p->bandLeft = 50;
    p->bandTop = 50;
    p->bandRight = 290;
    p->bandBottom = 200;
    EvaluateBandSelection(*p);
    EXPECT_EQ(p->slots[inside].selected + 2 * p->slots[outside].selected, 1);
    EXPECT_EQ(p->comments[comment].selected + 2 * p->comments[cut].selected, 1);
    p->bandLeft = 100; // an edge on the anchor is not inside
    EvaluateBandSelection(*p);
    EXPECT_EQ(p->slots[inside].selected, 0);
}

TEST(CanvasCommands, DeleteRemovesSelectedModulesWithTheirCablesAndFlaggedComments) {
    auto p = MakeProject();
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
    DeleteSelectionFromContextMenu(*p);
    EXPECT_EQ(p->CountOccupied(), 1);
    EXPECT_EQ(p->slots[keep].type, kTypeOutput);
    EXPECT_EQ(test::ProjectFault(*p), "");
    EXPECT_EQ(p->commentCount, 2);
    EXPECT_EQ(GetText(p->comments[1].text), "survivor");
    EXPECT_EQ(p->clipboardType, kNone); // "Delete" leaves the clipboard alone
}

TEST(CanvasCommands, CutCopiesBeforeDeletingAndPasteRefusesASecondSingleInstance) {
    for (const bool contextMenu : {true, false}) {
        auto p = MakeProject();
        const int32_t adsr = AddModule(*p, kTypeAdsr, 200, 100);
        p->currentSlot = adsr;
        contextMenu ? CutSelectionFromContextMenu(*p, adsr) : CutSelectionFromEditMenu(*p);
        EXPECT_EQ(p->CountOccupied(), 0);
        EXPECT_EQ(p->slots[PasteModule(*p, 40, 40, 400, 300)].type, kTypeAdsr) << contextMenu;
    }
    auto p = MakeProject();
    CopyModule(*p, 700); // an empty slot: nothing to paste
    EXPECT_EQ(PasteModule(*p, 10, 10, 400, 300), kNone);
    for (const int32_t type : {kTypeOutput, kTypeDelay, kTypeReverb, kTypePolyWave}) {
        CopyModule(*p, AddModule(*p, type));
        EXPECT_EQ(PasteModule(*p, 10, 10, 400, 300), kNone) << type;
    }
    CopyModule(*p, AddModule(*p, kTypeAmplifier));
    EXPECT_EQ(p->slots[PasteModule(*p, 10, 10, 400, 300)].type, kTypeAmplifier);
}

TEST(Statistics, CountModulesCablesParametersAndPanelElements) {
    auto p = MakeProject();
    const int32_t osc = AddModule(*p, kTypeOscillator), par = AddModule(*p, kTypeParameter);
    AddModule(*p, kTypeParameter);
    ASSERT_TRUE(Wire(*p, osc, 0, AddModule(*p, kTypeOutput), 1));
    ASSERT_TRUE(Wire(*p, par, 0, osc, 1));
    p->InsertPolygon(0, 0);
    p->InsertText(0, 0);
    p->InsertText(0, 0);
    EXPECT_EQ(
        StatisticsText(CountProject(*p)),
        "DSP\nMaximum Objects\t\t1024\nObjects Used\t\t4\nObjects Available\t\t1020\n"
        "Routes Visited\t\t2\n\nGUI\nNum Parameters\t\t2\nNum Polygons\t\t1\nNum Labels\t\t2");
}

TEST(CleanProject, AsksToDeleteModulesWithoutCablesAndDeletesMarksOrLeavesThem) {
    // Answer -> outcome, modules left, modules left marked.
    const struct {
        MessageAnswer answer;
        CleanOutcome outcome;
        int32_t left, marked;
    } rows[] = {{MessageAnswer::Yes, CleanOutcome::Deleted, 2, 0},
                {MessageAnswer::No, CleanOutcome::Marked, 4, 2},
                {MessageAnswer::Cancel, CleanOutcome::Cancelled, 4, 0}};
    for (const auto& row : rows) {
        auto p = MakeProject();
        HeadlessPlatform platform;
        EXPECT_EQ(CleanProject(*p, platform), CleanOutcome::AlreadyClean);
        AddModule(*p, kTypeOutput); // without a cable even an Output is unused
        ASSERT_TRUE(Wire(*p, AddModule(*p, kTypeOscillator), 0, AddModule(*p, kTypeAmplifier), 0));
        AddModule(*p, kTypeFixedValues);
        platform.answers = {row.answer};
        EXPECT_EQ(CleanProject(*p, platform), row.outcome);
        EXPECT_EQ(platform.MessageTexts().back(), "Delete 2 Unused Objects");
        int32_t marked = 0;
        for (const ModuleSlot& s : p->slots) marked += s.cleanMark;
        EXPECT_EQ(p->moduleCount, row.left);
        EXPECT_EQ(marked, row.marked);
    }
}

TEST(DeleteSelected, DeletesTheSelectedModulesOnly) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeOscillator), b = AddModule(*p, kTypeAmplifier);
    ASSERT_TRUE(Wire(*p, a, 0, b, 0));
    p->slots[b].selected = 1;
    p->slots[900].selected = 1; // an empty slot marked by accident counts for nothing
    EXPECT_EQ(DeleteSelectedModules(*p), 1);
    EXPECT_EQ(p->moduleCount, 1);
    EXPECT_EQ(test::ProjectFault(*p), "");
}

} // namespace
} // namespace tw
