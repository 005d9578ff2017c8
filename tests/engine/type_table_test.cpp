#include "engine/engine.h"
#include "model/catalogue.h"
#include "model/instrument.h"
#include <gtest/gtest.h>

TEST(TypeTable, GivesEveryOfferedTypeARuleAndItsBlockRuleWritesAllItsOutputs) {
    for (int32_t type = -1; type <= tw::kMaxModuleType + 1; ++type) {
        const tw::ModuleTypeInfo* info = tw::FindModuleType(type);
        const tw::EngineTypeFacts& facts = tw::FactsOf(type);
        ASSERT_EQ(facts.frame != tw::NoFrameRule, info != nullptr) << type;
        uint32_t outputs = 0;
        for (const tw::CataloguePort& port : info ? info->outputs : decltype(info->outputs){})
            outputs |= 1u << port.number;
        EXPECT_EQ(facts.blockOutputs, facts.block != nullptr ? outputs : 0u) << type;
        // Instances that share one state (a line, the generator, the block) keep their
        // order in it only while they run once, whatever the voice count.
        EXPECT_TRUE(facts.sharedFamily == tw::kNone || tw::RunsOnce(type)) << type;
    }
}
