// A 32-bit host in miniature: loads a built 32-bit plugin with dlopen, instantiates it
// through lv2_descriptor, plays a note for a few blocks and writes the left and right
// samples (raw floats, left block then right block) to a file.
//
//   tw_plugin_host32 PLUGIN.dll EXPECTED_URI OUT.raw
#include "plugin/lv2_contract.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> uris = {""};

LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
    for (std::size_t i = 1; i < uris.size(); ++i)
        if (uris[i] == uri) return static_cast<LV2_URID>(i);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size() - 1);
}

int Fail(const char* what, const char* detail = "") {
    std::fprintf(stderr, "tw_plugin_host32: %s%s\n", what, detail);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) return Fail("usage: tw_plugin_host32 PLUGIN.dll EXPECTED_URI OUT.raw");
    static_assert(sizeof(void*) == 4, "this program tests the 32-bit template");
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return Fail("dlopen: ", dlerror());
    using DescriptorFunction = const LV2_Descriptor* (*)(uint32_t);
    auto entry = reinterpret_cast<DescriptorFunction>(dlsym(lib, "lv2_descriptor"));
    if (entry == nullptr) return Fail("no lv2_descriptor");
    const LV2_Descriptor* d = entry(0);
    if (d == nullptr || std::strcmp(d->URI, argv[2]) != 0)
        return Fail("unexpected URI ", d != nullptr ? d->URI : "(none)");

    LV2_URID_Map map{nullptr, Map};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2_Handle plugin = d->instantiate(d, 44100.0, "", features);
    if (plugin == nullptr) return Fail("instantiate failed");

    constexpr uint32_t kBlock = 512;
    constexpr int kBlocks = 8;
    alignas(8) uint8_t midi[256] = {};
    std::vector<float> left(kBlock), right(kBlock), all;
    d->connect_port(plugin, tw::lv2::kMidiInPort, midi);
    d->connect_port(plugin, tw::lv2::kOutLeftPort, left.data());
    d->connect_port(plugin, tw::lv2::kOutRightPort, right.data());
    if (d->activate != nullptr) d->activate(plugin);
    for (int b = 0; b < kBlocks; ++b) {
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(midi);
        seq->atom.type = Map(nullptr, LV2_ATOM__Sequence);
        seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
        if (b == 0) {
            // A note-on at frame 10 of the first block.
            auto* ev = reinterpret_cast<LV2_Atom_Event*>(seq + 1);
            ev->time.frames = 10;
            ev->body.type = Map(nullptr, LV2_MIDI__MidiEvent);
            ev->body.size = 3;
            const uint8_t note[3] = {0x90, 60, 100};
            std::memcpy(ev + 1, note, 3);
            seq->atom.size += static_cast<uint32_t>(lv2_atom_pad_size(sizeof(LV2_Atom_Event) + 3));
        }
        d->run(plugin, kBlock);
        all.insert(all.end(), left.begin(), left.end());
        all.insert(all.end(), right.begin(), right.end());
    }
    if (d->deactivate != nullptr) d->deactivate(plugin);
    d->cleanup(plugin);
    dlclose(lib);

    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) return Fail("cannot write ", argv[3]);
    const bool ok = std::fwrite(all.data(), sizeof(float), all.size(), out) == all.size();
    return std::fclose(out) == 0 && ok ? 0 : Fail("cannot write ", argv[3]);
}
