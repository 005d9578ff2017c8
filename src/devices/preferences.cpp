#include "devices/preferences.h"

#include "model/app_folders.h"
#include "model/text.h"
#include "platform/atomic_file.h"
#include "platform/byte_io.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include <unistd.h>

namespace tw {

namespace {

// The values as found in the file, before any of them is taken.
struct Staged {
    std::optional<std::string_view> outputFolder, midiDevice, audioDevice, projectPath;
    std::optional<uint8_t> sampleRateCode, openLastProject;
    bool ended = false;   // the file stops before its last value
    bool damaged = false; // a length that does not fit, or more bytes than any file has
    bool lost = false;    // a length that cannot be skipped: nothing after it can be found
};

// A counted text that must fit a field of `fieldSize` bytes with its terminator. A longer
// one is damage; its bytes are skipped when they are there.
void ReadText(ByteReader& r, int32_t fieldSize, Staged& s, std::optional<std::string_view>& out) {
    if (s.ended || s.lost) return;
    int32_t length = 0;
    if (!r.I32(length)) {
        s.ended = true;
        return;
    }
    if (length < 0 || length > fieldSize - 1) {
        s.damaged = true;
        s.lost = length < 0 || !r.Skip(static_cast<uint32_t>(length));
        return;
    }
    std::string_view text;
    s.ended = !r.Text(static_cast<uint32_t>(length), text);
    if (!s.ended) out = text;
}

void ReadByte(ByteReader& r, Staged& s, std::optional<uint8_t>& out) {
    if (s.ended || s.lost) return;
    uint8_t value = 0;
    s.ended = !r.U8(value);
    if (!s.ended) out = value;
}

PreferencesRead Stage(std::string_view bytes, Staged& s) {
    // Nothing past the largest file is looked at: the caller reads one byte more than
    // that, only to know that there is more.
    s.damaged = bytes.size() > kLargestPreferencesFile;
    ByteReader r(bytes.substr(0, kLargestPreferencesFile));
    int32_t version = 0;
    if (!r.I32(version)) return PreferencesRead::Damaged;
    if (version != kProgramVersion) return PreferencesRead::WrongVersion;
    ReadText(r, kPathSize, s, s.outputFolder);
    ReadText(r, kDeviceNameSize, s, s.midiDevice);
    ReadText(r, kDeviceNameSize, s, s.audioDevice);
    ReadByte(r, s, s.sampleRateCode);
    ReadByte(r, s, s.openLastProject);
    ReadText(r, kPathSize, s, s.projectPath);
    if (s.damaged) return PreferencesRead::Damaged;
    return s.ended ? PreferencesRead::Truncated : PreferencesRead::Loaded;
}

struct FieldName {
    PreferenceField field;
    const char* name;
};
constexpr FieldName kFieldNames[] = {
    {kPrefPluginFolder, "plugin folder"},        {kPrefMidiDevice, "MIDI device"},
    {kPrefAudioDevice, "audio device"},          {kPrefSampleRate, "sample rate"},
    {kPrefOpenLastProject, "open last project"}, {kPrefLastProject, "last project"}};

// A second name for the damaged file, so that its bytes survive the next save. The file
// is only ever replaced, never rewritten, so a hard link keeps them without copying (the
// file may be huge); where links are not to be had, the bytes are copied.
bool KeepCopy(const std::string& path, const std::string& copy) {
    std::remove(copy.c_str());
    if (link(path.c_str(), copy.c_str()) == 0) return true;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    AtomicFile out(copy);
    char buffer[65536];
    std::size_t n = 0;
    bool ok = out.IsOpen();
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = out.Write({buffer, n});
    ok = ok && std::ferror(in) == 0;
    std::fclose(in);
    return ok && out.Commit();
}

void ReportDamage(const std::string& path, uint32_t reset, PreferencesHost& host) {
    std::string text = "The preferences file is damaged:\n" + path + "\n\n";
    text += reset == 0 ? std::string("Every setting could still be read.")
                       : "Reset to their defaults: " + DescribePreferenceFields(reset) + ".";
    const std::string copy = path + ".bak";
    text += KeepCopy(path, copy) ? "\n\nThe damaged file was kept as\n" + copy
                                 : "\n\nNo copy of the damaged file could be kept.";
    host.ShowInformation(text);
}

} // namespace

std::string DescribePreferenceFields(uint32_t fields) {
    std::string out;
    for (const FieldName& f : kFieldNames) {
        if ((fields & f.field) == 0) continue;
        if (!out.empty()) out += ", ";
        out += f.name;
    }
    return out;
}

std::string PreferencesFileName() {
    char version[32];
    std::snprintf(version, sizeof version, "_v0.%d.cfg", static_cast<int>(kProgramVersion));
    return std::string(kProductName) + version;
}

std::string PreferencesPath(std::string_view appFolder) {
    return Join(Join(appFolder, "Resources"), PreferencesFileName());
}

std::string PreferencesPath(const Project& project) {
    return Join(SettingsFolder(project), PreferencesFileName());
}

std::string EncodePreferences(const Project& project, const DevicePreferences& devices) {
    ByteWriter out;
    out.I32(kProgramVersion);
    out.CountedText(GetText(project.outputFolder));
    out.CountedText(GetText(devices.midiDevice));
    out.CountedText(GetText(devices.audioDevice));
    out.U8(devices.sampleRateCode);
    out.U8(project.openLastProject);
    out.CountedText(GetText(project.projectPath));
    return out.Take();
}

PreferencesRead DecodePreferences(std::string_view bytes, Project& project,
                                  DevicePreferences& devices, uint32_t* reset) {
    Staged s;
    const PreferencesRead result = Stage(bytes, s);
    if (reset != nullptr) *reset = 0;
    if (result == PreferencesRead::WrongVersion) return result;
    if (s.outputFolder) SetText(project.outputFolder, *s.outputFolder);
    if (s.midiDevice) SetText(devices.midiDevice, *s.midiDevice);
    if (s.audioDevice) SetText(devices.audioDevice, *s.audioDevice);
    if (s.sampleRateCode) devices.sampleRateCode = *s.sampleRateCode;
    if (s.openLastProject) project.openLastProject = *s.openLastProject;
    if (s.projectPath) SetText(project.projectPath, *s.projectPath);
    if (result != PreferencesRead::Damaged) return result;

    // What a damaged file does not give takes its default, so that no value of an earlier
    // read passes for one of this file.
    const DevicePreferences defaults;
    uint32_t missed = 0;
    if (!s.outputFolder) {
        missed |= kPrefPluginFolder;
        SetText(project.outputFolder, "");
    }
    if (!s.midiDevice) {
        missed |= kPrefMidiDevice;
        SetText(devices.midiDevice, GetText(defaults.midiDevice));
    }
    if (!s.audioDevice) {
        missed |= kPrefAudioDevice;
        SetText(devices.audioDevice, GetText(defaults.audioDevice));
    }
    if (!s.sampleRateCode) {
        missed |= kPrefSampleRate;
        devices.sampleRateCode = defaults.sampleRateCode;
    }
    if (!s.openLastProject) {
        missed |= kPrefOpenLastProject;
        project.openLastProject = 1;
    }
    if (!s.projectPath) {
        missed |= kPrefLastProject;
        SetText(project.projectPath, "");
    }
    if (reset != nullptr) *reset = missed;
    return result;
}

void LoadDefaultPreferences(Project& project, DevicePreferences& devices, PreferencesHost& host) {
    SetText(project.outputFolder, "");
    SetText(devices.midiDevice, "");
    SetText(devices.audioDevice, "");
    devices.sampleRateCode = 0;
    project.openLastProject = 1;
    // Defaults include having no last project: only a demo that opens becomes one.
    SetText(project.projectPath, "");
    host.ApplyNewProjectDefaults(project);
    host.OpenProject(project, DemoProjectPath(project));
    host.ClearProperties(project);
    host.ShowInformation(
        "Tonewright default startup mode.\n\nPlease Visit:- Setup -> Preferences.");
}

PreferencesRead LoadPreferences(Project& project, DevicePreferences& devices,
                                PreferencesHost& host) {
    const std::string path = PreferencesPath(project);
    const std::optional<std::string> bytes = ReadWholeFile(path, kLargestPreferencesFile + 1);
    PreferencesRead result = PreferencesRead::Missing;
    if (!bytes) {
        LoadDefaultPreferences(project, devices, host);
    } else {
        uint32_t reset = 0;
        result = DecodePreferences(*bytes, project, devices, &reset);
        if (result == PreferencesRead::WrongVersion) {
            // A foreign file is not trusted to name a project to reopen.
            LoadDefaultPreferences(project, devices, host);
            return result;
        }
        if (result == PreferencesRead::Damaged) ReportDamage(path, reset, host);
        if (project.openLastProject != 1 || (reset & kPrefLastProject) != 0 ||
            project.projectPath[0] == '\0') {
            // Nothing to reopen: the program starts on a new empty project, with its skin
            // loaded and its windows laid out as New Project lays them out.
            host.ApplyNewProjectDefaults(project);
            return result;
        }
    }
    host.OpenProject(project, std::string(GetText(project.projectPath)));
    return result;
}

bool SavePreferences(const Project& project, const DevicePreferences& devices,
                     PreferencesHost& host) {
    const std::string path = PreferencesPath(project);
    // An installed program's settings folder is made on the first save; an application
    // folder without its Resources folder is not completed here.
    std::error_code error;
    if (project.settingsFolder[0] != '\0')
        std::filesystem::create_directories(SettingsFolder(project), error);
    if (ReplaceFile(path, EncodePreferences(project, devices))) return true;
    host.ShowError("Can not save to\n" + path);
    return false;
}

} // namespace tw
