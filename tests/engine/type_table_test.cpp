#include "engine/engine.h"
#include "model/catalogue.h"
#include "model/instrument.h"
#include <gtest/gtest.h>

// Every type the editor offers has a rule, a block rule writes all the type's outputs, and a
// type sharing one state runs once in a design with voices.
TEST(TypeTable, AgreesWithTheCatalogue) {
    using namespace tw;
    for (int32_t type = -1; type <= kMaxModuleType + 1; ++type) {
        const ModuleTypeInfo* info = FindModuleType(type);
        const EngineTypeFacts& facts = FactsOf(type);
        ASSERT_EQ(facts.frame != NoFrameRule, info != nullptr) << type;
        uint32_t outputs = 0;
        for (const CataloguePort& port : info ? info->outputs : decltype(info->outputs){})
            outputs |= 1u << port.number;
        EXPECT_EQ(facts.blockOutputs, facts.block != nullptr ? outputs : 0u) << type;
        EXPECT_TRUE(facts.sharedFamily == kNone || RunsOnce(type)) << type;
    }
}
