// "play": plays a project live, with notes from MIDI sources and sound on an audio output,
// and prints every incoming MIDI message as the Midi Monitor shows it.
#include "cli/play_command.h"

#include "cli/cli.h"

#include "devices/audio_device.h"
#include "devices/library_chatter.h"
#include "devices/midi_device.h"
#include "devices/preferences.h"
#include "engine/live_events.h"
#include "engine/rate_bridge.h"
#include "engine/voices.h"
#include "model/text.h"
#include "platform/atomic_file.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tw::cli {

namespace {

constexpr const char* kUsageText =
    "usage: tonewright-cli play IN.tw1 [--seconds N] [--rate N] [--audio NAME] [--midi NAME]\n"
    "       tonewright-cli play --list\n";

constexpr const char* kHelpText =
    "\nPlays the project live until N seconds have passed (default: until Ctrl-C).\n"
    "\n"
    "  --seconds N   stop after N seconds\n"
    "  --rate N      ask for N samples per second (default: the preferences', else 44100);\n"
    "                a sound server that runs at another rate decides, and play says so\n"
    "  --audio NAME  play on the audio output NAME (default: the preferred one, else the\n"
    "                first)\n"
    "  --midi NAME   take notes from the MIDI source NAME, opened when it appears\n"
    "                (default: the preferred one, else none but play's own input)\n"
    "  --list        print the audio outputs and MIDI sources found, and stop\n"
    "\n"
    "Besides the chosen source, play offers a MIDI input port of its own, \"Tonewright MIDI In\" "
    "(on JACK, and on the\n"
    "ALSA sequencer where it runs): connect any source to it at any time with qjackctl,\n"
    "Carla, pw-link, jack_connect or aconnect. A source that goes away is opened again\n"
    "when it comes back. Each incoming MIDI message is printed as the Midi Monitor shows\n"
    "it. Exits with status 1 when audio cannot start or the sound server goes away.\n";

// The Midi Monitor repaints every 20 ms; the player prints at the same pace.
constexpr auto kPrintInterval = std::chrono::milliseconds(20);
// Sources are looked for less often: listing them asks the sound server.
constexpr int kTicksPerSourceLook = 10;
constexpr long long kMaxSeconds = 7 * 24 * 3600;
constexpr long long kLowestRate = 8000;
constexpr long long kHighestRate = 384000;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int /*signal*/) {
    stopRequested = 1;
}

void PlayMessage(void* engine, int32_t status, int32_t data1, int32_t data2) {
    HandleMidiMessage(*static_cast<Engine*>(engine), status, data1, data2);
}

void AdoptRate(void* player, uint32_t rate) {
    AdoptSampleRate(static_cast<LivePlayer*>(player)->engine, rate);
}

int64_t JackBlockClock(void* midi, uint32_t frames, uint32_t /*rate*/) noexcept {
    return static_cast<MidiInput*>(midi)->AudioBlockFrame(frames);
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
    long long rate = 0;    // 0: the preferences'
    std::optional<std::string> audio, midi;
    bool list = false;
};

// Reads the arguments; returns kOk, or the exit status for arguments that do not fit.
int ParsePlayArguments(int argc, char** argv, PlayOptions& options) {
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" || arg == "--rate") {
            const bool seconds = arg == "--seconds";
            const long long low = seconds ? 1 : kLowestRate;
            const long long high = seconds ? kMaxSeconds : kHighestRate;
            const auto value = hasValue ? ParseInteger(argv[i + 1], low, high) : std::nullopt;
            if (!value) {
                PrintError("%s needs a whole number from %lld to %lld\n%s", argv[i], low, high,
                           kUsageText);
                return kUsage;
            }
            (seconds ? options.seconds : options.rate) = *value;
            ++i;
        } else if (arg == "--audio" || arg == "--midi") {
            if (!hasValue) {
                PrintError("%s needs a device name\n%s", argv[i], kUsageText);
                return kUsage;
            }
            (arg == "--audio" ? options.audio : options.midi) = argv[++i];
        } else if (arg == "--list") {
            options.list = true;
        } else if (options.in.empty() && !arg.starts_with("--")) {
            options.in = arg;
        } else {
            PrintError("unexpected argument '%s'\n%s", argv[i], kUsageText);
            return kUsage;
        }
    }
    if (options.in.empty() && !options.list) {
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
    if (!prefsBytes) return devices;
    auto scratch = std::make_unique<Project>();
    uint32_t reset = 0;
    if (DecodePreferences(*prefsBytes, *scratch, devices, &reset) == PreferencesRead::Damaged) {
        std::fprintf(stderr, "tonewright-cli: the preferences file '%s' is damaged%s%s\n",
                     prefsPath.c_str(), reset != 0 ? "; using defaults for: " : "",
                     DescribePreferenceFields(reset).c_str());
    }
    return devices;
}

int ListDevices(AudioOutput& audio, MidiInput& midi) {
    audio.InitAudioDevices("");
    midi.InitMidiDevices("", false);
    std::printf("Audio outputs:\n");
    for (uint32_t i = 0; i < audio.DeviceCount(); ++i)
        std::printf("  \"%s\"\n", audio.DeviceName(i));
    if (audio.DeviceCount() == 0) std::printf("  (none: is a sound server running?)\n");
    std::printf("MIDI sources:\n");
    for (uint32_t i = 0; i < midi.DeviceCount(); ++i) std::printf("  \"%s\"\n", midi.DeviceName(i));
    if (midi.DeviceCount() == 0) std::printf("  (none)\n");
    std::fflush(stdout);
    return kOk;
}

// Whether `name` is listed; says so and how to find the names when it is not.
bool AudioListed(const AudioOutput& audio, const std::string& name) {
    for (uint32_t i = 0; i < audio.DeviceCount(); ++i)
        if (name == audio.DeviceName(i)) return true;
    PrintError("there is no audio output named \"%s\": 'tonewright-cli play --list' shows them",
               name.c_str());
    return false;
}

// Why audio did not start and what to do, in one line.
void ReportAudioFailure(const AudioOutput& audio) {
    if (audio.DeviceCount() == 0) {
        PrintError("no audio output found: start a sound server (a JACK server, or PipeWire "
                   "with its JACK support) and play again");
        return;
    }
    std::string why = audio.StartProblem();
    for (char& c : why)
        if (c == '\n') c = ' ';
    PrintError("the audio output \"%s\" could not be started%s%s%s: choose another with --audio "
               "NAME ('tonewright-cli play --list' shows them)",
               audio.DeviceName(audio.SelectedDevice()), why.empty() ? "" : " (", why.c_str(),
               why.empty() ? "" : ")");
}

// Says what plays where.
void ReportDevices(const std::string& in, const AudioOutput& audio, const MidiInput& midi,
                   long long seconds) {
    std::fprintf(stderr, "Playing '%s' on \"%s\" at %u Hz (%u frames per block)\n", in.c_str(),
                 audio.DeviceName(audio.SelectedDevice()), audio.StreamRate(),
                 audio.BufferFrames());
    if (audio.StreamRate() != audio.SampleRate()) {
        std::fprintf(stderr, "The audio output runs at %u Hz, so play does too (asked for %u Hz)\n",
                     audio.StreamRate(), audio.SampleRate());
    }
    if (const uint32_t rate = EngineRateFor(audio.StreamRate()); rate != audio.StreamRate()) {
        std::fprintf(stderr,
                     "The design runs at %u Hz and is resampled to %u Hz, as a plugin in such a "
                     "session plays it\n",
                     rate, audio.StreamRate());
    }
    // On JACK the program is one client: its outputs and its input are named for whoever
    // wires them by hand.
    const std::vector<std::string> outputs = midi.OwnAudioPortNames();
    if (outputs.size() == 2 && midi.OwnAudioRunning()) {
        std::fprintf(stderr, "Audio outputs: \"%s\" and \"%s\"\n", outputs[0].c_str(),
                     outputs[1].c_str());
    }
    const std::string own = midi.OwnPortInterfaces();
    const std::string jackPort = midi.OwnJackPortName();
    if (!jackPort.empty()) {
        // The full name is what connection tools take, and a second running program's
        // client is numbered by the server.
        std::fprintf(stderr, "MIDI input: connect any source to \"%s\" (%s)\n", jackPort.c_str(),
                     own.c_str());
    } else if (!own.empty()) {
        std::fprintf(stderr, "MIDI input: connect any source to \"%s\" (%s)\n", kOwnMidiPortName,
                     own.c_str());
    }
    if (midi.IsPortOpen()) {
        std::fprintf(stderr, "MIDI source: \"%s\"\n", midi.FollowedSource());
    } else if (midi.FollowedSource()[0] != '\0') {
        std::fprintf(stderr, "MIDI source \"%s\" is not there: it is opened when it appears\n",
                     midi.FollowedSource());
    }
    std::fprintf(stderr, "%s\n",
                 seconds > 0 ? "Stops when the time is up or on Ctrl-C." : "Ctrl-C stops.");
}

void PrintSourceChange(const MidiInput& midi, MidiSourceChange change) {
    const char* source = midi.FollowedSource();
    switch (change) {
    case MidiSourceChange::None:
        return;
    case MidiSourceChange::Gone:
        std::printf("MIDI source \"%s\" is gone: it is opened again when it comes back\n", source);
        break;
    case MidiSourceChange::Back:
        std::printf("MIDI source \"%s\" is back\n", source);
        break;
    case MidiSourceChange::Found:
        std::printf("MIDI source \"%s\" is connected\n", source);
        break;
    }
    std::fflush(stdout);
}

// Prints the incoming messages, moves the controls bound to controllers and follows the
// MIDI source until the time is up (never, for
// 0 seconds), a stop is requested or the audio output stops by itself. False in that last
// case.
bool PlayUntilStopped(Engine& engine, const AudioOutput& audio, MidiInput& midi, long long seconds,
                      uint32_t& cursor) {
    stopRequested = 0;
    std::signal(SIGINT, &RequestStop);
    std::signal(SIGTERM, &RequestStop);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool playing = true;
    for (int tick = 1; stopRequested == 0 && playing &&
                       (seconds == 0 || std::chrono::steady_clock::now() < until);
         ++tick) {
        std::this_thread::sleep_for(kPrintInterval);
        TakeControlChanges(engine);
        PrintNewMessages(midi, cursor);
        if (tick % kTicksPerSourceLook == 0) PrintSourceChange(midi, midi.FollowSource());
        playing = audio.IsRunning();
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return playing;
}

} // namespace

int CommandPlay(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        const Session where(true);
        std::printf("%s%s\nThe preferences are read from %s.\n", kUsageText, kHelpText,
                    PreferencesPath(*where.project).c_str());
        return kOk;
    }
    PlayOptions options;
    if (const int status = ParsePlayArguments(argc, argv, options); status != kOk) return status;
    // The libraries' own lines would bury the one line that says what is wrong.
    SilenceLibraryChatter();

    Session session(quiet);
    Engine& engine = *session.engine;
    // What the devices would show in boxes, play says in its own lines.
    HeadlessPlatform deviceNotices;
    // Live messages play on their own frames, as in the program.
    auto player = std::make_unique<LivePlayer>(engine);
    MidiInput midi(deviceNotices, &PlayMessage, &engine);
    midi.SetTimedHandler(&PostLiveMessage, player.get());
    AudioOutput audio(deviceNotices, &ProcessLiveAudio, player.get());
    audio.SetRateHandler(&AdoptRate);
    // On JACK the audio outputs join the MIDI input on the program's one client.
    audio.UseOwnClient(&midi);
    if (audio.OnJack()) {
        player->clock = &JackBlockClock;
        player->clockData = &midi;
    }
    if (options.list) return ListDevices(audio, midi);

    const DevicePreferences devices = ReadDevicePreferences(session);
    const auto rate = options.rate != 0 ? static_cast<uint32_t>(options.rate)
                                        : SampleRateOfCode(devices.sampleRateCode);
    // The engine's tables are built for the rate by the reset that opening the project
    // does; a device at another rate has them rebuilt before it plays.
    engine.sampleRate = static_cast<float>(rate);
    if (!session.Open(options.in)) return kFailed;
    // Every voice the design plays is made before the audio thread starts.
    PrepareVoices(engine, session.project->voiceCount);

    // The program's order: MIDI first, then the audio list.
    midi.InitMidiDevices(options.midi.value_or(std::string(GetText(devices.midiDevice))),
                         !options.midi);
    const std::string audioName = options.audio.value_or(std::string(GetText(devices.audioDevice)));
    audio.SetSampleRate(rate);
    audio.InitAudioDevices(audioName);
    if (options.audio && !AudioListed(audio, audioName)) return kFailed;
    audio.StartAudio(audio.SelectedDevice());
    if (!audio.IsRunning()) {
        ReportAudioFailure(audio);
        return kFailed;
    }
    session.project->RebuildRoutes();
    ReportDevices(options.in, audio, midi, options.seconds);

    uint32_t cursor = 0;
    const bool played = PlayUntilStopped(engine, audio, midi, options.seconds, cursor);
    if (!played) PrintError("the sound server went away: playing stopped");

    // Leaving as the program leaves: MIDI closes first, then audio stops.
    midi.CloseMidi();
    audio.StopAudio();
    PrintNewMessages(midi, cursor);
    return played ? kOk : kFailed;
}

} // namespace tw::cli
