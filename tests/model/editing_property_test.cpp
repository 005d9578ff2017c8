// Thousands of random edits from a fixed seed; after each one the record's invariants
// must hold. This is what keeps cable bookkeeping honest when edits interleave.
#include "model/catalogue.h"
#include "model/project_invariants.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tw {
namespace {

// Beyond what any project satisfies: edits put cables only between the visible ports of
// occupied slots, and an emptied slot keeps no port.
std::string EditFault(const Project& p) {
    for (int32_t k = 0; k < kPortCount; ++k) {
        const bool empty = p.slots[SlotOfPort(k)].type == kTypeEmpty;
        if (empty && (p.In[k].kind != kPortNone || p.Out[k].kind != kPortNone))
            return "empty slot keeps port " + std::to_string(k);
        if ((p.Out[k].link != kNone || p.In[k].link != kNone) && empty)
            return "cable on empty slot at port " + std::to_string(k);
        if (p.Out[k].link != kNone && p.In[k].kind == kPortHidden)
            return "cable on hidden input " + std::to_string(k);
    }
    return test::ProjectFault(p);
}

TEST(EditingProperty, RandomEditsKeepLinksRoutesAndListConsistent) {
    auto p = test::MakeProject();
    std::mt19937 rng(20261206u);
    std::vector<int32_t> types;
    for (const ModuleTypeInfo& info : ModuleTypes()) types.push_back(info.type);
    auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
    // Work within a window of slots so that cables find occupied ends often; mostly ports
    // that exist, sometimes any position (which must be refused).
    constexpr int32_t kWindow = 40;
    auto port = [&](const PortRecord* table) {
        const int32_t s = pick(kWindow);
        for (int32_t tries = 0; tries < 16; ++tries) {
            const int32_t k = PortIndex(s, pick(kPortsPerSlot));
            if (table[k].kind != kPortNone || pick(8) == 0) return k;
        }
        return PortIndex(s, 0);
    };
    int32_t connects = 0;
    for (int32_t step = 0; step < 6000; ++step) {
        const int32_t op = pick(100);
        if (op < 25 && p->CountOccupied() < kWindow) {
            p->InsertModule(types[pick(static_cast<int32_t>(types.size()))], pick(800), pick(600),
                            400, 300);
        } else if (op < 40) {
            p->DeleteModule(pick(kWindow + 2) - 1);
        } else if (op < 75) {
            const int32_t o = port(p->Out);
            connects += p->Connect(o, port(p->In), pick(2) == 0) ? 1 : 0;
        } else if (op < 85) {
            p->DisconnectInput(PortIndex(pick(kWindow), pick(kPortsPerSlot)));
        } else if (op < 90) {
            p->DisconnectOutput(PortIndex(pick(kWindow), pick(kPortsPerSlot)));
        } else if (op < 97) {
            const int32_t s = pick(kWindow);
            if (p->slots[s].type == kTypeEmpty) continue;
            p->PlaceModule(s, pick(900), pick(700));
            p->CapturePositions();
            p->Relayout();
        } else {
            p->zoom = 1 + pick(10);
            p->Relayout();
        }
        ASSERT_EQ(EditFault(*p), "") << "after step " << step << " (op " << op << ")";
    }
    // The walk must actually have built cables, or it proved nothing.
    EXPECT_GT(connects, 300);
}

} // namespace
} // namespace tw
