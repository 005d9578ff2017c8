// Writes the seed corpora: project files made by SaveProject, from an empty project to
// one that fills every chunk; the same projects' manifests appended to a stand-in plugin
// template; preferences files; MIDI message runs; and a few small pictures.
#include "devices/preferences.h"
#include "export/manifest.h"
#include "model/engine_control.h"
#include "model/lifecycle.h"
#include "model/project_file.h"
#include "model/text.h"
#include "platform/headless_platform.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

class QuietEngine final : public tw::EngineControl {
public:
    void ResetDspState() override {}
    void ClearDelayLine() override {}
};

struct Maker {
    std::unique_ptr<tw::Project> p = std::make_unique<tw::Project>();
    tw::HeadlessPlatform platform;
    QuietEngine engine;
    Maker() {
        tw::FullReset(*p, engine);
        tw::ApplyNewProjectDefaults(*p, platform);
    }
    int32_t Add(int32_t type, int32_t x, int32_t y) {
        return p->InsertModule(type, x, y, 400, 300);
    }
    void Wire(int32_t from, int32_t out, int32_t to, int32_t in) {
        p->Connect(tw::PortIndex(from, out), tw::PortIndex(to, in));
    }
    bool Save(const std::filesystem::path& path) {
        return tw::SaveProject(*p, platform, path.string());
    }
    // The manifest a build appends, after a few bytes standing in for the template.
    bool SaveManifest(const std::filesystem::path& path) {
        tw::AtomicFile file(path.string());
        if (!file.Write("\x7f"
                        "ELF template stand-in"))
            return false;
        tw::BuildLog log;
        return tw::WriteManifest(*p, file, path.string(), 384, 261, log) && file.Commit();
    }
    bool SaveBoth(const std::filesystem::path& folder, const std::string& name) {
        const bool project = Save(folder / "open_project" / (name + ".tw1"));
        return SaveManifest(folder / "manifest" / (name + ".dat")) && project;
    }
};

bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool WriteText(const std::filesystem::path& path, const std::string& bytes) {
    return WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> Bmp(uint16_t bpp, int32_t width, int32_t height, uint32_t colours) {
    const uint32_t stride = (static_cast<uint32_t>(width) * bpp + 31u) / 32u * 4u;
    const uint32_t palette = bpp <= 8 ? colours * 4u : 0u;
    const uint32_t offset = 54 + palette;
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    b.push_back('B');
    b.push_back('M');
    u32(offset + stride * static_cast<uint32_t>(height < 0 ? -height : height));
    u32(0);
    u32(offset);
    u32(40);
    u32(static_cast<uint32_t>(width));
    u32(static_cast<uint32_t>(height));
    u16(1);
    u16(bpp);
    u32(0);
    u32(0);
    u32(0);
    u32(0);
    u32(bpp <= 8 ? colours : 0);
    u32(0);
    for (uint32_t i = 0; i < palette; ++i) b.push_back(static_cast<uint8_t>(i * 37));
    for (uint32_t i = 0; i < stride * static_cast<uint32_t>(height < 0 ? -height : height); ++i) {
        b.push_back(static_cast<uint8_t>(i * 13));
    }
    return b;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds SEED_FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const char* kind : {"open_project", "manifest", "preferences", "midi", "bmp"})
        std::filesystem::create_directories(root / kind);
    const std::filesystem::path pictures = root / "bmp";
    bool ok = true;

    ok = Maker().SaveBoth(root, "empty") && ok;

    {
        Maker m;
        tw::Project& p = *m.p;
        p.targetPlatform = tw::kTarget32Bit;
        p.cableStyle = 1;
        p.viewOriginX = -64;
        tw::SetText(p.pluginName, "Seed 100%");
        const int32_t midi = m.Add(tw::kTypeMidi2CV, 40, 40);
        const int32_t osc = m.Add(tw::kTypeOscillator, 160, 40);
        const int32_t adsr = m.Add(tw::kTypeAdsr, 280, 40);
        const int32_t amp = m.Add(tw::kTypeAmplifier, 400, 40);
        const int32_t bay = m.Add(tw::kTypePatchbay, 520, 40);
        const int32_t out = m.Add(tw::kTypeOutput, 640, 40);
        const int32_t par = m.Add(tw::kTypeParameter, 160, 300);
        m.Wire(midi, 1, osc, 1);
        m.Wire(midi, 0, adsr, 0);
        m.Wire(osc, 0, amp, 0);
        m.Wire(adsr, 0, amp, 1);
        m.Wire(amp, 0, bay, 0);
        m.Wire(bay, 0, out, 1);
        m.Wire(par, 0, osc, 3);
        for (int32_t patch = 0; patch < tw::kPatchCount; ++patch)
            p.slots[par].patchValues[patch] = patch;
        p.InsertPolygon(10, 10);
        p.InsertText(20, 20);
        p.InsertComment(60, 200);
        ok = m.SaveBoth(root, "voice") && ok;
        // The same design played as a keyboard instrument: its voices, channel and bend.
        p.voiceCount = 8;
        p.midiChannel = tw::kAllChannels;
        p.bendRange = 12;
        ok = m.SaveBoth(root, "voices") && ok;
    }

    {
        Maker m;
        for (int32_t i = 0; i < 40; ++i)
            m.Add(i % 2 == 0 ? tw::kTypeParameter : tw::kTypePatchbay, 20 * i, 7 * i);
        for (int32_t i = 1; i < 40; i += 2) m.Wire(i - 1, 0, i, 0);
        ok = m.SaveBoth(root, "many") && ok;
    }

    {
        Maker m;
        tw::Project& p = *m.p;
        tw::DevicePreferences devices;
        ok = WriteText(root / "preferences" / "defaults.cfg", tw::EncodePreferences(p, devices)) &&
             ok;
        tw::SetText(p.outputFolder, "/home/user/.lv2");
        tw::SetText(p.projectPath, "/home/user/Tonewright/Projects/Demo Synth.tw1");
        p.openLastProject = 1;
        tw::SetText(devices.midiDevice, "Midi Through Port-0");
        tw::SetText(devices.audioDevice, "system");
        devices.sampleRateCode = 1;
        ok = WriteText(root / "preferences" / "full.cfg", tw::EncodePreferences(p, devices)) && ok;
        std::string longest(tw::kPathSize - 1, 'x');
        tw::SetText(p.outputFolder, longest);
        tw::SetText(p.projectPath, longest);
        tw::SetText(devices.midiDevice, std::string(tw::kDeviceNameSize - 1, 'm'));
        p.openLastProject = 0;
        devices.sampleRateCode = 2;
        ok = WriteText(root / "preferences" / "longest.cfg", tw::EncodePreferences(p, devices)) &&
             ok;
    }

    // MIDI runs: a length byte, then the message.
    const std::vector<uint8_t> notes = {3, 0x90, 60, 100, 3, 0x80, 60, 0, 3, 0x90, 64, 0};
    const std::vector<uint8_t> channels = {3, 0x91, 60,   100, 3,  0xB0, 7,    100, 2,   0xC0,
                                           5, 3,    0xE0, 0,   64, 1,    0xF8, 1,   0xFE};
    const std::vector<uint8_t> sysex = {9, 0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0x90, 60, 1,
                                        2, 0x90, 61,   0,    4,    0x90, 200,  1,    7};
    ok = WriteBytes(root / "midi" / "notes.mid", notes) && ok;
    ok = WriteBytes(root / "midi" / "channels.mid", channels) && ok;
    ok = WriteBytes(root / "midi" / "sysex.mid", sysex) && ok;

    ok = WriteBytes(pictures / "rgb24.bmp", Bmp(24, 5, 3, 0)) && ok;
    ok = WriteBytes(pictures / "topdown32.bmp", Bmp(32, 3, -4, 0)) && ok;
    ok = WriteBytes(pictures / "indexed8.bmp", Bmp(8, 7, 2, 16)) && ok;
    ok = WriteBytes(pictures / "mono1.bmp", Bmp(1, 17, 3, 2)) && ok;
    ok = WriteBytes(pictures / "nibble4.bmp", Bmp(4, 9, 2, 16)) && ok;
    return ok ? 0 : 1;
}
