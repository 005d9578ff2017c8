// The engine's type table against the model's catalogue: a type the editor offers must
// have a rule, and what the table says of its ports must be ports the type has.
#include "engine/engine.h"
#include "model/catalogue.h"
#include "model/instrument.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

uint32_t Positions(std::span<const CataloguePort> ports) {
    uint32_t bits = 0;
    for (const CataloguePort& port : ports) bits |= 1u << port.number;
    return bits;
}

TEST(TypeTable, AgreesWithTheCatalogue) {
    for (int32_t type = -1; type <= kMaxModuleType + 1; ++type) {
        SCOPED_TRACE(type);
        const ModuleTypeInfo* info = FindModuleType(type);
        const EngineTypeFacts& facts = FactsOf(type);
        EXPECT_EQ(facts.frame != NoFrameRule, info != nullptr);
        if (info == nullptr) continue;
        const uint32_t inputs = Positions(info->inputs);
        // A block rule writes every output on every frame, or the plan leaves stale values.
        EXPECT_EQ(facts.blockOutputs, facts.block != nullptr ? Positions(info->outputs) : 0u);
        for (const InputDefault& d : facts.defaults) EXPECT_TRUE(inputs >> d.input & 1u);
        EXPECT_TRUE(facts.storeBack.input == kNone || (inputs >> facts.storeBack.input & 1u));
        // One state for the design: copies in each voice would each advance it.
        EXPECT_TRUE(facts.sharedFamily == kNone || RunsOnce(type));
    }
}

} // namespace
} // namespace tw
