#pragma once

// A host in miniature, loading a plugin as LV2 hosts do: the file opened with dlopen, its
// descriptor, a URID map, and one instance played in blocks, each MIDI message in the block
// that holds its frame. Plain LV2, so that the 32-bit host program and the benchmarks use it.
#include "plugin/lv2_contract.h"

#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace tw::test {

// A MIDI message and the frame it is for.
struct Midi {
    uint32_t frame;
    std::vector<uint8_t> bytes;
};

struct MiniHost {
    // An empty file name gives a host for its URID map only.
    explicit MiniHost(const std::string& file)
        : lib_(file.empty() ? nullptr : dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        const auto entry = reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(
            lib_ != nullptr ? dlsym(lib_, "lv2_descriptor") : nullptr);
        descriptor = entry != nullptr ? entry(0) : nullptr;
    }
    ~MiniHost() {
        if (handle != nullptr) descriptor->cleanup(handle);
        if (lib_ != nullptr) dlclose(lib_);
    }

    // Instantiates and activates the plugin; its controls stay unconnected until set.
    bool Start(double rate) {
        const LV2_Feature mapFeature{LV2_URID__map, &map};
        const LV2_Feature* features[] = {&mapFeature, nullptr};
        handle = descriptor != nullptr ? descriptor->instantiate(descriptor, rate, "", features)
                                       : nullptr;
        if (handle == nullptr) return false;
        descriptor->connect_port(handle, lv2::kMidiInPort, midi_);
        descriptor->activate(handle);
        return true;
    }
    // Plays `frames` frames in blocks of `block` from the events' frame 0 on; appends the output.
    void Play(const std::vector<Midi>& events, uint32_t frames, uint32_t block,
              std::vector<float>& left, std::vector<float>& right) {
        std::vector<float> out(2 * block);
        descriptor->connect_port(handle, lv2::kOutLeftPort, out.data());
        descriptor->connect_port(handle, lv2::kOutRightPort, out.data() + block);
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(midi_);
        for (uint32_t done = 0; done < frames; done += block) {
            const uint32_t n = std::min(block, frames - done);
            seq->atom = {sizeof(LV2_Atom_Sequence_Body), Map(this, LV2_ATOM__Sequence)};
            for (const Midi& e : events) {
                if (e.frame < done || e.frame >= done + n) continue;
                auto* ev = reinterpret_cast<LV2_Atom_Event*>(
                    reinterpret_cast<uint8_t*>(&seq->body) + seq->atom.size);
                ev->time.frames = e.frame - done;
                ev->body = {static_cast<uint32_t>(e.bytes.size()), Map(this, LV2_MIDI__MidiEvent)};
                std::memcpy(ev + 1, e.bytes.data(), e.bytes.size());
                seq->atom.size += lv2_atom_pad_size(sizeof(LV2_Atom_Event) + ev->body.size);
            }
            std::fill(out.begin(), out.end(), 1.0f); // a plugin must write every sample
            descriptor->run(handle, n);
            left.insert(left.end(), out.begin(), out.begin() + n);
            right.insert(right.end(), out.begin() + block, out.begin() + block + n);
        }
    }

    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
    LV2_URID_Map map{this, &MiniHost::Map};
    static LV2_URID Map(LV2_URID_Map_Handle self, const char* uri) {
        auto& uris = static_cast<MiniHost*>(self)->uris_;
        auto found = std::find(uris.begin(), uris.end(), uri);
        if (found == uris.end()) found = uris.insert(found, uri);
        return static_cast<LV2_URID>(found - uris.begin() + 1);
    }

    void* lib_;
    std::vector<std::string> uris_;
    alignas(8) uint8_t midi_[8192] = {};
};

} // namespace tw::test
