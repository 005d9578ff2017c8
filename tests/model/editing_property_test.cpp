// Thousands of random edits from a fixed seed; after each one the record's invariants
// must hold. This is what keeps cable bookkeeping honest when edits interleave.
#include "model/catalogue.h"
#include "model/project.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tw {
namespace {

std::string CheckInvariants(const Project& p) {
    // Both link halves agree, and each port carries at most one cable by construction of
    // the crossed fields; check that no two inputs claim the same output.
    std::vector<int32_t> feeds(kPortCount, 0);
    for (int32_t i = 0; i < kPortCount; ++i) {
        const int32_t o = p.outputs[i].link;
        if (o == kNone) continue;
        if (!IsPort(o)) return "input " + std::to_string(i) + " has a bad source";
        if (p.inputs[o].link != i) return "input " + std::to_string(i) + " half not mirrored";
        if (++feeds[static_cast<std::size_t>(o)] > 1) return "output feeds two inputs";
        if (p.slots[SlotOfPort(i)].type == kTypeEmpty) return "cable into an empty slot";
        if (p.slots[SlotOfPort(o)].type == kTypeEmpty) return "cable from an empty slot";
        if (p.inputs[i].kind == kPortHidden) return "cable on a hidden input";
    }
    for (int32_t o = 0; o < kPortCount; ++o) {
        const int32_t i = p.inputs[o].link;
        if (i == kNone) continue;
        if (!IsPort(i) || p.outputs[i].link != o)
            return "output " + std::to_string(o) + " unmirrored";
    }
    for (int32_t k = 0; k < kPortCount; ++k) {
        if (p.routes[k] != p.outputs[k].link) return "route " + std::to_string(k) + " stale";
    }
    int32_t n = 0;
    for (int32_t s = 0; s < kSlotCount; ++s) {
        const ModuleSlot& slot = p.slots[s];
        if (slot.type == kTypeEmpty) {
            for (int32_t k = PortIndex(s, 0); k < PortIndex(s + 1, 0); ++k) {
                if (p.inputs[k].kind != kPortNone || p.outputs[k].kind != kPortNone)
                    return "empty slot " + std::to_string(s) + " has ports";
                if (p.inputs[k].link != kNone || p.outputs[k].link != kNone)
                    return "empty slot " + std::to_string(s) + " has links";
            }
            continue;
        }
        if (n >= p.activeCount || p.activeSlots[n] != s || p.activeTypes[n] != slot.type)
            return "active list entry " + std::to_string(n) + " wrong";
        ++n;
    }
    if (n != p.activeCount) return "active count wrong";
    if (p.activeTypes[n] != kTerminatorType || p.activeSlots[n] != kTerminatorSlot)
        return "terminator missing";
    return "";
}

TEST(EditingProperty, RandomEditsKeepLinksRoutesAndListConsistent) {
    auto p = test::MakeProject();
    std::mt19937 rng(20261206u);
    std::vector<int32_t> types;
    for (const ModuleTypeInfo& info : ModuleTypes()) types.push_back(info.type);
    auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
    // Work within a window of slots so that cables find occupied ends often.
    constexpr int32_t kWindow = 40;
    int32_t connects = 0;
    for (int32_t step = 0; step < 6000; ++step) {
        const int32_t op = pick(100);
        if (op < 25) {
            if (p->CountOccupied() >= kWindow) continue;
            const int32_t t =
                types[static_cast<std::size_t>(pick(static_cast<int32_t>(types.size())))];
            p->InsertModule(t, pick(800), pick(600), 400, 300);
        } else if (op < 40) {
            p->DeleteModule(pick(kWindow + 2) - 1);
        } else if (op < 75) {
            // Mostly ports that exist, sometimes any position (which must be refused).
            auto port = [&](const PortRecord* table) {
                const int32_t s = pick(kWindow);
                for (int32_t tries = 0; tries < 16; ++tries) {
                    const int32_t k = PortIndex(s, pick(kPortsPerSlot));
                    if (table[k].kind != kPortNone || pick(8) == 0) return k;
                }
                return PortIndex(s, 0);
            };
            const int32_t o = port(p->outputs);
            const int32_t i = port(p->inputs);
            connects += p->Connect(o, i, pick(2) == 0) ? 1 : 0;
        } else if (op < 85) {
            p->DisconnectInput(PortIndex(pick(kWindow), pick(kPortsPerSlot)));
        } else if (op < 90) {
            p->DisconnectOutput(PortIndex(pick(kWindow), pick(kPortsPerSlot)));
        } else if (op < 97) {
            const int32_t s = pick(kWindow);
            if (p->slots[s].type != kTypeEmpty) {
                p->PlaceModule(s, pick(900), pick(700));
                p->CapturePositions();
                p->Relayout();
            }
        } else {
            p->zoom = 1 + pick(10);
            p->Relayout();
        }
        const std::string fault = CheckInvariants(*p);
        ASSERT_EQ(fault, "") << "after step " << step << " (op " << op << ")";
    }
    // The walk must actually have built cables, or it proved nothing.
    EXPECT_GT(connects, 300);
}

} // namespace
} // namespace tw
