// The catalogue's shapes and the canvas geometry that follows from them.
#include "model/catalogue.h"
#include "model/project.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tw {
namespace {

using test::AddModule;
using test::MakeProject;
using test::Wire;

TEST(Catalogue, HasThirtyFiveAssignedTypesAndNoneInTheGap) {
    EXPECT_EQ(ModuleTypes().size(), 35u);
    for (int32_t t = 20; t <= 25; ++t) EXPECT_EQ(FindModuleType(t), nullptr) << t;
    EXPECT_EQ(FindModuleType(0), nullptr);
    EXPECT_EQ(FindModuleType(42), nullptr);
    EXPECT_EQ(FindModuleType(-1), nullptr);
    for (const ModuleTypeInfo& info : ModuleTypes()) EXPECT_EQ(FindModuleType(info.type), &info);
}

TEST(Catalogue, PortsAreUniqueInRangeAndOnTheFourUnitGrid) {
    for (const ModuleTypeInfo& info : ModuleTypes()) {
        for (auto ports : {info.inputs, info.outputs}) {
            std::set<int32_t> seen;
            for (const CataloguePort& port : ports) {
                EXPECT_TRUE(port.number >= 0 && port.number < kPortsPerSlot) << info.name;
                EXPECT_TRUE(seen.insert(port.number).second) << info.name << " " << port.number;
                EXPECT_EQ(port.yOffset % 2, 0) << info.name;
                EXPECT_NE(port.kind, kPortNone) << info.name;
                if (info.heightUnits > 0) {
                    EXPECT_LT(port.yOffset, info.heightUnits) << info.name;
                }
            }
        }
    }
}

TEST(Catalogue, InsertMenuOffersEveryTypeButTheTestModuleOnce) {
    std::set<int32_t> offered;
    ASSERT_EQ(InsertMenu().size(), 10u);
    for (const MenuCategory& category : InsertMenu()) {
        for (int32_t type : category.types) {
            const ModuleTypeInfo* info = FindModuleType(type);
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(std::string(info->menuCategory), category.name);
            EXPECT_TRUE(offered.insert(type).second);
        }
    }
    EXPECT_EQ(offered.size(), 34u);
    EXPECT_EQ(offered.count(kTypeTestModule), 0u);
    EXPECT_EQ(std::string(InsertMenu()[4].name), "Filter");
    EXPECT_EQ(std::string(FindModuleType(InsertMenu()[4].types[0])->menuEntry), "Allpass");
}

TEST(Catalogue, SingleInstanceTypesAreOutputDelayReverbAndPolyWave) {
    std::set<int32_t> single;
    for (const ModuleTypeInfo& info : ModuleTypes()) {
        if (info.onePerProject) single.insert(info.type);
    }
    EXPECT_EQ(single, (std::set<int32_t>{kTypeOutput, kTypeDelay, kTypeReverb, kTypePolyWave}));
    EXPECT_TRUE(FindModuleType(kTypePolyMidi)->alwaysDisabled);
}

TEST(PlaceModule, SnapsTowardZeroToFourLogicalUnits) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeAmplifier, 37, 53);
    EXPECT_EQ(p->slots[slot].anchorX, 20);
    EXPECT_EQ(p->slots[slot].topY, 40);
    const int32_t other = AddModule(*p, kTypeAmplifier, 103, 57);
    EXPECT_EQ(p->slots[other].anchorX, 100);
    EXPECT_EQ(p->slots[other].topY, 40);
    EXPECT_EQ(p->slots[other].gx, 20);
    EXPECT_EQ(p->slots[other].gy, 8);

    p->snapToGrid = 0;
    const int32_t free = AddModule(*p, kTypeAmplifier, 37, 53);
    // Without snap the position is kept up to the logical grid of (zoom + 1) pixels.
    EXPECT_EQ(p->slots[free].gx, 37 / 5);
    EXPECT_EQ(p->slots[free].anchorX, (37 / 5) * 5);
}

TEST(PlaceModule, WithSnapOffKeepsTheExactPointBeforeCapture) {
    auto p = MakeProject();
    p->snapToGrid = 0;
    p->slots[3].type = kTypeAmplifier;
    p->PlaceModule(3, 37, 53);
    EXPECT_EQ(p->slots[3].anchorX, 37);
    EXPECT_EQ(p->slots[3].topY, 53);
}

TEST(PlaceModule, UnassignedTypeGetsOnlyAPosition) {
    auto p = MakeProject();
    p->slots[9].type = 22;
    p->PlaceModule(9, 40, 60);
    EXPECT_EQ(p->slots[9].anchorX, 40);
    EXPECT_EQ(p->slots[9].heightUnits, 0);
    EXPECT_STREQ(p->slots[9].typeName, "");
    for (int32_t k = 0; k < kPortsPerSlot; ++k) {
        EXPECT_EQ(p->inputs[PortIndex(9, k)].kind, kPortNone);
        EXPECT_EQ(p->outputs[PortIndex(9, k)].kind, kPortNone);
    }
}

TEST(PlaceModule, TestModuleKeepsTheHelpPageItHad) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeTestModule);
    EXPECT_STREQ(p->slots[slot].helpPage, "about.htm");
    p->DeleteModule(slot);
    AddModule(*p, kTypeAdsr);
    p->DeleteModule(slot);
    AddModule(*p, kTypeTestModule);
    EXPECT_STREQ(p->slots[slot].helpPage, "adsr.htm");
}

TEST(Relayout, PlacesBoxesAndPortMarkersFromTheZoom) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeLowPass2Pole, 200, 100);
    const ModuleSlot& s = p->slots[slot];
    for (int32_t z : {1, 4, 10}) {
        p->CapturePositions();
        const int32_t gx = s.gx, gy = s.gy;
        p->zoom = z;
        p->Relayout();
        EXPECT_EQ(s.halfWidthPx, 9 * z);
        EXPECT_EQ(s.heightPx, 16 * z);
        EXPECT_EQ(s.anchorX, gx * (z + 1));
        EXPECT_EQ(s.topY, gy * (z + 1));
        EXPECT_EQ(p->portSize, 2 * z);
        const PortRecord& res = p->inputs[PortIndex(slot, 2)];
        EXPECT_EQ(res.x, s.anchorX - 9 * z + 4);
        EXPECT_EQ(res.y, s.topY + 10 * z);
        const PortRecord& out = p->outputs[PortIndex(slot, 0)];
        EXPECT_EQ(out.x, s.anchorX + 9 * z - 4 - 2 * z);
        EXPECT_EQ(out.y, s.topY + 14 * z);
        // Unused positions stay off the canvas.
        EXPECT_EQ(p->inputs[PortIndex(slot, 3)].x, kOffCanvas);
        EXPECT_EQ(p->outputs[PortIndex(slot, 1)].y, kOffCanvas);
        EXPECT_EQ(p->commentBoxWidth, 36 * z);
        EXPECT_EQ(p->commentBoxHeight, 10 * z);
    }
}

TEST(Relayout, ZoomRoundTripKeepsLogicalPositions) {
    auto p = MakeProject();
    const int32_t slot = AddModule(*p, kTypeSplit, 123, 77);
    const int32_t comment = p->InsertComment(48, 96);
    const int32_t gx = p->slots[slot].gx, gy = p->slots[slot].gy;
    const int32_t cgx = p->comments[comment].gx;
    for (int32_t z : {1, 7, 10, 4}) {
        p->zoom = z;
        p->Relayout();
        p->CapturePositions();
    }
    EXPECT_EQ(p->slots[slot].gx, gx);
    EXPECT_EQ(p->slots[slot].gy, gy);
    EXPECT_EQ(p->comments[comment].gx, cgx);
    EXPECT_EQ(p->comments[comment].x, cgx * 5);
}

TEST(Patchbay, UnconnectedShowsOnePortEachSideAndHeightFour) {
    auto p = MakeProject();
    const int32_t bay = AddModule(*p, kTypePatchbay);
    EXPECT_EQ(p->slots[bay].heightUnits, 4);
    EXPECT_EQ(p->inputs[PortIndex(bay, 0)].kind, kPortSignal);
    EXPECT_EQ(p->outputs[PortIndex(bay, 0)].kind, kPortSignal);
    EXPECT_EQ(p->inputs[PortIndex(bay, 1)].kind, kPortNone);
    EXPECT_EQ(p->outputs[PortIndex(bay, 1)].kind, kPortNone);
}

TEST(Patchbay, GrowsOneFreePortBelowTheLowestCabledOne) {
    auto p = MakeProject();
    const int32_t bay = AddModule(*p, kTypePatchbay);
    const int32_t amp = AddModule(*p, kTypeAmplifier, 300, 100);
    ASSERT_TRUE(Wire(*p, bay, 0, amp, 0));
    EXPECT_EQ(p->slots[bay].heightUnits, 8);
    EXPECT_EQ(p->outputs[PortIndex(bay, 1)].kind, kPortSignal);
    EXPECT_EQ(p->outputs[PortIndex(bay, 1)].yOffset, 6);

    // Inputs 0 and 3 cabled: inputs 0..4 shown, height 20.
    const int32_t a = AddModule(*p, kTypeA440, 20, 20);
    const int32_t b = AddModule(*p, kTypeA440, 20, 200);
    ASSERT_TRUE(p->DisconnectOutput(PortIndex(bay, 0)));
    ASSERT_TRUE(Wire(*p, a, 0, bay, 0));
    // Input 3 appears only once input 2 does; cable it directly through the link halves
    // the way a loaded file would, then re-lay-out.
    p->outputs[PortIndex(bay, 3)].link = PortIndex(b, 0);
    p->inputs[PortIndex(b, 0)].link = PortIndex(bay, 3);
    p->RelayoutPatchbays();
    EXPECT_EQ(p->slots[bay].heightUnits, 20);
    for (int32_t k = 0; k <= 4; ++k) EXPECT_EQ(p->inputs[PortIndex(bay, k)].kind, kPortSignal) << k;
    EXPECT_EQ(p->inputs[PortIndex(bay, 5)].kind, kPortNone);
    EXPECT_EQ(p->outputs[PortIndex(bay, 1)].yOffset, kOffCanvas);
}

TEST(Patchbay, CableOnOutputFifteenShowsAllOutputsAtFullHeight) {
    auto p = MakeProject();
    const int32_t bay = AddModule(*p, kTypePatchbay);
    const int32_t amp = AddModule(*p, kTypeAmplifier, 300, 100);
    p->inputs[PortIndex(bay, 15)].link = PortIndex(amp, 0);
    p->outputs[PortIndex(amp, 0)].link = PortIndex(bay, 15);
    p->RelayoutPatchbays();
    EXPECT_EQ(p->slots[bay].heightUnits, 64);
    for (int32_t k = 0; k < 16; ++k)
        EXPECT_EQ(p->outputs[PortIndex(bay, k)].kind, kPortSignal) << k;
}

} // namespace
} // namespace tw
