#include "devices/preferences.h"

#include "devices/file_io.h"
#include "model/text.h"

#include <cstdio>
#include <cstring>
#include <optional>

namespace tw {

namespace {

// Reads little-endian fields from the file's bytes; every read says whether the bytes
// were there.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    std::optional<int32_t> I32() {
        if (bytes_.size() - pos_ < 4) return std::nullopt;
        uint32_t u = 0;
        for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<uint8_t>(bytes_[pos_ + i]);
        pos_ += 4;
        return static_cast<int32_t>(u);
    }
    std::optional<uint8_t> U8() {
        if (pos_ >= bytes_.size()) return std::nullopt;
        return static_cast<uint8_t>(bytes_[pos_++]);
    }
    std::optional<std::string_view> Bytes(std::size_t n) {
        if (bytes_.size() - pos_ < n) return std::nullopt;
        std::string_view s = bytes_.substr(pos_, n);
        pos_ += n;
        return s;
    }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// The values as found in the file, before any of them is taken.
struct Staged {
    std::optional<std::string_view> outputFolder, midiDevice, audioDevice, projectPath;
    std::optional<uint8_t> sampleRateCode, openLastProject;
};

enum class TextRead { Ok, Short, TooLong };

// A counted text that must fit a field of `fieldSize` bytes with its terminator.
TextRead ReadText(Reader& r, int32_t fieldSize, std::optional<std::string_view>& out) {
    const std::optional<int32_t> length = r.I32();
    if (!length) return TextRead::Short;
    if (*length < 0 || *length > fieldSize - 1) return TextRead::TooLong;
    const std::optional<std::string_view> text = r.Bytes(static_cast<std::size_t>(*length));
    if (!text) return TextRead::Short;
    out = *text;
    return TextRead::Ok;
}

PreferencesRead Stage(std::string_view bytes, Staged& s) {
    Reader r(bytes);
    const std::optional<int32_t> version = r.I32();
    if (!version) return PreferencesRead::Damaged;
    if (*version != kProgramVersion) return PreferencesRead::WrongVersion;

    struct Field {
        std::optional<std::string_view>* text;
        int32_t size;
    };
    const Field before[] = {{&s.outputFolder, kPathSize},
                            {&s.midiDevice, kDeviceNameSize},
                            {&s.audioDevice, kDeviceNameSize}};
    for (const Field& f : before) {
        const TextRead t = ReadText(r, f.size, *f.text);
        if (t == TextRead::TooLong) return PreferencesRead::Damaged;
        if (t == TextRead::Short) return PreferencesRead::Truncated;
    }
    s.sampleRateCode = r.U8();
    if (!s.sampleRateCode) return PreferencesRead::Truncated;
    s.openLastProject = r.U8();
    if (!s.openLastProject) return PreferencesRead::Truncated;
    const TextRead t = ReadText(r, kPathSize, s.projectPath);
    if (t == TextRead::TooLong) return PreferencesRead::Damaged;
    if (t == TextRead::Short) return PreferencesRead::Truncated;
    return PreferencesRead::Loaded;
}

void ApplySampleRateCode(DevicePreferences& devices, uint8_t code) {
    devices.sampleRateCode = code;
    if (code == 0) devices.sampleRate = 44100;
    if (code == 1) devices.sampleRate = 48000;
    // Any other code leaves the rate as it was.
}

} // namespace

std::string PreferencesPath(std::string_view appFolder) {
    std::string base(appFolder);
    base.append("/Resources/").append(kProductName);
    char name[32];
    std::snprintf(name, sizeof name, "_v0.%d.cfg", static_cast<int>(kProgramVersion));
    return base + name;
}

std::string EncodePreferences(const Project& project, const DevicePreferences& devices) {
    std::string out;
    AppendI32(out, kProgramVersion);
    AppendCountedText(out, GetText(project.outputFolder));
    AppendCountedText(out, GetText(devices.midiDevice));
    AppendCountedText(out, GetText(devices.audioDevice));
    AppendU8(out, devices.sampleRateCode);
    AppendU8(out, project.openLastProject);
    AppendCountedText(out, GetText(project.projectPath));
    return out;
}

PreferencesRead DecodePreferences(std::string_view bytes, Project& project,
                                  DevicePreferences& devices) {
    Staged s;
    const PreferencesRead result = Stage(bytes, s);
    if (result == PreferencesRead::WrongVersion || result == PreferencesRead::Damaged) {
        return result;
    }
    if (s.outputFolder) SetText(project.outputFolder, *s.outputFolder);
    if (s.midiDevice) SetText(devices.midiDevice, *s.midiDevice);
    if (s.audioDevice) SetText(devices.audioDevice, *s.audioDevice);
    if (s.sampleRateCode) ApplySampleRateCode(devices, *s.sampleRateCode);
    if (s.openLastProject) project.openLastProject = *s.openLastProject;
    if (s.projectPath) SetText(project.projectPath, *s.projectPath);
    return result;
}

void LoadDefaultPreferences(Project& project, DevicePreferences& devices, PreferencesHost& host) {
    SetText(project.outputFolder, "");
    SetText(devices.midiDevice, "");
    SetText(devices.audioDevice, "");
    ApplySampleRateCode(devices, 0);
    project.openLastProject = 1;
    // Defaults include having no last project: only a demo that opens becomes one.
    SetText(project.projectPath, "");
    host.ApplyNewProjectDefaults(project);
    host.OpenProject(project, std::string(GetText(project.appFolder)) + "/Projects/Demo Synth.tw1");
    host.ClearProperties(project);
    host.ShowInformation(
        "Tonewright default startup mode.\n\nPlease Visit:- Setup -> Preferences.");
}

PreferencesRead LoadPreferences(Project& project, DevicePreferences& devices,
                                PreferencesHost& host) {
    const std::optional<std::string> bytes =
        ReadWholeFile(PreferencesPath(GetText(project.appFolder)));
    PreferencesRead result = PreferencesRead::Missing;
    if (!bytes) {
        LoadDefaultPreferences(project, devices, host);
    } else {
        result = DecodePreferences(*bytes, project, devices);
        if (result == PreferencesRead::WrongVersion || result == PreferencesRead::Damaged) {
            // A foreign or damaged file is not trusted to name a project to reopen.
            LoadDefaultPreferences(project, devices, host);
            return result;
        }
    }
    if (project.openLastProject == 1) {
        host.OpenProject(project, std::string(GetText(project.projectPath)));
    }
    return result;
}

bool SavePreferences(const Project& project, const DevicePreferences& devices,
                     PreferencesHost& host) {
    const std::string path = PreferencesPath(GetText(project.appFolder));
    if (ReplaceFile(path, EncodePreferences(project, devices))) return true;
    host.ShowError("Can not save to\n" + path);
    return false;
}

} // namespace tw
