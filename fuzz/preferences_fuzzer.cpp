// libFuzzer harness for the preferences file reader. Whatever the bytes, every text field
// must stay terminated inside its size, a foreign file must change nothing, a damaged one
// must say which values it reset, and the values of a file that reads whole (or damaged)
// must write out and read back unchanged.
#include "devices/preferences.h"
#include "model/text.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

template <std::size_t N> bool Terminated(const char (&field)[N]) {
    return strnlen(field, N) < N;
}

// A field filled to one byte short of its size, so that a reader that forgets the
// terminator leaves text that runs to the end of the field.
template <std::size_t N> void Fill(char (&field)[N], char c) {
    std::memset(field, c, N - 1);
    field[N - 1] = '\0';
}

// The values the reader may change, as plain copies for comparing.
struct Values {
    std::string outputFolder, projectPath, midiDevice, audioDevice;
    uint8_t openLastProject = 0;
    uint8_t sampleRateCode = 0;

    Values(const tw::Project& p, const tw::DevicePreferences& d)
        : outputFolder(tw::GetText(p.outputFolder)), projectPath(tw::GetText(p.projectPath)),
          midiDevice(tw::GetText(d.midiDevice)), audioDevice(tw::GetText(d.audioDevice)),
          openLastProject(p.openLastProject), sampleRateCode(d.sampleRateCode) {}
    bool operator==(const Values&) const = default;
};

void CheckFields(const tw::Project& p, const tw::DevicePreferences& d) {
    Check(Terminated(p.outputFolder) && Terminated(p.projectPath));
    Check(Terminated(d.midiDevice) && Terminated(d.audioDevice));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The record is large; one lives for the whole run and only the preference fields are
    // set before each input.
    static auto* project = new tw::Project;
    static auto* second = new tw::Project;
    tw::DevicePreferences devices;

    // Alternate the starting state so that "kept as it was" is seen from two codes.
    const bool odd = size % 2 == 1;
    Fill(project->outputFolder, 'o');
    Fill(project->projectPath, 'p');
    Fill(devices.midiDevice, 'm');
    Fill(devices.audioDevice, 'a');
    project->openLastProject = odd ? 7 : 1;
    devices.sampleRateCode = odd ? 1 : 9;
    const Values before(*project, devices);

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    uint32_t reset = 0;
    const tw::PreferencesRead result = tw::DecodePreferences(bytes, *project, devices, &reset);
    CheckFields(*project, devices);
    Check(result == tw::PreferencesRead::Damaged || reset == 0);

    switch (result) {
    case tw::PreferencesRead::WrongVersion:
        Check(Values(*project, devices) == before);
        return 0;
    case tw::PreferencesRead::Truncated:
        return 0;
    case tw::PreferencesRead::Damaged:
    case tw::PreferencesRead::Loaded:
        break;
    case tw::PreferencesRead::Missing:
        Check(false); // only a file that could not be opened is missing
        return 0;
    }

    // The values are a fixed point of writing and reading. Texts cut at an embedded NUL
    // can only make the written file shorter than the one read.
    const std::string written = tw::EncodePreferences(*project, devices);
    if (result == tw::PreferencesRead::Loaded) Check(written.size() <= size);
    tw::DevicePreferences again;
    Check(tw::DecodePreferences(written, *second, again) == tw::PreferencesRead::Loaded);
    CheckFields(*second, again);
    Check(Values(*second, again) == Values(*project, devices));
    return 0;
}
