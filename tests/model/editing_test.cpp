// Modules, cables, parameters and the panel's tables as the editors and loader change them.
#include "model/engine_control.h"
#include "model/project.h"
#include "model/text.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;
using test::Wire;

TEST(NewProject, HasNoModulesAndOnlyTheTerminatorInItsList) {
    auto p = MakeProject();
    EXPECT_EQ(p->activeCount, 0);
    EXPECT_EQ(p->activeTypes[0], kTerminatorType);
    EXPECT_EQ(p->activeSlots[0], kTerminatorSlot);
    EXPECT_EQ(p->CountModules(), 0);
    for (int32_t k = 0; k < kPortCount; ++k) ASSERT_EQ(p->routes[k], kNone);
    EXPECT_STREQ(p->patchNames[0], "Patch 0");
    EXPECT_STREQ(p->patchNames[127], "Patch 127");
    EXPECT_STREQ(p->pluginName, "Synth");
    EXPECT_STREQ(p->uniqueId, "DfLt");
    EXPECT_STREQ(p->skinImages[6].fileName, "LED_Red.bmp");
    EXPECT_STREQ(p->texts[255].text, " ");
}

TEST(ActiveList, ListsOccupiedSlotsInOrderWithTheTerminatorAfter) {
    auto p = MakeProject();
    for (int32_t i = 0; i < 5; ++i) AddModule(*p, kTypeAdd);
    p->DeleteModule(1);
    p->DeleteModule(3);
    ASSERT_EQ(p->activeCount, 3);
    EXPECT_EQ(p->activeSlots[0], 0);
    EXPECT_EQ(p->activeSlots[1], 2);
    EXPECT_EQ(p->activeSlots[2], 4);
    EXPECT_EQ(p->activeTypes[2], kTypeAdd);
    EXPECT_EQ(p->activeTypes[3], kTerminatorType);
    EXPECT_EQ(p->activeSlots[3], kTerminatorSlot);
    // A freed slot is reused first.
    EXPECT_EQ(AddModule(*p, kTypeSub), 1);
}

TEST(ActiveList, ALastSlotModuleIsListedBeforeTheTerminator) {
    auto p = MakeProject();
    p->slots[kSlotCount - 1].type = kTypeA440;
    p->RebuildActiveList();
    ASSERT_EQ(p->activeCount, 1);
    EXPECT_EQ(p->activeSlots[0], 1023);
    EXPECT_EQ(p->activeTypes[1], kTerminatorType);
    for (int32_t s = 0; s < kSlotCount - 1; ++s) p->slots[s].type = kTypeA440;
    p->RebuildActiveList();
    EXPECT_EQ(p->activeCount, kSlotCount);
    EXPECT_EQ(p->activeTypes[kSlotCount], kTerminatorType);
    EXPECT_EQ(p->activeSlots[kSlotCount], kTerminatorSlot);
}

TEST(Cables, ConnectSetsBothHalvesAndTheRoute) {
    auto p = MakeProject();
    const int32_t osc = AddModule(*p, kTypeOscillator, 100, 100);
    const int32_t out = AddModule(*p, kTypeOutput, 300, 100);
    const int32_t o = PortIndex(osc, 0), i = PortIndex(out, 1);
    ASSERT_TRUE(p->Connect(o, i));
    EXPECT_EQ(p->outputs[i].link, o);
    EXPECT_EQ(p->inputs[o].link, i);
    EXPECT_EQ(p->routes[i], o);
    // Deleting either end clears both halves.
    p->DeleteModule(osc);
    EXPECT_EQ(p->outputs[i].link, kNone);
    EXPECT_EQ(p->inputs[o].link, kNone);
    EXPECT_EQ(p->routes[i], kNone);
}

TEST(Cables, DeletingTheInputSideAlsoClearsTheSourceHalf) {
    auto p = MakeProject();
    const int32_t osc = AddModule(*p, kTypeOscillator);
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    const int32_t out = AddModule(*p, kTypeOutput);
    ASSERT_TRUE(Wire(*p, osc, 0, amp, 0));
    ASSERT_TRUE(Wire(*p, amp, 0, out, 1));
    p->DeleteModule(amp);
    EXPECT_EQ(p->inputs[PortIndex(osc, 0)].link, kNone);
    EXPECT_EQ(p->outputs[PortIndex(out, 1)].link, kNone);
    EXPECT_EQ(p->routes[PortIndex(out, 1)], kNone);
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        EXPECT_EQ(p->inputs[PortIndex(amp, k)].kind, kPortNone);
        EXPECT_EQ(p->outputs[PortIndex(amp, k)].x, kOffCanvas);
    }
    // The freed input of the Output module takes a new cable.
    EXPECT_TRUE(Wire(*p, osc, 0, out, 1));
}

TEST(Cables, RefusesOccupiedHiddenAbsentAndOutOfRangePorts) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeA440);
    const int32_t b = AddModule(*p, kTypeA440);
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    const int32_t meter = AddModule(*p, kTypeVoltMeter);
    const int32_t midi = AddModule(*p, kTypeMidi2CV);
    ASSERT_TRUE(Wire(*p, a, 0, amp, 0));
    EXPECT_FALSE(Wire(*p, b, 0, amp, 0)) << "occupied input";
    EXPECT_FALSE(Wire(*p, a, 0, amp, 1)) << "output already has a cable";
    EXPECT_FALSE(Wire(*p, b, 0, meter, 1)) << "hidden input";
    EXPECT_FALSE(Wire(*p, b, 0, midi, 0)) << "hidden input";
    EXPECT_FALSE(Wire(*p, b, 0, amp, 5)) << "no such input";
    EXPECT_FALSE(Wire(*p, b, 3, amp, 1)) << "no such output";
    EXPECT_FALSE(p->Connect(-1, PortIndex(amp, 1)));
    EXPECT_FALSE(p->Connect(PortIndex(b, 0), kPortCount));
    EXPECT_FALSE(p->Connect(PortIndex(b, 0), PortIndex(900, 0))) << "empty slot";
    EXPECT_EQ(p->routes[PortIndex(amp, 1)], kNone);
}

TEST(Cables, AModuleMayFeedItself) {
    auto p = MakeProject();
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    ASSERT_TRUE(Wire(*p, amp, 0, amp, 1));
    EXPECT_EQ(p->routes[PortIndex(amp, 1)], PortIndex(amp, 0));
    p->DeleteModule(amp);
    EXPECT_EQ(p->outputs[PortIndex(amp, 1)].link, kNone);
    EXPECT_EQ(p->inputs[PortIndex(amp, 0)].link, kNone);
}

TEST(Cables, DisconnectRemovesBothHalvesFromEitherEnd) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeA440);
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    ASSERT_TRUE(Wire(*p, a, 0, amp, 1));
    EXPECT_TRUE(p->DisconnectInput(PortIndex(amp, 1)));
    EXPECT_EQ(p->inputs[PortIndex(a, 0)].link, kNone);
    EXPECT_FALSE(p->DisconnectInput(PortIndex(amp, 1)));
    ASSERT_TRUE(Wire(*p, a, 0, amp, 1));
    EXPECT_TRUE(p->DisconnectOutput(PortIndex(a, 0)));
    EXPECT_EQ(p->outputs[PortIndex(amp, 1)].link, kNone);
    EXPECT_EQ(p->routes[PortIndex(amp, 1)], kNone);
    EXPECT_FALSE(p->DisconnectOutput(-5));
}

TEST(Cables, AParameterIsNamedAfterTheInputItFeedsOnlyFromItsOutputEnd) {
    auto p = MakeProject();
    const int32_t param = AddModule(*p, kTypeParameter);
    const int32_t filter = AddModule(*p, kTypeLowPass2Pole);
    EXPECT_EQ(std::string(p->slots[param].name), "Param " + std::to_string(param));
    ASSERT_TRUE(p->Connect(PortIndex(param, 0), PortIndex(filter, 2), false));
    EXPECT_EQ(std::string(p->slots[param].name), "Param " + std::to_string(param));
    p->DisconnectInput(PortIndex(filter, 2));
    ASSERT_TRUE(Wire(*p, param, 0, filter, 1));
    EXPECT_STREQ(p->slots[param].name, "Freq");
}

TEST(DeleteModule, EmptyOrOutOfRangeSlotChangesNothing) {
    auto p = MakeProject();
    const int32_t a = AddModule(*p, kTypeA440);
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    ASSERT_TRUE(Wire(*p, a, 0, amp, 0));
    // A stale link in an empty slot must not be followed by deletion.
    p->inputs[PortIndex(500, 0)].link = PortIndex(amp, 0);
    p->DeleteModule(500);
    p->DeleteModule(-1);
    p->DeleteModule(kSlotCount);
    EXPECT_EQ(p->outputs[PortIndex(amp, 0)].link, PortIndex(a, 0));
    EXPECT_EQ(p->activeCount, 2);
}

TEST(DeleteModule, IgnoresLinksThatPointOutsideTheTables) {
    auto p = MakeProject();
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    p->inputs[PortIndex(amp, 0)].link = 99999;
    p->outputs[PortIndex(amp, 1)].link = -7;
    p->DeleteModule(amp);
    EXPECT_EQ(p->slots[amp].type, kTypeEmpty);
    EXPECT_EQ(p->inputs[PortIndex(amp, 0)].link, kNone);
}

TEST(RebuildRoutes, NeverPublishesAnIndexOutsideThePortTable) {
    auto p = MakeProject();
    p->outputs[10].link = 70000;
    p->outputs[11].link = -3;
    p->outputs[12].link = 5;
    p->inputs[5].link = 12;
    p->RebuildRoutes();
    EXPECT_EQ(p->routes[10], kNone);
    EXPECT_EQ(p->routes[11], kNone);
    EXPECT_EQ(p->routes[12], 5);
}

TEST(InsertModule, ParameterGetsItsDefaultsAndAPanelPlaceNearTheCentre) {
    auto p = MakeProject();
    for (int32_t n = 0; n < 50; ++n) {
        const int32_t slot = p->InsertModule(kTypeParameter, 10, 10, 400, 300);
        const ModuleSlot& s = p->slots[slot];
        EXPECT_EQ(s.imageType, 0);
        EXPECT_EQ(s.mouseResponse, 0);
        EXPECT_EQ(s.steps, 100);
        EXPECT_GE(s.panelX, 200 - 100);
        EXPECT_LE(s.panelX, 200 - 1);
        EXPECT_GE(s.panelY, 150 - 100);
        EXPECT_LE(s.panelY, 150 - 1);
        EXPECT_EQ(p->currentSlot, slot);
    }
}

TEST(InsertModule, FullProjectRefusesAndUnknownTypesAreRefused) {
    auto p = MakeProject();
    for (int32_t s = 0; s < kSlotCount; ++s) ASSERT_EQ(AddModule(*p, kTypeA440), s);
    EXPECT_EQ(AddModule(*p, kTypeA440), kNone);
    EXPECT_EQ(p->CountModules(), kSlotCount);
    auto q = MakeProject();
    EXPECT_EQ(AddModule(*q, 0), kNone);
    EXPECT_EQ(AddModule(*q, 42), kNone);
    EXPECT_EQ(AddModule(*q, -3), kNone);
    EXPECT_EQ(q->activeCount, 0);
}

TEST(ParameterValues, StepsComeFromTheImageFramesAndValueFromThePatch) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeParameter);
    p->skinImages[0].frames = 11;
    p->slots[slot].patchValues[0] = 5;
    p->RecomputeParameterValues();
    EXPECT_EQ(p->slots[slot].steps, 10);
    EXPECT_FLOAT_EQ(p->slots[slot].value, 0.5f);
    // The reciprocal is rounded to float before the double product.
    p->skinImages[0].frames = 4;
    p->slots[slot].patchValues[0] = 1;
    p->RecomputeParameterValues();
    const float r = static_cast<float>(1.0 / 3.0);
    EXPECT_EQ(p->slots[slot].value, static_cast<float>(1.0 * static_cast<double>(r)));
    // A step beyond the last frame, or below the first, plays as that frame.
    for (const auto& [step, value] : {std::pair{35, 1.0f}, std::pair{-4, 0.0f}}) {
        p->slots[slot].patchValues[0] = step;
        p->RecomputeParameterValues();
        EXPECT_FLOAT_EQ(p->slots[slot].value, value) << step;
    }
    // Only Parameters are touched.
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    p->slots[amp].steps = 77;
    p->RecomputeParameterValues();
    EXPECT_EQ(p->slots[amp].steps, 77);
}

TEST(ParameterValues, SingleFrameImagesGiveZeroAndMissingImagesKeepSteps) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeParameter);
    p->slots[slot].patchValues[0] = 3;
    p->skinImages[0].frames = 1;
    p->RecomputeParameterValues();
    EXPECT_EQ(p->slots[slot].steps, 0);
    EXPECT_EQ(p->slots[slot].value, 0.0f);
    p->skinImages[0].frames = 0; // not loaded
    p->slots[slot].steps = 10;
    p->RecomputeParameterValues();
    EXPECT_EQ(p->slots[slot].steps, 10);
    EXPECT_FLOAT_EQ(p->slots[slot].value, 0.3f);
    p->slots[slot].imageType = 99; // damaged
    p->RecomputeParameterValues();
    EXPECT_EQ(p->slots[slot].steps, 10);
}

TEST(ParameterValues, AnotherImageZeroesTheCurrentPatchAndHoldsEveryPatchInItsSteps) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeParameter);
    ModuleSlot& s = p->slots[slot];
    p->skinImages[1].frames = 101;
    p->skinImages[0].frames = 11;
    s.imageType = 1;
    p->currentPatch = 2;
    // patch, stored step with 100 steps, step after choosing the 11-frame image
    const int32_t rows[][3] = {{2, 60, 0}, {4, 35, 10}, {7, 5, 5}, {9, -3, 0}};
    for (const auto& row : rows) s.patchValues[row[0]] = row[1];
    s.spareValues[2] = 9;
    s.stepDirection = -1;
    p->RecomputeParameterValues();

    EXPECT_TRUE(p->ChangeImageType(slot, 0));
    EXPECT_EQ(s.steps, 10);
    EXPECT_EQ(s.value, 0.0f);
    EXPECT_EQ(s.spareValues[2], 0);
    EXPECT_EQ(s.stepDirection, 1);
    for (const auto& row : rows) EXPECT_EQ(s.patchValues[row[0]], row[2]) << "patch " << row[0];
    p->currentPatch = 4;
    p->RecomputeParameterValues();
    EXPECT_EQ(s.value, 1.0f);

    // The image it already has, an image outside the list, a module that is no Parameter:
    // nothing changes.
    EXPECT_FALSE(p->ChangeImageType(slot, 0));
    EXPECT_FALSE(p->ChangeImageType(slot, kSkinImageCount));
    EXPECT_FALSE(p->ChangeImageType(AddModule(*p, kTypeAmplifier), 3));
    EXPECT_EQ(s.patchValues[4], 10);
}

TEST(PanelTables, InsertsStopAtCapacityAndDeletesCloseTheGap) {
    auto p = MakeProject();
    for (int32_t n = 0; n < kCommentCount; ++n) ASSERT_EQ(p->InsertComment(8 * n, 0), n);
    EXPECT_EQ(p->InsertComment(0, 0), kNone);
    for (int32_t n = 0; n < kPolygonCount; ++n) ASSERT_EQ(p->InsertPolygon(n, 0), n);
    EXPECT_EQ(p->InsertPolygon(0, 0), kNone);
    for (int32_t n = 0; n < kTextCount; ++n) ASSERT_EQ(p->InsertText(n, 0), n);
    EXPECT_EQ(p->InsertText(0, 0), kNone);

    SetText(p->comments[2].text, "third");
    ASSERT_TRUE(p->DeleteComment(1));
    EXPECT_EQ(p->commentCount, kCommentCount - 1);
    EXPECT_STREQ(p->comments[1].text, "third");
    EXPECT_FALSE(p->DeleteComment(kCommentCount - 1));
    ASSERT_TRUE(p->DeletePolygon(0));
    EXPECT_EQ(p->polygons[0].x1, 1);
    ASSERT_TRUE(p->DeleteText(kTextCount - 1));
    EXPECT_FALSE(p->DeleteText(-1));
}

TEST(PanelTables, NewElementsHaveTheirStartingShapes) {
    auto p = MakeProject();
    const int32_t g = p->InsertPolygon(30, 40);
    EXPECT_EQ(p->polygons[g].x2, 130);
    EXPECT_EQ(p->polygons[g].y2, 90);
    EXPECT_EQ(p->polygons[g].lineWidth, 3);
    EXPECT_EQ(p->polygons[g].cornerRadius, 16);
    EXPECT_EQ(p->polygons[g].alpha, 255);
    const int32_t t = p->InsertText(5, 6);
    EXPECT_STREQ(p->texts[t].text, "Text");
    const int32_t c = p->InsertComment(16, 24);
    EXPECT_STREQ(p->comments[c].text, "Click on this comment to change the text.");
}

struct CountingEngine final : EngineControl {
    std::string calls;
    Project* project = nullptr;
    void ResetDspState() override {
        // The engine's steps run after the comments and before the slots are emptied.
        calls += project->commentCount == 0 && project->activeCount == 0 ? "R" : "r";
        calls += project->slots[0].type != kTypeEmpty ? "+" : "-";
    }
    void ClearDelayLine() override { calls += "D"; }
};

TEST(FullReset, EmptiesEverythingAndRunsTheEngineStepInOrder) {
    auto p = MakeProject();
    AddModule(*p, kTypeA440);
    const int32_t amp = AddModule(*p, kTypeAmplifier);
    ASSERT_TRUE(Wire(*p, 0, 0, amp, 0));
    p->InsertComment(8, 8);
    p->InsertPolygon(1, 1);
    p->InsertText(1, 1);
    p->currentPatch = 9;
    SetText(p->patchNames[3], "Bass");
    p->snapToGrid = 0;
    p->lockEdit = 1;
    p->clipboardType = 6;
    p->keys[5].pressed = 1;
    p->slots[amp].cleanMark = 1;
    CountingEngine engine;
    engine.project = p.get();
    FullReset(*p, engine);
    EXPECT_EQ(engine.calls, "R+");
    EXPECT_EQ(p->activeCount, 0);
    EXPECT_EQ(p->slots[0].type, kTypeEmpty);
    EXPECT_EQ(p->routes[PortIndex(amp, 0)], kNone);
    EXPECT_EQ(p->outputs[PortIndex(amp, 0)].link, kNone);
    EXPECT_EQ(p->commentCount, 0);
    EXPECT_EQ(p->polygonCount, 0);
    EXPECT_EQ(p->textCount, 0);
    EXPECT_EQ(p->currentPatch, 0);
    EXPECT_STREQ(p->patchNames[3], "Patch 3");
    EXPECT_EQ(p->snapToGrid, 1);
    EXPECT_EQ(p->lockEdit, 0);
    EXPECT_EQ(p->clipboardType, kNone);
    EXPECT_EQ(p->keys[5].pressed, 0);
    EXPECT_EQ(p->slots[amp].cleanMark, 0);
    EXPECT_EQ(p->currentSlot, kNone);
}

TEST(Keyboard, KeysTileOctavesOf112PixelsWithBlackKeysOnTop) {
    auto p = MakeProject();
    EXPECT_EQ(p->baseNote, 24);
    EXPECT_EQ(p->keys[0].left, 20);
    EXPECT_EQ(p->keys[0].right, 36);
    EXPECT_EQ(p->keys[1].left, 29);
    EXPECT_EQ(p->keys[1].bottom, 21);
    EXPECT_EQ(p->keys[71].left, 20 + 112 * 5 + 96);
    EXPECT_EQ(p->keys[71].right, 20 + 112 * 6);
    EXPECT_EQ(p->keys[12].left, 20 + 112);
}

} // namespace
} // namespace tw
