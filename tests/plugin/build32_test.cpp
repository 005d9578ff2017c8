// The 32-bit template: a plugin built for the 32-bit target runs in a 32-bit process.
#include "designs.h"
#include "plugin_rig.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tw::test {
namespace {

#ifdef TW_HOST32_PATH
TEST(Plugin32, A32BitHostLoadsTheBuiltPluginAndPlaysTheEditorsSound) {
    PluginScratch scratch;
    auto design = DemoDesign(44100.0);
    Project& p = design->P();
    BuildInto(p, scratch.path(), "Demo32", kTarget32Bit);
    const fs::path plugin = scratch.path() / "Demo32.dll";
    const fs::path raw = scratch.path() / "out.raw";
    const std::string command = std::string("'") + TW_HOST32_PATH + "' '" + plugin.string() +
                                "' '" + UriOf(p) + "' '" + raw.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::ifstream in(raw, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    constexpr uint32_t kBlock = 512, kBlocks = 8;
    ASSERT_EQ(bytes.size(), sizeof(float) * 2 * kBlock * kBlocks);
    std::vector<float> left, right;
    for (uint32_t b = 0; b < kBlocks; ++b) {
        const auto* block = reinterpret_cast<const float*>(bytes.data()) + 2 * kBlock * b;
        left.insert(left.end(), block, block + kBlock);
        right.insert(right.end(), block + kBlock, block + 2 * kBlock);
    }
    const std::vector<NoteEvent> note = {{10, kNoteOn, 60, 100}};
    const Rendered reference = RenderReference(*design->engine, note, kBlock * kBlocks);
    for (std::size_t i = 0; i < left.size(); ++i)
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
    // Both templates do their arithmetic in SSE single and double precision, so the 32-bit
    // plugin plays the very samples of the 64-bit engine.
    EXPECT_EQ(FirstDifference(left, reference.left), -1);
    EXPECT_EQ(FirstDifference(right, reference.right), -1);
    EXPECT_TRUE(std::any_of(left.begin(), left.end(), [](float s) { return s != 0.0f; }));
}
#endif

} // namespace
} // namespace tw::test
