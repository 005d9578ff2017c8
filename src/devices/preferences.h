#pragma once

// The installation's preferences: one small raw file in the settings folder that holds
// the plugin target directory, the preferred MIDI and audio devices, the sample rate, and
// whether (and which) project is reopened at start-up.
#include "model/project.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace tw {

inline constexpr int32_t kDeviceNameSize = 128;

// The longest file the program can write: the version, four counted texts filling their
// fields, the rate code and the open-last flag. A longer file is damaged.
inline constexpr std::size_t kLargestPreferencesFile =
    4 + (4 + kPathSize - 1) + 2 * (4 + kDeviceNameSize - 1) + 2 + (4 + kPathSize - 1);

// The values of the file, one bit each, for saying which of them a damaged file reset.
enum PreferenceField : uint32_t {
    kPrefPluginFolder = 1u << 0,
    kPrefMidiDevice = 1u << 1,
    kPrefAudioDevice = 1u << 2,
    kPrefSampleRate = 1u << 3,
    kPrefOpenLastProject = 1u << 4,
    kPrefLastProject = 1u << 5,
    kPrefAllFields = (1u << 6) - 1,
};

// "MIDI device, sample rate": the named values in file order.
std::string DescribePreferenceFields(uint32_t fields);

// The preference values that are not fields of the project record. The plugin target
// directory, the open-last flag and the last project path live in the `Project`.
struct DevicePreferences {
    char midiDevice[kDeviceNameSize] = {};
    char audioDevice[kDeviceNameSize] = {};
    // The sample rate as the file stores it, an index into kSampleRates; SampleRateOfCode
    // turns it into the rate. Any other code read from a file is kept as it is, so that
    // writing the file back changes nothing.
    uint8_t sampleRateCode = 0;
};

// The sample rates the Preferences dialog offers, by their code.
inline constexpr uint32_t kSampleRates[] = {44100, 48000, 88200, 96000};
inline constexpr uint8_t kSampleRateCodeCount = 4;
static_assert(std::size(kSampleRates) == kSampleRateCodeCount);

// The rate a code names. A code the program never writes names the default, 44100 Hz.
constexpr uint32_t SampleRateOfCode(uint8_t code) noexcept {
    return code < kSampleRateCodeCount ? kSampleRates[code] : kSampleRates[0];
}

// What reading the file found.
enum class PreferencesRead {
    Loaded,       // every value was read
    Truncated,    // the file ended early: the values read so far were taken, the rest kept
    Missing,      // the file could not be opened
    WrongVersion, // the first word is not the program's version
    Damaged,      // a stored length does not fit its field, or the file is longer than any
                  // the program writes: the values that could be read were taken, the
                  // others took their defaults
};

// "Tonewright_v0.414.cfg".
std::string PreferencesFileName();

// Application folder + "/Resources/Tonewright_v0.414.cfg": where a program run from its
// application folder keeps the file.
std::string PreferencesPath(std::string_view appFolder);

// The file in the project's settings folder (model/app_folders.h).
std::string PreferencesPath(const Project& project);

// The file's bytes for the current values.
std::string EncodePreferences(const Project& project, const DevicePreferences& devices);

// Reads the file's bytes into the values. A value is taken only when it was read whole; a
// foreign file changes nothing. In a damaged file a text whose length does not fit its
// field is skipped when its bytes are there, so the values after it still count; every
// value that cannot be read takes its default, and `reset` (when given) receives their
// PreferenceField bits.
PreferencesRead DecodePreferences(std::string_view bytes, Project& project,
                                  DevicePreferences& devices, uint32_t* reset = nullptr);

// The services the start-up path needs from the rest of the program.
class PreferencesHost {
public:
    virtual ~PreferencesHost() = default;
    // The new-project defaults (identity, skin, layout, zoom, patch names, empty tables).
    virtual void ApplyNewProjectDefaults(Project& project) = 0;
    // Opens a project file; a successful open stores the path in `projectPath`.
    virtual void OpenProject(Project& project, const std::string& path) = 0;
    // Points the Properties window at nothing and refreshes it.
    virtual void ClearProperties(Project& project) = 0;
    virtual void ShowInformation(std::string_view text) = 0;
    virtual void ShowError(std::string_view text) = 0;
};

// Defaults, a new project, the demo project and the notice that says so.
void LoadDefaultPreferences(Project& project, DevicePreferences& devices, PreferencesHost& host);

// Reads the preferences file (never more of it than the largest one can be); may open the
// last project or the demo project. Returns what was found in the file. A damaged file
// keeps what can be read, is kept as "<name>.bak" before anything writes over it, and is
// reported with the values that were reset; a last project path that could not be read
// reopens nothing.
PreferencesRead LoadPreferences(Project& project, DevicePreferences& devices,
                                PreferencesHost& host);

// Writes the preferences file through a temporary file and a rename, so a failed write
// leaves the previous file whole. Shows "Can not save to\n<path>" and returns false on
// failure.
bool SavePreferences(const Project& project, const DevicePreferences& devices,
                     PreferencesHost& host);

} // namespace tw
