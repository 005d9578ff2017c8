// "render": runs a project offline into a stereo 32-bit float WAV file.
#include "cli/cli.h"

#include "engine/controls.h"
#include "engine/engine.h"
#include "engine/keyboard.h"
#include "engine/render.h"
#include "model/lifecycle.h"
#include "platform/atomic_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace tw::cli {

namespace {

constexpr const char* kUsageText =
    "usage: tonewright-cli render IN.tw1 OUT.wav [--rate R] [--frames N] [--block N]\n"
    "                             [--patch P] [--set SLOT=STEP]... [--events FILE]\n"
    "                             [--voices N]\n";

constexpr const char* kHelpText =
    "\nRenders the project from a fresh engine reset into a stereo 32-bit float WAV file.\n"
    "\n"
    "  --rate R        sample rate, 22050 to 192000 (default 44100); the design runs at\n"
    "                  44100 or 48000 and is resampled to any other rate, as a plugin\n"
    "                  or a sound card at R plays it (the file starts with the delay the\n"
    "                  resampler adds, which a plugin reports to its host)\n"
    "  --frames N      length in sample frames, 1 to 100000000 (default 44100)\n"
    "  --block N       frames per engine block, 1 to 65536 (default 512)\n"
    "  --patch P       patch to play, 0 to 127 (default 0)\n"
    "  --set SLOT=STEP set a Parameter's step in that patch (repeatable)\n"
    "  --events FILE   events, one per line: 'FRAME on NOTE VELOCITY', 'FRAME off NOTE'\n"
    "                  'FRAME cc NUMBER VALUE' (64 is the sustain pedal, 120 All Sound\n"
    "                  Off, 123 All Notes Off; any moves the panel control bound to it)\n"
    "                  or 'FRAME bend VALUE' (pitch bend 0 to 16383, 8192 none); each is\n"
    "                  applied just before frame FRAME, on the design's own channel.\n"
    "                  Blank lines and text after '#' are ignored.\n"
    "  --voices N      play with N voices, 1 to 16, instead of the project's own count\n"
    "                  (the file is not changed)\n";

constexpr long long kMaxFrames = 100000000;
constexpr long long kMaxBlock = 65536;

struct Setting {
    int32_t slot = 0;
    int32_t step = 0;
};

struct Options {
    std::string in;
    std::string out;
    int32_t rate = 44100;
    uint32_t frames = 44100;
    uint32_t block = 512;
    int32_t patch = 0;
    std::vector<Setting> settings;
    std::string eventsFile;
    int32_t voices = 0; // 0: the project's own count
};

bool ParseSetting(std::string_view text, Setting& s) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) return false;
    const auto slot = ParseInteger(text.substr(0, eq), 0, kSlotCount - 1);
    const auto step = ParseInteger(text.substr(eq + 1), INT32_MIN, INT32_MAX);
    if (!slot || !step) return false;
    s = {static_cast<int32_t>(*slot), static_cast<int32_t>(*step)};
    return true;
}

// Returns kOk, or the exit code for a usage error already reported.
int ParseOptions(int argc, char** argv, Options& o) {
    std::vector<std::string> positional;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() < 2 || arg.substr(0, 2) != "--") {
            positional.emplace_back(arg);
            continue;
        }
        if (i + 1 >= argc) {
            PrintError("%s needs a value\n%s", argv[i], kUsageText);
            return kUsage;
        }
        const std::string_view value = argv[++i];
        bool good = true;
        if (arg == "--rate") {
            const auto v = ParseInteger(value, 0, 1000000);
            good = v && *v >= kLowestDeviceRate && *v <= kHighestDeviceRate;
            if (good) o.rate = static_cast<int32_t>(*v);
        } else if (arg == "--frames") {
            const auto v = ParseInteger(value, 1, kMaxFrames);
            good = v.has_value();
            if (good) o.frames = static_cast<uint32_t>(*v);
        } else if (arg == "--block") {
            const auto v = ParseInteger(value, 1, kMaxBlock);
            good = v.has_value();
            if (good) o.block = static_cast<uint32_t>(*v);
        } else if (arg == "--patch") {
            const auto v = ParseInteger(value, 0, kPatchCount - 1);
            good = v.has_value();
            if (good) o.patch = static_cast<int32_t>(*v);
        } else if (arg == "--set") {
            Setting s;
            good = ParseSetting(value, s);
            if (good) o.settings.push_back(s);
        } else if (arg == "--events") {
            o.eventsFile = value;
        } else if (arg == "--voices") {
            const auto v = ParseInteger(value, 1, kMaxVoices);
            good = v.has_value();
            if (good) o.voices = static_cast<int32_t>(*v);
        } else {
            PrintError("unknown option '%s'\n%s", argv[i - 1], kUsageText);
            return kUsage;
        }
        if (!good) {
            PrintError("bad value '%s' for %s\n%s", argv[i], argv[i - 1], kUsageText);
            return kUsage;
        }
    }
    if (positional.size() != 2) {
        PrintError("expected IN.tw1 and OUT.wav\n%s", kUsageText);
        return kUsage;
    }
    o.in = positional[0];
    o.out = positional[1];
    return kOk;
}

// Reads "FRAME on NOTE VELOCITY", "FRAME off NOTE" and "FRAME cc NUMBER VALUE" lines; false
// after reporting the first bad line.
bool ReadEvents(const std::string& path, std::vector<NoteEvent>& events) {
    std::ifstream in(path);
    if (!in) {
        PrintError("cannot read events file '%s'", path.c_str());
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        char kind[8] = {};
        long long frame = 0, first = 0, second = 0;
        char extra = 0;
        int n = std::sscanf(line.c_str(), " %lld %7s %lld %lld %c", &frame, kind, &first, &second,
                            &extra);
        if (n <= 0) continue; // blank
        const bool on = std::strcmp(kind, "on") == 0;
        const bool off = std::strcmp(kind, "off") == 0;
        const bool cc = std::strcmp(kind, "cc") == 0;
        const bool bend = std::strcmp(kind, "bend") == 0;
        const bool shapeOk = ((on || cc) && n == 4) || ((off || bend) && n == 3);
        const long long firstTop = bend ? 16383 : 127;
        if (!shapeOk || frame < 0 || frame > UINT32_MAX || first < 0 || first > firstTop ||
            (n == 4 && (second < 0 || second > 127))) {
            PrintError("%s:%d: expected 'FRAME on NOTE VELOCITY', 'FRAME off NOTE', "
                       "'FRAME cc NUMBER VALUE' with NOTE, VELOCITY, NUMBER and VALUE 0 to 127, "
                       "or 'FRAME bend VALUE' with VALUE 0 to 16383",
                       path.c_str(), number);
            return false;
        }
        const auto at = static_cast<uint32_t>(frame);
        if (bend) {
            // A pitch-bend message carries its value as two 7-bit halves.
            const auto value = static_cast<int32_t>(first);
            events.push_back({at, kPitchBend, value & 127, value >> 7});
            continue;
        }
        const int32_t status = on ? kNoteOn : off ? kNoteOff : kControlChange;
        events.push_back(
            {at, status, static_cast<int32_t>(first), off ? 0 : static_cast<int32_t>(second)});
    }
    return true;
}

bool ApplySettings(Session& s, const Options& o) {
    Project& p = *s.project;
    SelectPatch(p, s.platform, o.patch);
    for (const Setting& set : o.settings) {
        ModuleSlot& m = p.slots[set.slot];
        if (m.type != kTypeParameter) {
            PrintError("--set %d=%d: slot %d holds no Parameter", static_cast<int>(set.slot),
                       static_cast<int>(set.step), static_cast<int>(set.slot));
            return false;
        }
        if (set.step < 0 || set.step > m.steps) {
            PrintError("--set %d=%d: the Parameter's steps are 0 to %d", static_cast<int>(set.slot),
                       static_cast<int>(set.step), static_cast<int>(m.steps));
            return false;
        }
        m.patchValues[o.patch] = set.step;
        p.RecomputeParameterValue(set.slot);
    }
    return true;
}

class Progress {
public:
    explicit Progress(uint32_t total) : total_(total), start_(std::chrono::steady_clock::now()) {}
    ~Progress() {
        if (shown_) std::fputc('\n', stderr);
    }
    void Update(uint32_t done) {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        if (elapsed < std::chrono::seconds(1)) return;
        constexpr int kWidth = 40;
        const double fraction = total_ > 0 ? static_cast<double>(done) / total_ : 1.0;
        const int filled = static_cast<int>(fraction * kWidth);
        char bar[kWidth + 1];
        for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
        bar[kWidth] = '\0';
        std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, static_cast<int>(fraction * 100.0));
        std::fflush(stderr);
        shown_ = true;
    }

private:
    uint32_t total_;
    std::chrono::steady_clock::time_point start_;
    bool shown_ = false;
};

// Renders into a temporary file beside the target, renamed over it once complete.
bool RenderToWav(Session& s, const Options& o, const std::vector<NoteEvent>& events) {
    AtomicFile out(o.out);
    if (!out.IsOpen()) {
        PrintError("cannot write '%s': %s", o.out.c_str(), std::strerror(out.Error()));
        return false;
    }
    SF_INFO info{};
    info.samplerate = o.rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    // The file keeps its descriptor: the commit flushes and closes it.
    SNDFILE* file = sf_open_fd(out.Descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr) {
        PrintError("cannot write '%s': %s", o.out.c_str(), sf_strerror(nullptr));
        return false;
    }

    // Chunks are whole blocks, so the engine sees the same block boundaries as in one call.
    const uint32_t chunk = o.block * std::max<uint32_t>(1, 65536 / o.block);
    std::vector<float> left(chunk), right(chunk), interleaved(2u * chunk);
    std::vector<NoteEvent> chunkEvents;
    Progress progress(o.frames);
    bool ok = true;
    for (uint32_t done = 0; ok && done < o.frames;) {
        const uint32_t n = std::min(chunk, o.frames - done);
        chunkEvents.clear();
        for (const NoteEvent& e : events) {
            if (e.frame >= done && e.frame - done < n) {
                NoteEvent shifted = e;
                shifted.frame -= done;
                chunkEvents.push_back(shifted);
            }
        }
        RenderOffline(*s.engine, chunkEvents, n, o.block, left.data(), right.data());
        for (uint32_t i = 0; i < n; ++i) {
            interleaved[2u * i] = left[i];
            interleaved[2u * i + 1] = right[i];
        }
        ok = sf_writef_float(file, interleaved.data(), n) == static_cast<sf_count_t>(n);
        done += n;
        progress.Update(done);
    }
    if (!ok) PrintError("cannot write '%s': %s", o.out.c_str(), sf_strerror(file));
    const bool closed = sf_close(file) == 0;
    if (ok && (!closed || !out.Commit())) {
        PrintError("cannot write '%s': %s", o.out.c_str(),
                   std::strerror(out.Error() != 0 ? out.Error() : EIO));
        ok = false;
    }
    return ok;
}

} // namespace

int CommandRender(int argc, char** argv, bool quiet) {
    if (WantsHelp(argc, argv)) {
        std::printf("%s%s", kUsageText, kHelpText);
        return kOk;
    }
    Options o;
    if (const int code = ParseOptions(argc, argv, o); code != kOk) return code;
    std::vector<NoteEvent> events;
    if (!o.eventsFile.empty() && !ReadEvents(o.eventsFile, events)) return kFailed;

    Session s(quiet);
    // The design's own rate enters the tables the engine reset builds, and opening resets
    // the engine; the bridge carries the sound from there to the file's rate.
    s.engine->sampleRate = static_cast<float>(OpenBridgeFor(*s.engine, o.rate));
    if (!s.Open(o.in)) return kFailed;
    if (!ApplySettings(s, o)) return kUsage;
    if (o.voices > 0) s.project->voiceCount = o.voices;
    return RenderToWav(s, o, events) ? kOk : kFailed;
}

} // namespace tw::cli
