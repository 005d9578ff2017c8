// The LV2 description a build writes: valid for the LV2 schemas, found by hosts on
// LV2_PATH, and faithful to names whatever characters they hold.
#include "designs.h"
#include "export/lv2_ttl.h"
#include "plugin_rig.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tw::test {
namespace {

// Runs a shell command and returns what it printed (stdout and stderr) and its status.
std::pair<std::string, int> RunShell(const std::string& command) {
    std::string out;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return {"", -1};
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = pclose(pipe);
    return {out, status};
}

bool Have(const char* tool) {
    return RunShell(std::string("command -v ") + tool).second == 0;
}

std::string Quote(const fs::path& path) {
    return "'" + path.string() + "'";
}

TEST(PluginDescription, PassesTheLv2ValidatorAndIsListedOnLv2Path) {
    if (!Have("lv2_validate") || !Have("lv2ls")) GTEST_SKIP() << "lv2_validate or lv2ls missing";
    PluginScratch scratch;
    auto design = EveryFamilyDesign(44100.0);
    // A name with a space, '#' and '%': the binary's file name must be encoded.
    const fs::path bundle = BuildInto(design->P(), scratch.path(), "Every Family #1 100%");
    // lv2_validate does not quote its arguments, so it is run from inside the bundle.
    const auto [validated, status] =
        RunShell("cd " + Quote(bundle) + " && lv2_validate manifest.ttl plugin.ttl presets.ttl");
    EXPECT_EQ(status, 0) << validated;
    EXPECT_NE(validated.find("Found 0 errors"), std::string::npos) << validated;

    const auto [listed, lsStatus] = RunShell("LV2_PATH=" + Quote(scratch.path()) + " lv2ls");
    EXPECT_EQ(lsStatus, 0);
    EXPECT_NE(listed.find(UriOf(design->P()) + "\n"), std::string::npos) << listed;
}

TEST(PluginDescription, PortsFollowTheParametersInSlotOrder) {
    PluginScratch scratch;
    auto design = EveryFamilyDesign(44100.0);
    Project& p = design->P();
    SetText(p.slots[p.activeSlots[0]].name, "not a Parameter");
    const fs::path bundle = BuildInto(p, scratch.path(), "Ports");
    LilvHost host(bundle);
    const LilvPlugin* plugin = host.Find(UriOf(p));
    ASSERT_NE(plugin, nullptr);
    std::vector<int32_t> parameters;
    for (int32_t s = 0; s < kSlotCount; ++s)
        if (p.slots[s].type == kTypeParameter) parameters.push_back(s);
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), lv2::kFirstParameterPort + parameters.size());
    std::vector<float> mins(lilv_plugin_get_num_ports(plugin)), maxs(mins.size()),
        defs(mins.size());
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defs.data());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const ModuleSlot& s = p.slots[parameters[i]];
        const auto index = static_cast<uint32_t>(lv2::kFirstParameterPort + i);
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)),
                     lv2::ParameterSymbol(parameters[i]).c_str());
        LilvNode* name = lilv_port_get_name(plugin, port);
        EXPECT_STREQ(lilv_node_as_string(name), s.name);
        lilv_node_free(name);
        EXPECT_EQ(mins[index], 0.0f);
        EXPECT_EQ(maxs[index], static_cast<float>(s.steps));
        EXPECT_EQ(defs[index], static_cast<float>(s.patchValues[0]));
    }
}

TEST(PluginDescription, NamesKeepEveryCharacterAndStayValidTurtle) {
    auto design = ToneDesign(44100.0);
    Project& p = design->P();
    SetText(p.pluginName, "A \"quoted\" \\ name\t#1");
    SetText(p.author, "Caf\xE9");            // Latin-1, not UTF-8
    SetText(p.patchNames[3], "Gr\xC3\xBCn"); // UTF-8 stays as it is
    const Lv2Description d = DescribeLv2Plugin(p, "A \"quoted\" \\ name\t#1.dll");
    EXPECT_NE(d.plugin.find("doap:name \"A \\\"quoted\\\" \\\\ name\\t#1\""), std::string::npos)
        << d.plugin;
    EXPECT_NE(d.plugin.find("foaf:name \"Caf\\u00E9\""), std::string::npos);
    EXPECT_NE(d.presets.find("rdfs:label \"Gr\xC3\xBCn\""), std::string::npos);
    EXPECT_NE(d.manifest.find("lv2:binary <../A%20%22quoted%22%20%5C%20name%09%231.dll>"),
              std::string::npos)
        << d.manifest;
    EXPECT_EQ(UriOf(p), "urn:tonewright:plugin:DfLt:A%20%22quoted%22%20%5C%20name%09%231");
}

TEST(PluginDescription, AStepValueOutsideItsRangeIsClampedInTheDescriptionOnly) {
    auto design = ToneDesign(44100.0);
    Project& p = design->P();
    int32_t volume = -1;
    for (int32_t s = 0; s < kSlotCount; ++s)
        if (p.slots[s].type == kTypeParameter) volume = s;
    p.slots[volume].patchValues[0] = 250; // more than its 100 steps
    p.slots[volume].patchValues[1] = -3;
    const Lv2Description d = DescribeLv2Plugin(p, "x.dll");
    EXPECT_NE(d.plugin.find("lv2:default 100 ;"), std::string::npos) << d.plugin;
    EXPECT_NE(d.presets.find("pset:value 0.0"), std::string::npos);
}

} // namespace
} // namespace tw::test
