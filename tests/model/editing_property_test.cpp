// Thousands of random edits from a fixed seed; after each one the record's invariants
// must hold. This is what keeps cable bookkeeping honest when edits interleave.
#include "model/catalogue.h"
#include "model/project_fixture.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

TEST(EditingProperty, RandomEditsKeepLinksRoutesAndListConsistent) {
    auto p = test::MakeProject();
    std::mt19937 rng(20261206u);
    const std::span<const ModuleTypeInfo> types = ModuleTypes();
    auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
    // Work within a window of slots so that cables find occupied ends often; mostly ports
    // that exist, sometimes any position (which must be refused).
    constexpr int32_t kWindow = 40;
    auto port = [&](const PortRecord* table) {
        int32_t k = PortIndex(pick(kWindow), pick(kPortsPerSlot));
        for (int32_t tries = 0; tries < 16 && table[k].kind == kPortNone && pick(8) != 0; ++tries)
            k = PortIndex(pick(kWindow), pick(kPortsPerSlot));
        return k;
    };
    int32_t connects = 0;
    for (int32_t step = 0; step < 6000; ++step) {
        const int32_t op = pick(100);
        if (op < 25 && p->CountOccupied() < kWindow) {
            const int32_t type = types[static_cast<std::size_t>(pick(int32_t(types.size())))].type;
            p->InsertModule(type, pick(800), pick(600), 400, 300);
        } else if (op < 40) {
            const int32_t s = pick(kWindow + 2) - 1;
            p->DeleteModule(s);
            ASSERT_TRUE(!IsSlot(s) || p->slots[s].type == kTypeEmpty);
        } else if (op < 75) {
            const int32_t o = port(p->outputs), i = port(p->inputs);
            const bool taken = p->Connect(o, i, pick(2) == 0);
            ASSERT_TRUE(!taken || (p->outputs[i].link == o && p->routes[i] == o));
            connects += taken ? 1 : 0;
        } else if (op < 90) {
            const int32_t k = PortIndex(pick(kWindow), pick(kPortsPerSlot));
            const bool input = op < 85,
                       cut = input ? p->DisconnectInput(k) : p->DisconnectOutput(k);
            ASSERT_TRUE(!cut || (input ? p->outputs[k] : p->inputs[k]).link == kNone);
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
        ASSERT_EQ(test::ProjectFault(*p, true), "") << "step " << step << ", op " << op;
    }
    // The walk must actually have built cables, or it proved nothing.
    EXPECT_GT(connects, 300);
}

} // namespace
} // namespace tw
