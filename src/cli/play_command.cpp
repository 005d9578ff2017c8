// "play": plays a project live, with notes from the preferred MIDI input and sound on the
// preferred audio output, and prints every incoming MIDI message as the Midi Monitor shows
// it.
#include "cli/play_command.h"

#include "cli/cli.h"

#include "devices/audio_device.h"
#include "devices/file_io.h"
#include "devices/midi_device.h"
#include "devices/preferences.h"
#include "model/text.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace tw::cli {

namespace {

constexpr const char* kUsageText = "usage: tonewright-cli play IN.tw1 [--seconds N]\n";

constexpr const char* kHelpText =
    "\nPlays the project live until N seconds have passed (default: until Ctrl-C).\n"
    "Notes come from the preferred MIDI input and sound goes to the preferred audio\n"
    "output at the preferred sample rate, all taken from the preferences file\n"
    "./Resources/Tonewright_v0.414.cfg (without it: the first input and output at\n"
    "44100 Hz). Each incoming MIDI message is printed as the Midi Monitor shows it.\n";

// The Midi Monitor repaints every 20 ms; the player prints at the same pace.
constexpr auto kPrintInterval = std::chrono::milliseconds(20);
constexpr long long kMaxSeconds = 7 * 24 * 3600;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int /*signal*/) {
    stopRequested = 1;
}

void PlayNote(void* engine, int32_t status, int32_t note, int32_t velocity) {
    HandleNoteEvent(*static_cast<Engine*>(engine), status, note, velocity);
}

// Prints the messages that arrived since the last call.
void PrintNewMessages(const MidiInput& midi, uint32_t& cursor) {
    MidiMonitorWords words[64];
    for (;;) {
        uint32_t lost = 0;
        const uint32_t n = midi.Log().Read(cursor, words, 64, lost);
        if (lost > 0) std::printf("(%u messages came too fast to be shown)\n", lost);
        for (uint32_t i = 0; i < n; ++i) std::printf("%s\n", MidiMonitorLine(words[i]).c_str());
        if (n < 64) break;
    }
    std::fflush(stdout);
}

// What the command line asks for.
struct PlayOptions {
    std::string in;
    long long seconds = 0; // 0: until Ctrl-C
};

// Reads the arguments; returns kOk, or the exit status for arguments that do not fit.
int ParsePlayArguments(int argc, char** argv, PlayOptions& options) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--seconds") {
            const auto value = i + 1 < argc ? ParseInteger(argv[i + 1], 1, kMaxSeconds)
                                            : std::optional<long long>{};
            if (!value) {
                PrintError("--seconds needs a whole number from 1 to %lld\n%s", kMaxSeconds,
                           kUsageText);
                return kUsage;
            }
            options.seconds = *value;
            ++i;
        } else if (options.in.empty() && !arg.starts_with("--")) {
            options.in = arg;
        } else {
            PrintError("unexpected argument '%s'\n%s", argv[i], kUsageText);
            return kUsage;
        }
    }
    if (options.in.empty()) {
        PrintError("play needs a project file\n%s", kUsageText);
        return kUsage;
    }
    return kOk;
}

// The preferences name the devices and the rate. Their other values (the last project,
// the plugin folder) belong to the program's start-up and are not used here.
DevicePreferences ReadDevicePreferences(const Session& session) {
    DevicePreferences devices;
    const std::string prefsPath = PreferencesPath(*session.project);
    const auto prefsBytes = ReadWholeFile(prefsPath, kLargestPreferencesFile + 1);
    bool havePreferences = false;
    if (prefsBytes) {
        auto scratch = std::make_unique<Project>();
        uint32_t reset = 0;
        const PreferencesRead read = DecodePreferences(*prefsBytes, *scratch, devices, &reset);
        havePreferences = read != PreferencesRead::WrongVersion;
        if (read == PreferencesRead::Damaged) {
            std::fprintf(stderr, "tonewright-cli: the preferences file '%s' is damaged%s%s\n",
                         prefsPath.c_str(), reset != 0 ? "; using defaults for: " : "",
                         DescribePreferenceFields(reset).c_str());
        }
    }
    if (!havePreferences) {
        std::fprintf(stderr,
                     "tonewright-cli: no usable preferences at '%s': using the first MIDI input "
                     "and audio output at %u Hz\n",
                     prefsPath.c_str(), SampleRateOfCode(devices.sampleRateCode));
    }
    return devices;
}

// Says what plays where, or why nothing does.
void ReportDevices(const std::string& in, const AudioOutput& audio, const MidiInput& midi,
                   long long seconds) {
    if (audio.IsRunning()) {
        std::fprintf(stderr, "Playing '%s' on \"%s\" at %u Hz (%u frames per block)\n", in.c_str(),
                     audio.DeviceName(audio.SelectedDevice()), audio.SampleRate(),
                     audio.BufferFrames());
    } else if (audio.DeviceCount() > 0) {
        PrintError("the audio output \"%s\" could not be started at %u Hz",
                   audio.DeviceName(audio.SelectedDevice()), audio.SampleRate());
    }
    if (midi.IsPortOpen()) {
        std::fprintf(stderr, "MIDI input: \"%s\"\n", midi.DeviceName(midi.SelectedPort()));
    }
    std::fprintf(stderr, "%s\n",
                 seconds > 0 ? "Stops when the time is up or on Ctrl-C." : "Ctrl-C stops.");
}

// Prints the incoming messages until the time is up (never, for 0 seconds) or a stop is
// requested.
void PrintUntilStopped(const MidiInput& midi, long long seconds, uint32_t& cursor) {
    stopRequested = 0;
    std::signal(SIGINT, &RequestStop);
    std::signal(SIGTERM, &RequestStop);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (stopRequested == 0 && (seconds == 0 || std::chrono::steady_clock::now() < until)) {
        std::this_thread::sleep_for(kPrintInterval);
        PrintNewMessages(midi, cursor);
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace

int CommandPlay(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        std::printf("%s%s", kUsageText, kHelpText);
        return kOk;
    }
    PlayOptions options;
    if (const int status = ParsePlayArguments(argc, argv, options); status != kOk) return status;

    Session session(quiet);
    const DevicePreferences devices = ReadDevicePreferences(session);
    // The engine's tables are built for the rate by the reset that opening the project does.
    const uint32_t rate = SampleRateOfCode(devices.sampleRateCode);
    session.engine->sampleRate = static_cast<float>(rate);
    if (!session.Open(options.in)) return kFailed;
    Engine& engine = *session.engine;

    // The program's order: MIDI first, then the audio list; audio starts on request.
    MidiInput midi(session.platform, &PlayNote, &engine);
    midi.InitMidiDevices(devices.midiDevice);
    AudioOutput audio(session.platform, &ProcessAudio, &engine);
    audio.SetSampleRate(rate);
    audio.InitAudioDevices(devices.audioDevice);
    audio.StartAudio(audio.SelectedDevice());
    session.project->RebuildRoutes();
    ReportDevices(options.in, audio, midi, options.seconds);

    uint32_t cursor = 0;
    PrintUntilStopped(midi, options.seconds, cursor);

    // Leaving as the program leaves: MIDI closes first, then audio stops.
    midi.CloseMidi();
    const bool played = audio.IsRunning();
    audio.StopAudio();
    PrintNewMessages(midi, cursor);
    return played ? kOk : kFailed;
}

} // namespace tw::cli
