// The manifest a plugin template reads: its exact bytes, its size, and its log lines.
#include "export/manifest.h"
#include "export_fixtures.h"
#include "model/text.h"
#include "support/builders.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::Counted;
using test::Word;

// The fixed start of every manifest: tag, 32 hyphens, the counted product tag.
std::string Prefix() {
    return "HED#" + std::string(32, '-') + Word(10) + "Tonewright";
}

std::string DefaultPatchNames(const std::string& perPatch) {
    std::string out;
    for (int p = 0; p < 128; ++p) out += Counted("Patch " + std::to_string(p)) + perPatch;
    return out;
}

TEST(ManifestBytes, OneParameterAndNothingElse) {
    auto project = test::MakeProject();
    const int32_t slot = test::AddModule(*project, kTypeParameter);
    ASSERT_EQ(slot, 0);
    ModuleSlot& s = project->slots[0];
    s.patchValues[0] = 37;
    s.steps = 100;
    s.imageType = 1;
    s.panelX = 20;
    s.panelY = 30;
    s.controlSize = 40;
    s.mouseResponse = 4;
    s.spareValues[0] = 9;
    SetText(s.name, "Cutoff");

    const std::string expected =
        Prefix() + Counted("Synth") + Counted("A Writer") + Counted("1000") + Counted("DfLt") +
        "MOD#" + Word(1) + Word(5) + Word(0) + //
        "PLG#" + Word(0) +                     //
        "PAT#" + Word(128) + Word(1) +         //
        [] {
            std::string out;
            for (int p = 0; p < 128; ++p) {
                out += Counted("Patch " + std::to_string(p)) + Word(0) + Word(p == 0 ? 37 : 0) +
                       Word(100);
            }
            return out;
        }() +
        "GUI#" + Word(2) + Word(384) + Word(261) + //
        "PAR#" + Word(1) + Word(0) + Word(9) + Word(5) + Word(1) + Word(20) + Word(30) + Word(40) +
        Word(4) + Counted("Cutoff") + Word(1) + Word(0) + //
        "PAX#" + Word(1) + Word(0) + Word(37);
    EXPECT_EQ(EncodeManifest(*project, 384, 261), expected);
}

TEST(ManifestBytes, WithoutParametersThePatchNamesAreStillWritten) {
    auto project = test::MakeProject();
    test::AddModule(*project, kTypeOscillator);
    const std::string expected = Prefix() + Counted("Synth") + Counted("A Writer") +
                                 Counted("1000") + Counted("DfLt") + "MOD#" + Word(1) + Word(29) +
                                 Word(0) + "PLG#" + Word(0) + "PAT#" + Word(128) + Word(0) +
                                 DefaultPatchNames("") + "GUI#" + Word(2) + Word(784) + Word(561) +
                                 "PAR#" + Word(0) + "PAX#" + Word(0);
    EXPECT_EQ(EncodeManifest(*project, 784, 561), expected);
}

TEST(ManifestBytes, CablesAreInputOutputPairsAndInputZeroIsACable) {
    auto project = test::MakeProject();
    const int32_t out = test::AddModule(*project, kTypeOutput);     // slot 0
    const int32_t osc = test::AddModule(*project, kTypeOscillator); // slot 1
    ASSERT_TRUE(test::Wire(*project, osc, 0, out, 0));
    const std::string m = EncodeManifest(*project, 1, 1);
    const std::size_t plg = m.find("PLG#");
    ASSERT_NE(plg, std::string::npos);
    EXPECT_EQ(m.substr(plg, 16), "PLG#" + Word(1) + Word(0) + Word(16));
}

TEST(ManifestBytes, RealSlotNumbersKeepTheGapsOfDeletedModules) {
    auto project = test::MakeProject();
    test::AddModule(*project, kTypeParameter);                       // 0
    const int32_t gone = test::AddModule(*project, kTypeOscillator); // 1
    const int32_t kept = test::AddModule(*project, kTypeParameter);  // 2
    project->DeleteModule(gone);
    project->slots[kept].patchValues[0] = 5;
    const std::string m = EncodeManifest(*project, 1, 1);
    const std::size_t mod = m.find("MOD#");
    EXPECT_EQ(m.substr(mod, 24), "MOD#" + Word(2) + Word(5) + Word(0) + Word(5) + Word(2));
    const std::size_t pax = m.find("PAX#");
    EXPECT_EQ(m.substr(pax), "PAX#" + Word(2) + Word(0) + Word(0) + Word(2) + Word(5));
}

TEST(ManifestBytes, SizeFollowsTheFormulaAndTextsAreVerbatim) {
    auto project = test::MakeProject();
    SetText(project->pluginName, "100% Synth");
    SetText(project->author, "%s%n");
    SetText(project->versionText, "12");
    SetText(project->uniqueId, "Ab%d");
    const int32_t p1 = test::AddModule(*project, kTypeParameter);
    const int32_t osc = test::AddModule(*project, kTypeOscillator);
    const int32_t p2 = test::AddModule(*project, kTypeParameter);
    const int32_t out = test::AddModule(*project, kTypeOutput);
    ASSERT_TRUE(test::Wire(*project, p1, 0, osc, 0));
    ASSERT_TRUE(test::Wire(*project, osc, 0, out, 1));
    SetText(project->slots[p2].name, "Level %d");
    SetText(project->patchNames[3], "Big Lead");
    SetText(project->patchNames[127], "");

    const int64_t n = 4, r = 2, p = 2;
    int64_t patchNames = 0;
    for (int i = 0; i < 128; ++i)
        patchNames += 4 + static_cast<int64_t>(strlen(project->patchNames[i]));
    const int64_t paramNames =
        static_cast<int64_t>(strlen(project->slots[p1].name) + strlen(project->slots[p2].name));
    const int64_t expectedSize = 50 + (4 + 10) + (4 + 4) + (4 + 2) + (4 + 4) + (8 + 8 * n) +
                                 (8 + 8 * r) + (12 + patchNames + 128 * 12 * p) + 16 +
                                 (8 + 44 * p + paramNames) + (8 + 8 * p);
    const std::string m = EncodeManifest(*project, 384, 261);
    EXPECT_EQ(static_cast<int64_t>(m.size()), expectedSize);
    EXPECT_NE(
        m.find(Counted("100% Synth") + Counted("%s%n") + Counted("12") + Counted("Ab%d") + "MOD#"),
        std::string::npos);
    EXPECT_NE(m.find(Counted("Level %d")), std::string::npos);
    EXPECT_NE(m.find(Counted("Big Lead")), std::string::npos);
    // An unchanged project gives the same manifest every time.
    EXPECT_EQ(EncodeManifest(*project, 384, 261), m);
}

TEST(ManifestFile, IsAppendedAfterTheTemplateWithItsLogLines) {
    test::ScratchFolder dir;
    const std::string plugin = dir.str() + "/Synth.dll";
    AtomicFile file(plugin);
    ASSERT_TRUE(file.Write("TEMPLATE"));
    auto project = test::MakeProject();
    const int32_t param = test::AddModule(*project, kTypeParameter);
    const int32_t osc = test::AddModule(*project, kTypeOscillator);
    test::AddModule(*project, kTypeOutput);
    ASSERT_TRUE(test::Wire(*project, param, 0, osc, 1));

    test::KeptLog kept;
    EXPECT_TRUE(WriteManifest(*project, file, plugin, 384, 261, kept.log));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(kept.log.errorCount, 0);
    EXPECT_EQ(test::ReadFile(plugin), "TEMPLATE" + EncodeManifest(*project, 384, 261));
    EXPECT_EQ(kept.lines, (std::vector<std::string>{">Opening Manifest ", "3  Objects Indexed ",
                                                    "1  IO Routes Visited ", "1 Parameters mapped ",
                                                    ">Closing Manifest "}));
}

TEST(ManifestFile, APluginFileThatCannotBeOpenedCountsError9) {
    test::ScratchFolder dir;
    const std::string plugin = dir.str() + "/no such folder/Synth.dll";
    auto project = test::MakeProject();
    test::KeptLog kept;
    kept.log.errorCount = 2; // the count carries what the build counted before
    AtomicFile file(plugin);
    EXPECT_FALSE(WriteManifest(*project, file, plugin, 384, 261, kept.log));
    EXPECT_EQ(kept.log.errorCount, 3);
    EXPECT_EQ(kept.lines,
              (std::vector<std::string>{">Opening Manifest ",
                                        ">ERROR 9: Can not open file to save " + plugin + " "}));
    EXPECT_FALSE(std::filesystem::exists(plugin));
}

} // namespace
} // namespace tw
