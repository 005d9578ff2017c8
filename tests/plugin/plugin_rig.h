#pragma once

// Shared set-up of the plugin tests: building a project into a plugin folder of its own,
// and a small LV2 host on lilv that plays a built plugin with note events.
#include "engine/engine.h"
#include "engine/render.h"
#include "export/build_log.h"
#include "export/plugin_build.h"
#include "model/text.h"
#include "plugin/lv2_contract.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tw::test {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
class PluginScratch {
public:
    PluginScratch() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("tw_plugin_") + info->test_suite_name() + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = fs::temp_directory_path() / name;
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~PluginScratch() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

class QuietBuildHost final : public BuildHost {
public:
    void ShowError(std::string_view) override {}
    void ShowWarning(std::string_view) override {}
    void Pause(int) override {}
    Bitmap CapturePanel(int32_t, int32_t) override { return {}; }
};

// Builds the project as the Build Project dialog does, from the staged application folder
// (templates and the Default skin) into `target`. Returns the plugin folder.
inline fs::path BuildInto(Project& project, const fs::path& target, std::string_view name,
                          int32_t platform = kTarget64Bit) {
    SetText(project.appFolder, TW_APP_DIR);
    SetText(project.outputFolder, target.string());
    SetText(project.pluginName, name);
    project.targetPlatform = platform;
    std::vector<std::string> lines;
    BuildLog log{[&](std::string_view line) { lines.emplace_back(line); }};
    QuietBuildHost host;
    EXPECT_TRUE(BuildPlugin(project, {384, 261}, log, host));
    EXPECT_EQ(log.errorCount, 0) << ::testing::PrintToString(lines);
    return target / std::string(name);
}

inline std::string UriOf(const Project& project) {
    return lv2::PluginUri(GetText(project.uniqueId), GetText(project.pluginName));
}

// A minimal LV2 host: one world, the URID map, one plugin instance.
class LilvHost {
public:
    explicit LilvHost(const fs::path& bundle) : world_(lilv_world_new()) {
        urids_.emplace_back(""); // URID 0 means "none"
        map_.handle = this;
        map_.map = &LilvHost::Map;
        mapFeature_ = {LV2_URID__map, &map_};
        if (bundle.empty()) return; // a host that only maps URIDs
        std::string dir = bundle.string();
        if (dir.back() != '/') dir += '/';
        LilvNode* uri = lilv_new_file_uri(world_, nullptr, dir.c_str());
        lilv_world_load_bundle(world_, uri);
        lilv_node_free(uri);
    }
    ~LilvHost() {
        if (instance_ != nullptr) {
            lilv_instance_deactivate(instance_);
            lilv_instance_free(instance_);
        }
        lilv_world_free(world_);
    }
    LilvHost(const LilvHost&) = delete;
    LilvHost& operator=(const LilvHost&) = delete;

    LilvWorld* World() const { return world_; }
    LV2_URID_Map* UridMap() { return &map_; }
    LV2_URID Urid(const char* uri) { return Map(this, uri); }

    const LilvPlugin* Find(const std::string& uri) const {
        LilvNode* node = lilv_new_uri(world_, uri.c_str());
        const LilvPlugin* plugin =
            lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
        lilv_node_free(node);
        return plugin;
    }

    // Instantiates and activates the plugin; the control ports start at their defaults.
    bool Start(const std::string& uri, double rate) {
        plugin_ = Find(uri);
        if (plugin_ == nullptr) return false;
        const LV2_Feature* features[] = {&mapFeature_, nullptr};
        const auto start = std::chrono::steady_clock::now();
        instance_ = lilv_plugin_instantiate(plugin_, rate, features);
        loadSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (instance_ == nullptr) return false;
        const uint32_t ports = lilv_plugin_get_num_ports(plugin_);
        controls_.assign(ports, 0.0f);
        std::vector<float> defaults(ports, 0.0f);
        lilv_plugin_get_port_ranges_float(plugin_, nullptr, nullptr, defaults.data());
        for (uint32_t i = lv2::kFirstParameterPort; i < ports; ++i) {
            controls_[i] = defaults[i];
            lilv_instance_connect_port(instance_, i, &controls_[i]);
        }
        lilv_instance_connect_port(instance_, lv2::kMidiInPort, midi_.data());
        lilv_instance_activate(instance_);
        return true;
    }

    // Sets a control input by its port symbol.
    void SetControl(const std::string& symbol, float value) {
        LilvNode* sym = lilv_new_string(world_, symbol.c_str());
        const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, sym);
        lilv_node_free(sym);
        ASSERT_NE(port, nullptr) << symbol;
        controls_[lilv_port_get_index(plugin_, port)] = value;
    }

    void Restart() {
        lilv_instance_deactivate(instance_);
        lilv_instance_activate(instance_);
    }

    // Plays `frames` frames in host blocks of `block` frames; events are placed in the block
    // that holds their frame. Appends the output to `left` and `right`; returns the seconds
    // spent inside the plugin's run.
    double Play(std::span<const NoteEvent> events, uint32_t frames, uint32_t block,
                std::vector<float>& left, std::vector<float>& right, uint32_t firstFrame = 0) {
        std::vector<float> outL(block), outR(block);
        lilv_instance_connect_port(instance_, lv2::kOutLeftPort, outL.data());
        lilv_instance_connect_port(instance_, lv2::kOutRightPort, outR.data());
        double seconds = 0.0;
        for (uint32_t done = 0; done < frames;) {
            const uint32_t n = std::min(block, frames - done);
            ClearSequence();
            for (const NoteEvent& e : events) {
                const uint32_t at = e.frame - firstFrame;
                if (e.frame >= firstFrame && at >= done && at < done + n)
                    AppendNote(at - done, static_cast<uint8_t>(e.status),
                               static_cast<uint8_t>(e.note), static_cast<uint8_t>(e.velocity));
            }
            const auto start = std::chrono::steady_clock::now();
            lilv_instance_run(instance_, n);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            left.insert(left.end(), outL.begin(), outL.begin() + n);
            right.insert(right.end(), outR.begin(), outR.begin() + n);
            done += n;
        }
        return seconds;
    }

    // One run of `frames` frames with the sequence as the caller prepared it.
    void RunPrepared(uint32_t frames, std::vector<float>& left, std::vector<float>& right) {
        left.assign(frames, 0.0f);
        right.assign(frames, 0.0f);
        lilv_instance_connect_port(instance_, lv2::kOutLeftPort, left.data());
        lilv_instance_connect_port(instance_, lv2::kOutRightPort, right.data());
        lilv_instance_run(instance_, frames);
    }

    // Appends a raw MIDI message of any length at `frame` of the next block.
    void AppendMidi(uint32_t frame, const std::vector<uint8_t>& bytes) {
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(midi_.data());
        auto* end = reinterpret_cast<uint8_t*>(&seq->body) + seq->atom.size;
        auto* ev = reinterpret_cast<LV2_Atom_Event*>(end);
        ev->time.frames = frame;
        ev->body.type = Urid(LV2_MIDI__MidiEvent);
        ev->body.size = static_cast<uint32_t>(bytes.size());
        std::memcpy(ev + 1, bytes.data(), bytes.size());
        seq->atom.size +=
            static_cast<uint32_t>(lv2_atom_pad_size(sizeof(LV2_Atom_Event) + bytes.size()));
    }

    void ClearSequence() {
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(midi_.data());
        seq->atom.type = Urid(LV2_ATOM__Sequence);
        seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
        seq->body.unit = 0;
        seq->body.pad = 0;
    }

    double loadSeconds = 0.0;

private:
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto* self = static_cast<LilvHost*>(handle);
        for (std::size_t i = 1; i < self->urids_.size(); ++i)
            if (self->urids_[i] == uri) return static_cast<LV2_URID>(i);
        self->urids_.emplace_back(uri);
        return static_cast<LV2_URID>(self->urids_.size() - 1);
    }

    void AppendNote(uint32_t frame, uint8_t status, uint8_t note, uint8_t velocity) {
        AppendMidi(frame, {status, note, velocity});
    }

    LilvWorld* world_;
    const LilvPlugin* plugin_ = nullptr;
    LilvInstance* instance_ = nullptr;
    std::vector<std::string> urids_;
    LV2_URID_Map map_{};
    LV2_Feature mapFeature_{};
    std::vector<float> controls_;
    alignas(8) std::array<uint8_t, 8192> midi_{};
};

// The editor's reference: RenderOffline of the engine the project was loaded with.
struct Rendered {
    std::vector<float> left;
    std::vector<float> right;
};
inline Rendered RenderReference(Engine& engine, std::span<const NoteEvent> events, uint32_t frames,
                                uint32_t block = 512) {
    Rendered r{std::vector<float>(frames), std::vector<float>(frames)};
    RenderOffline(engine, events, frames, block, r.left.data(), r.right.data());
    return r;
}

// Index of the first sample whose bits differ, or -1 when all are identical.
inline long FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    return -1;
}

} // namespace tw::test
