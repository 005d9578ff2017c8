#include "devices/audio_device.h"

#include <RtAudio.h>
#include <dlfcn.h>
#include <jack/jack.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <utility>

namespace tw {

namespace {

constexpr uint32_t kChannels = 2;
constexpr unsigned int kRequestedFrames = 512;
constexpr int kProbeAttempts = 3;
// How long StopAudio waits for a sign of life from the stream: a cycle of a live server
// comes within a period, and a dead server's stream is closed by the library within
// milliseconds. Only a server that is alive but stalled uses up the whole wait.
constexpr auto kLifeSignWait = std::chrono::seconds(1);
constexpr auto kLifeSignPoll = std::chrono::milliseconds(2);

// Errors the library reports while a stream runs are of no use to the user (the stream is
// stopped or the device is gone, and "Stop Audio" cleans up), so they are dropped. Errors
// while opening or starting are raised as exceptions and printed where they are caught.
void IgnoreAudioError(RtAudioError::Type /*type*/, const std::string& /*text*/) {}

void ShowNotice(Platform& platform, const char* text) {
    platform.ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Information);
}

RtAudio::Api LibraryApi(AudioApi api) {
    return api == AudioApi::Jack ? RtAudio::UNIX_JACK : RtAudio::UNSPECIFIED;
}

// When a JACK server dies, JACK calls the client's shutdown handler on one of its own
// threads and, when the client is then closed, cancels that thread asynchronously. RtAudio's
// handler starts a thread that closes the stream and meanwhile prints a notice on std::cerr;
// the close cancels the printing thread, and a cancellation that lands inside the C++
// runtime's non-unwinding parts of that printing ends the whole program. So every shutdown
// handler registered in this process runs with cancellation held off; a cancellation
// that arrived meanwhile takes effect as the handler returns, where the thread unwinds
// cleanly.
constexpr int kGuardedHandlers = 8;
std::atomic<JackShutdownCallback> guardedHandlers[kGuardedHandlers];

template <int I> void GuardedShutdownHandler(void* arg) {
    const JackShutdownCallback handler = guardedHandlers[I].load(std::memory_order_acquire);
    int previous = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    handler(arg);
    pthread_setcancelstate(previous, nullptr);
}

template <int... I>
constexpr std::array<JackShutdownCallback, sizeof...(I)>
MakeGuards(std::integer_sequence<int, I...>) {
    return {&GuardedShutdownHandler<I>...};
}
constexpr auto kShutdownGuards = MakeGuards(std::make_integer_sequence<int, kGuardedHandlers>());

// The guarded stand-in for `handler`; the handler itself once every place is taken by
// another one (there is one per library that registers handlers, so that never happens).
JackShutdownCallback GuardShutdownHandler(JackShutdownCallback handler) {
    for (int i = 0; i < kGuardedHandlers; ++i) {
        JackShutdownCallback held = nullptr;
        if (guardedHandlers[i].compare_exchange_strong(held, handler, std::memory_order_acq_rel) ||
            held == handler) {
            return kShutdownGuards[static_cast<std::size_t>(i)];
        }
    }
    return handler;
}

} // namespace

} // namespace tw

// Takes the place of the JACK library's function for every library in the process (RtAudio
// included) and registers the guarded stand-in with the library's own.
extern "C" void jack_on_shutdown(jack_client_t* client, JackShutdownCallback function, void* arg) {
    using Register = void (*)(jack_client_t*, JackShutdownCallback, void*);
    static const auto next = reinterpret_cast<Register>(dlsym(RTLD_NEXT, "jack_on_shutdown"));
    if (next == nullptr) return;
    next(client, function != nullptr ? tw::GuardShutdownHandler(function) : nullptr, arg);
}

namespace tw {

AudioOutput::AudioOutput(Platform& platform, AudioCallback callback, void* userData, AudioApi api)
    : platform_(platform), callback_(callback), userData_(userData) {
    try {
        audio_ = std::make_unique<RtAudio>(LibraryApi(api));
    } catch (const RtAudioError& e) {
        e.printMessage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "RtAudio: %s\n", e.what());
    }
}

AudioOutput::~AudioOutput() {
    StopAudio();
}

const char* AudioOutput::DeviceName(uint32_t device) const noexcept {
    return device < deviceCount_ ? names_[device] : "";
}

bool AudioOutput::OnJack() const noexcept {
    return audio_ && audio_->getCurrentApi() == RtAudio::UNIX_JACK;
}

bool AudioOutput::IsRunning() const noexcept {
    if (onOwn_) return running_ && own_->OwnAudioRunning();
    // When the JACK server goes away the library closes the stream itself.
    return running_ && audio_ && audio_->isStreamOpen();
}

int AudioOutput::Cycle(void* output, void* input, unsigned int frames, double streamTime,
                       unsigned int status, void* self) {
    auto* out = static_cast<AudioOutput*>(self);
    const int result = out->callback_(output, input, frames, streamTime, status, out->userData_);
    out->cycles_.fetch_add(1, std::memory_order_release);
    return result;
}

bool AudioOutput::StreamAlive() const {
    const uint32_t seen = cycles_.load(std::memory_order_acquire);
    const auto deadline = std::chrono::steady_clock::now() + kLifeSignWait;
    while (audio_->isStreamOpen()) {
        if (cycles_.load(std::memory_order_acquire) != seen) return true;
        if (std::chrono::steady_clock::now() > deadline) return true;
        std::this_thread::sleep_for(kLifeSignPoll);
    }
    return false;
}

void AudioOutput::InitAudioDevices(std::string_view preferredName, bool tell) {
    deviceCount_ = 0;
    selected_ = 0;
    std::memset(names_, 0, sizeof names_);

    unsigned int count = 0;
    if (audio_) {
        try {
            count = audio_->getDeviceCount();
        } catch (const RtAudioError& e) {
            e.printMessage();
            count = 0;
        }
    }
    if (count >= kMaxAudioDevices) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "More than %d Audio devices found\nOnly the first %d will be available.",
                      static_cast<int>(kMaxAudioDevices), static_cast<int>(kMaxAudioDevices));
        if (tell) ShowNotice(platform_, text);
        count = kMaxAudioDevices;
    }
    if (count == 0) {
        if (tell) ShowNotice(platform_, "No audio devices available");
        return;
    }
    deviceCount_ = count;

    // The names come from a second library object on the same host interface, so the
    // indices agree with the ones StartAudio opens.
    try {
        RtAudio probe(audio_->getCurrentApi());
        // The program's own outputs are no device to play into. Leaving them out moves the
        // indices after them, which only the own client's start (by name) then uses.
        const std::string own = own_ != nullptr && OnJack() ? own_->OwnClientName() : "";
        uint32_t kept = 0;
        for (uint32_t i = 0; i < deviceCount_; ++i) {
            std::string name;
            // A JACK device is probed through a fresh connection to the server, which a busy
            // machine can refuse for a moment; the name then comes back empty.
            for (int attempt = 0; attempt < kProbeAttempts && name.empty(); ++attempt) {
                try {
                    name = probe.getDeviceInfo(i).name;
                } catch (const RtAudioError& e) {
                    // A device that went away since the count keeps an empty name.
                    e.printMessage();
                    break;
                }
            }
            if (!own.empty() && name == own) continue;
            const std::size_t length = std::min<std::size_t>(name.size(), kDeviceNameSize - 1);
            std::memcpy(names_[kept], name.data(), length);
            if (std::string_view(names_[kept]) == preferredName) selected_ = kept;
            ++kept;
        }
        deviceCount_ = kept;
    } catch (const RtAudioError& e) {
        e.printMessage();
    }
}

uint32_t AudioOutput::DeviceRate(uint32_t device) {
    try {
        const RtAudio::DeviceInfo info = audio_->getDeviceInfo(device);
        const auto& rates = info.sampleRates;
        if (!info.probed || rates.empty() ||
            std::find(rates.begin(), rates.end(), sampleRate_) != rates.end()) {
            return sampleRate_;
        }
        return info.preferredSampleRate != 0 ? info.preferredSampleRate : rates.back();
    } catch (const RtAudioError&) {
        // Not probed: the open below says whether the requested rate works.
    }
    return sampleRate_;
}

void AudioOutput::StartAudio(uint32_t device) {
    if (!audio_ || deviceCount_ == 0 || device >= deviceCount_) return;
    if (audio_->isStreamOpen() || IsRunning()) return;
    startProblem_.clear();
    const auto fail = [this](std::string problem) {
        // On the stream the library's own messages go to, so that whoever quiets those
        // (the terminal player, which says it in its own words) quiets this too.
        std::cerr << "RtAudio: " << problem << '\n';
        startProblem_ = std::move(problem);
    };

    if (own_ != nullptr && OnJack()) {
        StartOnOwnClient(device);
        return;
    }

    RtAudio::StreamParameters output;
    output.deviceId = device;
    output.nChannels = kChannels;
    output.firstChannel = 0;
    // The engine writes the left block then the right block. Exclusive use and real-time
    // scheduling are requests; where the system refuses real-time scheduling the library
    // runs the callback thread without it.
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_NONINTERLEAVED | RTAUDIO_HOG_DEVICE | RTAUDIO_SCHEDULE_REALTIME;
    unsigned int frames = kRequestedFrames;
    // A JACK server runs at the rate it was started with, and any other is refused.
    const uint32_t rate = DeviceRate(device);
    try {
        audio_->openStream(&output, nullptr, RTAUDIO_FLOAT32, rate, &frames, &AudioOutput::Cycle,
                           this, &options, &IgnoreAudioError);
        if (!audio_->isStreamOpen()) {
            fail("the output stream could not be opened");
            return;
        }
        // The engine's tables follow the rate before the first block is asked for.
        if (rateHandler_ != nullptr) rateHandler_(userData_, rate);
        audio_->startStream();
        // With an error callback installed the library may report a failed start to it
        // instead of raising, so the outcome is checked rather than assumed.
        if (!audio_->isStreamRunning()) {
            fail("the output stream could not be started");
            audio_->closeStream();
            return;
        }
        bufferFrames_ = frames;
        streamRate_ = rate;
        running_ = true;
    } catch (const RtAudioError& e) {
        e.printMessage();
        startProblem_ = e.getMessage();
        if (audio_->isStreamOpen()) {
            try {
                audio_->closeStream();
            } catch (const RtAudioError& closing) {
                closing.printMessage();
            }
        }
    }
}

void AudioOutput::StartOnOwnClient(uint32_t device) {
    if (running_ && own_->OwnAudioRunning()) return;
    // A server that came back since the own client went with the old one is joined first.
    const uint32_t rate = own_->JoinServer() ? own_->OwnClientRate() : 0;
    if (rate == 0) {
        startProblem_ = "the program is not on the JACK server";
        std::cerr << "JACK: " << startProblem_ << '\n';
        return;
    }
    // The engine's tables follow the rate before the first block is asked for.
    if (rateHandler_ != nullptr) rateHandler_(userData_, rate);
    uint32_t frames = 0;
    if (!own_->StartOwnAudio(callback_, userData_, names_[device], frames, startProblem_)) {
        std::cerr << "JACK: " << startProblem_ << '\n';
        return;
    }
    bufferFrames_ = frames;
    streamRate_ = rate;
    running_ = true;
    onOwn_ = true;
}

void AudioOutput::StopAudio() {
    if (onOwn_) {
        own_->StopOwnAudio();
        onOwn_ = false;
        running_ = false;
        bufferFrames_ = 0;
        return;
    }
    if (!running_ || !audio_) return;
    running_ = false;
    bufferFrames_ = 0;
    // When the JACK server dies under a running stream, the library closes the stream on a
    // thread of its own, without any lock. Until that is done the stream must not be
    // touched: stopping it would wait for cycles that never come, and closing it would
    // free what that thread frees. So the stream is only stopped once a cycle shows that
    // the server is alive, and left alone once the library has closed it. Asking the
    // library to stop a stream that is not open would crash it.
    if (!StreamAlive()) return;
    try {
        // Aborting skips the wait for the output to drain, which would never end should
        // the server die right now; what remains of the block is silence either way.
        if (audio_->isStreamRunning()) audio_->abortStream();
    } catch (const RtAudioError& e) {
        e.printMessage();
    }
    try {
        if (audio_->isStreamOpen()) audio_->closeStream();
    } catch (const RtAudioError& e) {
        e.printMessage();
    }
    // No cycle runs any more: what the last one wrote belongs to this thread from here.
    (void)cycles_.load(std::memory_order_acquire);
}

} // namespace tw
