// The 32-bit template: a plugin built for the 32-bit target is a 32-bit library with the
// LV2 entry point, and runs in a 32-bit process where the kernel can run one.
#include "designs.h"
#include "plugin_rig.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

namespace tw::test {
namespace {

#ifdef TW_HOST32_PATH

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The names of the symbols a 32-bit ELF file exports: the defined, non-local entries of
// its dynamic symbol table. Empty for anything else.
std::vector<std::string> Exported32(const std::string& file) {
    const auto read = [&](auto& to, std::size_t at) {
        if (at > file.size() || file.size() - at < sizeof to) return false;
        std::memcpy(&to, file.data() + at, sizeof to);
        return true;
    };
    std::vector<std::string> names;
    Elf32_Ehdr header{};
    if (!read(header, 0) || header.e_ident[EI_CLASS] != ELFCLASS32) return names;
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        Elf32_Shdr symbols{}, strings{};
        if (!read(symbols, header.e_shoff + i * header.e_shentsize) ||
            symbols.sh_type != SHT_DYNSYM ||
            !read(strings, header.e_shoff + symbols.sh_link * header.e_shentsize))
            continue;
        for (std::size_t at = 0; at + sizeof(Elf32_Sym) <= symbols.sh_size;
             at += sizeof(Elf32_Sym)) {
            Elf32_Sym s{};
            if (!read(s, symbols.sh_offset + at) || s.st_shndx == SHN_UNDEF ||
                ELF32_ST_BIND(s.st_info) == STB_LOCAL)
                continue;
            const std::size_t name = std::size_t{strings.sh_offset} + s.st_name;
            if (name < file.size()) names.emplace_back(file.c_str() + name);
        }
    }
    return names;
}

// Builds the demo for the 32-bit target; returns the plugin file.
fs::path Build32(const PluginScratch& scratch, Project& p) {
    BuildInto(p, scratch.path(), "Demo32", kTarget32Bit);
    return scratch.path() / "Demo32.dll";
}

TEST(Plugin32, TheBuiltPluginIsA32BitX86LibraryExportingTheLv2EntryPoint) {
    PluginScratch scratch;
    auto design = DemoDesign(44100.0);
    const std::string file = ReadBytes(Build32(scratch, design->P()));
    Elf32_Ehdr header{};
    ASSERT_GE(file.size(), sizeof header);
    std::memcpy(&header, file.data(), sizeof header);
    EXPECT_EQ(std::memcmp(header.e_ident, ELFMAG, SELFMAG), 0);
    EXPECT_EQ(header.e_ident[EI_CLASS], ELFCLASS32);
    EXPECT_EQ(header.e_machine, EM_386);
    EXPECT_EQ(header.e_type, ET_DYN);
    // The template shows its entry point and nothing else of its own.
    EXPECT_EQ(Exported32(file), std::vector<std::string>{"lv2_descriptor"});
}

TEST(Plugin32, A32BitHostLoadsTheBuiltPluginAndPlaysTheEditorsSound) {
    // Some kernels are built without 32-bit support: the host then cannot even start.
    pid_t pid = 0;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    char* const noArguments[] = {const_cast<char*>(TW_HOST32_PATH), nullptr};
    const int spawned = posix_spawn(&pid, TW_HOST32_PATH, &quiet, nullptr, noArguments, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned == 0) waitpid(pid, nullptr, 0);
    if (spawned == ENOEXEC) {
        GTEST_SKIP() << "this machine's kernel cannot run 32-bit programs ("
                     << std::strerror(spawned) << "); the 32-bit plugin is built and checked "
                     << "by the test above but not played";
    }
    ASSERT_EQ(spawned, 0) << std::strerror(spawned);

    PluginScratch scratch;
    auto design = DemoDesign(44100.0);
    Project& p = design->P();
    const fs::path plugin = Build32(scratch, p);
    const fs::path raw = scratch.path() / "out.raw";
    const std::string command = std::string("'") + TW_HOST32_PATH + "' '" + plugin.string() +
                                "' '" + UriOf(p) + "' '" + raw.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::string bytes = ReadBytes(raw);
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
