// Reading manifests back: whole ones give the editor's design, damaged ones give a silent
// plugin and a reason, never a read outside the bytes.
#include "designs.h"
#include "engine/engine.h"
#include "export/manifest.h"
#include "plugin/design_loader.h"
#include "plugin/manifest_reader.h"
#include "plugin_rig.h"

#include <dlfcn.h>
#include <fstream>
#include <iterator>

namespace tw::test {
namespace {

using plugin::FindManifest;
using plugin::Manifest;
using plugin::ParseManifest;

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void PutWord(std::vector<uint8_t>& bytes, std::size_t at, int64_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Offset of a chunk's tag in a manifest or in a plugin file (whose code holds the tags as
// text too, so the search starts at the manifest). The test designs have no tag in a text.
std::size_t TagAt(const std::vector<uint8_t>& bytes, const char* tag) {
    const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(FindManifest(bytes).offset);
    const auto it = std::search(from, bytes.end(), tag, tag + 4);
    EXPECT_NE(it, bytes.end()) << tag;
    return static_cast<std::size_t>(it - bytes.begin());
}

class ManifestReader : public ::testing::Test {
protected:
    std::unique_ptr<Design> design = EveryFamilyDesign(44100.0);
    std::vector<uint8_t> bytes = Bytes(EncodeManifest(design->P(), 384, 261));

    // The Parameter slots of the design, in ascending order.
    std::vector<int32_t> ParameterSlots() {
        std::vector<int32_t> slots;
        for (int32_t s = 0; s < kSlotCount; ++s)
            if (design->P().slots[s].type == kTypeParameter) slots.push_back(s);
        return slots;
    }

    void ExpectDamaged(const std::vector<uint8_t>& damaged, const char* what) {
        const Manifest m = ParseManifest(damaged);
        EXPECT_FALSE(m.hasDesign) << what;
        EXPECT_TRUE(m.design.modules.empty() && m.design.parameters.empty()) << what;
        EXPECT_FALSE(m.problem.empty()) << what;
    }
};

TEST_F(ManifestReader, AWholeManifestGivesBackTheEditorsDesign) {
    const Manifest m = ParseManifest(bytes);
    ASSERT_TRUE(m.hasDesign) << m.problem;
    EXPECT_TRUE(m.problem.empty());
    const Project& editor = design->P();
    EXPECT_EQ(m.identity.name, GetText(editor.pluginName));
    EXPECT_EQ(m.design.panelWidth, 384);
    EXPECT_EQ(m.design.patchNames[5], "Dark \"Pad\" 100%");

    // Loaded into a freshly reset project, the design drives the engine from exactly the
    // routes, active-object list and Parameter values the editor has.
    Project loaded;
    Engine engine(loaded);
    ResetEngine(engine);
    plugin::LoadDesign(m.design, loaded);
    EXPECT_EQ(loaded.activeCount.load(), editor.activeCount.load());
    for (int32_t n = 0; n <= editor.activeCount; ++n) {
        EXPECT_EQ(loaded.activeTypes[n].load(), editor.activeTypes[n].load()) << n;
        EXPECT_EQ(loaded.activeSlots[n].load(), editor.activeSlots[n].load()) << n;
    }
    for (int32_t k = 0; k < kPortCount; ++k) {
        ASSERT_EQ(loaded.routes[k].load(), editor.routes[k].load()) << "input " << k;
        ASSERT_EQ(loaded.inputs[k].link, editor.inputs[k].link) << "output " << k;
    }
    for (const int32_t s : ParameterSlots()) {
        EXPECT_EQ(loaded.slots[s].value.load(), editor.slots[s].value.load()) << s;
        EXPECT_EQ(loaded.slots[s].steps, editor.slots[s].steps) << s;
        EXPECT_STREQ(loaded.slots[s].name, editor.slots[s].name) << s;
    }
}

TEST_F(ManifestReader, EveryTruncationIsDamageAndKeepsTheHeaderOnceItIsWhole) {
    const std::size_t headerEnd = TagAt(bytes, "MOD#");
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        const Manifest m = ParseManifest(std::span(bytes.data(), length));
        ASSERT_FALSE(m.hasDesign) << length;
        ASSERT_FALSE(m.problem.empty()) << length;
        ASSERT_EQ(m.hasIdentity, length >= headerEnd) << length;
    }
}

TEST_F(ManifestReader, HugeAndNegativeCountsAreRefusedWithoutReservingMemory) {
    for (const char* tag : {"MOD#", "PLG#", "PAR#", "PAX#"}) {
        for (const int64_t count : {int64_t{0x7FFFFFFF}, int64_t{-1}, int64_t{1025 * 16 + 1}}) {
            std::vector<uint8_t> damaged = bytes;
            PutWord(damaged, TagAt(bytes, tag) + 4, count);
            ExpectDamaged(damaged, tag);
        }
    }
    std::vector<uint8_t> damaged = bytes;
    PutWord(damaged, TagAt(bytes, "PAT#") + 4, 129); // the patch count is always 128
    ExpectDamaged(damaged, "patch count");
    damaged = bytes;
    PutWord(damaged, TagAt(bytes, "PAT#") + 8, 0x40000000); // Parameter count
    ExpectDamaged(damaged, "parameter count");
    damaged = bytes;
    PutWord(damaged, TagAt(bytes, "GUI#") + 4, 3);
    ExpectDamaged(damaged, "panel words");
    damaged = bytes;
    PutWord(damaged, 50, 0x7FFFFFF0); // the plugin name's length
    const Manifest m = ParseManifest(damaged);
    EXPECT_FALSE(m.hasIdentity);
}

TEST_F(ManifestReader, SlotsPortsAndTypesOutsideTheTablesAreRefused) {
    const std::size_t modules = TagAt(bytes, "MOD#") + 8; // first (type, slot) pair
    const std::size_t cables = TagAt(bytes, "PLG#") + 8;  // first (input, output) pair
    const std::size_t controls = TagAt(bytes, "PAR#") + 8;
    const struct {
        std::size_t at;
        int64_t value;
        const char* what;
    } cases[] = {
        {modules, 0, "type 0"},
        {modules, 42, "type 42"},
        {modules + 4, 1024, "slot 1024"},
        {modules + 4, -1, "slot -1"},
        {modules + 12, 0, "slots out of order"}, // the second pair's slot below the first
        {cables, 16384, "input 16384"},
        {cables + 4, -2, "output -2"},
        {cables + 8, 0, "inputs out of order"},
        {TagAt(bytes, "PAT#") + 12 + 4 + 7, 3, "a patch naming another slot"},
        {controls, 1, "PAR# naming another slot"},
        {controls + 8, 6, "PAR# of a module that is no Parameter"},
        {TagAt(bytes, "PAX#") + 8, 0, "PAX# naming another slot"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> damaged = bytes;
        PutWord(damaged, c.at, c.value);
        ExpectDamaged(damaged, c.what);
    }
}

TEST_F(ManifestReader, ItIsFoundAfterTheTemplateEvenWhenTheTemplateHoldsADecoy) {
    const auto prefix = plugin::ManifestPrefix();
    std::vector<uint8_t> file = {1, 2, 3};
    file.insert(file.end(), prefix.begin(), prefix.end()); // a decoy that reads as nothing
    file.insert(file.end(), {9, 9, 9, 9});
    file.insert(file.end(), bytes.begin(), bytes.end());
    const Manifest m = FindManifest(file);
    ASSERT_TRUE(m.hasDesign) << m.problem;
    EXPECT_EQ(m.offset, 3 + prefix.size() + 4);

    // Bytes after the manifest are no manifest of ours: damage, but the header is kept.
    file.push_back(0);
    const Manifest trailing = FindManifest(file);
    EXPECT_FALSE(trailing.hasDesign);
    EXPECT_TRUE(trailing.hasIdentity);
    EXPECT_NE(trailing.problem.find("follow"), std::string::npos) << trailing.problem;

    EXPECT_FALSE(FindManifest(std::vector<uint8_t>(100, '-')).hasIdentity);
}

TEST(PluginTemplates, NeitherTemplateHoldsTheManifestPrefix) {
    const auto prefix = plugin::ManifestPrefix();
#ifdef TW_HOST32_PATH
    const char* const names[] = {"64Bit.dat", "32Bit.dat"};
#else
    // Sanitizer builds make no 32-bit template.
    const char* const names[] = {"64Bit.dat"};
#endif
    for (const char* name : names) {
        const fs::path path = fs::path(TW_APP_DIR) / "Resources" / name;
        if (!fs::exists(path)) {
            ADD_FAILURE() << path << " is not staged";
            continue;
        }
        const std::vector<uint8_t> bytes = ReadAll(path);
        EXPECT_GT(bytes.size(), 10000u);
        EXPECT_EQ(std::search(bytes.begin(), bytes.end(), prefix.begin(), prefix.end()),
                  bytes.end())
            << name;
    }
}

// A host loads a plugin whose manifest was damaged after the build: it lists and runs it,
// and the plugin plays silence and says why on stderr.
class DamagedPlugin : public ::testing::Test {
protected:
    PluginScratch scratch;
    std::unique_ptr<Design> design = ToneDesign(44100.0);
    fs::path bundle;
    fs::path file;

    void Build(const char* name) {
        bundle = BuildInto(design->P(), scratch.path(), name);
        file = scratch.path() / (std::string(name) + ".dll");
    }

    void ExpectSilentAndExplained() {
        LilvHost host(bundle);
        ::testing::internal::CaptureStderr();
        const bool started = host.Start(UriOf(design->P()), 44100.0);
        const std::string said = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(started);
        EXPECT_NE(said.find("damaged manifest"), std::string::npos) << said;
        std::vector<float> left(512, 1.0f), right(512, 1.0f);
        const std::vector<NoteEvent> note = {{0, kNoteOn, 60, 100}};
        host.Play(note, 2048, 512, left, right);
        EXPECT_TRUE(std::all_of(left.begin() + 512, left.end(), [](float s) { return s == 0.0f; }));
        EXPECT_TRUE(
            std::all_of(right.begin() + 512, right.end(), [](float s) { return s == 0.0f; }));
    }
};

TEST_F(DamagedPlugin, TruncatedManifestPlaysSilence) {
    Build("Truncated");
    std::vector<uint8_t> bytes = ReadAll(file);
    ASSERT_GT(bytes.size(), 6u);
    bytes.resize(bytes.size() - 6);
    WriteAll(file, bytes);
    ExpectSilentAndExplained();
}

TEST_F(DamagedPlugin, AFileCutBackToTheTemplatePlaysSilence) {
    Build("NoManifest");
    std::vector<uint8_t> bytes = ReadAll(file);
    bytes.resize(fs::file_size(fs::path(TW_APP_DIR) / "Resources" / "64Bit.dat"));
    WriteAll(file, bytes);
    ExpectSilentAndExplained();
}

TEST_F(DamagedPlugin, HugeModuleCountPlaysSilence) {
    Build("HugeCount");
    std::vector<uint8_t> bytes = ReadAll(file);
    PutWord(bytes, TagAt(bytes, "MOD#") + 4, 0x7FFFFFFF);
    WriteAll(file, bytes);
    ExpectSilentAndExplained();
}

TEST_F(DamagedPlugin, CableToAPortOutsideTheTablePlaysSilence) {
    Build("BadCable");
    std::vector<uint8_t> bytes = ReadAll(file);
    PutWord(bytes, TagAt(bytes, "PLG#") + 12, 99999);
    WriteAll(file, bytes);
    ExpectSilentAndExplained();
}

TEST(PluginWithoutManifest, TheBareTemplateLoadsUnderItsFallbackUriAndIsSilent) {
    PluginScratch scratch;
    const fs::path copy = scratch.path() / "bare.dll";
    fs::copy_file(fs::path(TW_APP_DIR) / "Resources" / "64Bit.dat", copy);
    ::testing::internal::CaptureStderr();
    void* lib = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto entry =
        reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(lib, "lv2_descriptor"));
    ASSERT_NE(entry, nullptr);
    const LV2_Descriptor* d = entry(0);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(entry(1), nullptr);
    EXPECT_STREQ(d->URI, lv2::kUnknownPluginUri);
    EXPECT_NE(said.find("holds no manifest"), std::string::npos) << said;

    LilvHost mapper({}); // only for its URID map
    const LV2_Feature mapFeature{LV2_URID__map, mapper.UridMap()};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    EXPECT_EQ(d->instantiate(d, 44100.0, "", nullptr), nullptr); // no URID map: refused
    LV2_Handle h = d->instantiate(d, 44100.0, "", features);
    ASSERT_NE(h, nullptr);
    std::vector<float> left(256, 1.0f), right(256, 1.0f);
    d->connect_port(h, lv2::kOutLeftPort, left.data());
    d->connect_port(h, lv2::kOutRightPort, right.data());
    d->connect_port(h, 7, left.data()); // a port the description might have: ignored
    d->activate(h);
    d->run(h, 256);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](float s) { return s == 0.0f; }));
    EXPECT_TRUE(std::all_of(right.begin(), right.end(), [](float s) { return s == 0.0f; }));
    d->cleanup(h);
    dlclose(lib);
}

} // namespace
} // namespace tw::test
