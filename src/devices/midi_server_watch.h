#pragma once

// The MIDI input's own JACK client, shared by the files that make up the MIDI input: the
// own MIDI port, the audio outputs, and the watch on the server.
#include "devices/midi_device.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace tw {

inline constexpr const char* kOwnClientName = "Tonewright";
inline constexpr const char* kOutputNames[2] = {"Out L", "Out R"};
// The largest block the own client plays; a server running larger ones gets silence.
inline constexpr uint32_t kMaxOwnAudioFrames = 8192;

// The program's own JACK client: it carries the program's own MIDI input port, and it
// watches the server. The MIDI library's JACK client is not told when the server dies,
// and keeps holding on to it. The JACK library then stays bound to the dead server, so
// that closing that client after a new server has started corrupts the state of every
// other client in the process, the audio output's among them. This client is told
// instead; its thread then drops the input's library object, and closes its own client,
// before a new server can come up. The own port lives here rather than on a client of the
// MIDI library for the same reason: one client fewer to close on a dead server.
class MidiInput::ServerWatch {
public:
    explicit ServerWatch(MidiInput& input, bool quietly = false) : input_(input) {
        jack_status_t status{};
        // Looking for a server that is not there is no error worth a line every second.
        void (*const said)(const char*) = jack_error_callback;
        if (quietly) jack_set_error_function(+[](const char*) {});
        client_ = jack_client_open(kOwnClientName, JackNoStartServer, &status);
        if (quietly) jack_set_error_function(said);
        if (client_ == nullptr) return;
        jack_on_info_shutdown(client_, &ServerWatch::OnShutdown, this);
        port_ = jack_port_register(client_, kOwnMidiPortName, JACK_DEFAULT_MIDI_TYPE,
                                   JackPortIsInput, 0);
        if (port_ != nullptr &&
            (jack_set_process_callback(client_, &ServerWatch::Process, this) != 0 ||
             jack_set_port_connect_callback(client_, &ServerWatch::OnConnect, this) != 0 ||
             jack_activate(client_) != 0)) {
            jack_port_unregister(client_, port_);
            port_ = nullptr;
        }
        thread_ = std::thread([this] { Run(); });
    }

    ~ServerWatch() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        if (client_ != nullptr) jack_client_close(client_);
    }

    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    bool Ok() const { return client_ != nullptr; }
    bool HasPort() const { return port_ != nullptr; }
    const char* PortName() const { return port_ != nullptr ? jack_port_name(port_) : ""; }
    jack_client_t* Client() const { return client_; }

    // Registers the audio outputs where they are not yet; false when the server refuses.
    bool RegisterOutputs() {
        for (int i = 0; i < 2; ++i) {
            if (out_[i].load(std::memory_order_relaxed) != nullptr) continue;
            jack_port_t* port = jack_port_register(client_, kOutputNames[i],
                                                   JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
            if (port == nullptr) return false;
            out_[i].store(port, std::memory_order_release);
        }
        return true;
    }
    jack_port_t* Output(int i) const { return out_[i].load(std::memory_order_relaxed); }

private:
    // The server's process thread: every event that reached the own port this cycle goes
    // the way of a message from the chosen source.
    // Each event carries its frame in the cycle, which becomes its frame on the server's
    // counter: the audio callback plays it on that very frame (one block later).
    static int Process(jack_nframes_t frames, void* self) {
        auto* watch = static_cast<ServerWatch*>(self);
        MidiInput& in = watch->input_;
        jack_nframes_t cycleFrame = 0;
        jack_time_t cycleUs = 0, nextUs = 0;
        float periodUs = 0.0f;
        const bool timed =
            jack_get_cycle_times(watch->client_, &cycleFrame, &cycleUs, &nextUs, &periodUs) == 0 &&
            nextUs > cycleUs;
        if (timed) {
            in.cycleUs_.store(static_cast<int64_t>(cycleUs), std::memory_order_relaxed);
            in.nextCycleUs_.store(static_cast<int64_t>(nextUs), std::memory_order_relaxed);
            in.cycleLength_.store(frames, std::memory_order_relaxed);
            in.cycleFrame_.store(cycleFrame, std::memory_order_release);
        }
        // Counted by the input, not the client, so that a client made afresh on a server
        // that came back goes on counting where the old one stopped.
        const uint32_t cycles = in.cycleCount_.fetch_add(1, std::memory_order_relaxed) + 1;
        in.cycleStamp_.store(static_cast<uint64_t>(jack_last_frame_time(watch->client_)) << 32 |
                                 cycles,
                             std::memory_order_relaxed);
        void* buffer = jack_port_get_buffer(watch->port_, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) continue;
            const int64_t at =
                timed ? static_cast<int64_t>(static_cast<jack_nframes_t>(cycleFrame + event.time))
                      : kNoMessageTime;
            in.HandleMessage(event.buffer, event.size, kPathOwnJack, at);
        }
        watch->PlayAudio(frames, jack_last_frame_time(watch->client_));
        return 0;
    }

    // The audio outputs' part of the cycle, after its MIDI: the callback's block, or silence
    // while none runs.
    void PlayAudio(jack_nframes_t frames, jack_nframes_t firstFrame) {
        jack_port_t* left = out_[0].load(std::memory_order_acquire);
        jack_port_t* right = out_[1].load(std::memory_order_acquire);
        if (left == nullptr || right == nullptr) return;
        auto* l = static_cast<float*>(jack_port_get_buffer(left, frames));
        auto* r = static_cast<float*>(jack_port_get_buffer(right, frames));
        MidiInput& in = input_;
        in.inAudio_.store(true);
        const AudioCallback callback = in.audioCallback_.load();
        if (callback != nullptr && frames <= kMaxOwnAudioFrames) {
            float* block = in.audioScratch_.get();
            in.ownCycleFrame_ = firstFrame;
            in.inOwnCycle_ = true;
            callback(block, nullptr, frames, 0.0, 0, in.audioData_.load(std::memory_order_relaxed));
            in.inOwnCycle_ = false;
            std::memcpy(l, block, sizeof(float) * frames);
            std::memcpy(r, block + frames, sizeof(float) * frames);
        } else {
            std::memset(l, 0, sizeof(float) * frames);
            std::memset(r, 0, sizeof(float) * frames);
        }
        in.inAudio_.store(false);
    }

    // A connection to the own port came or went (the JACK library's notification thread).
    // Once the last source is unplugged, or its client is gone, nobody is left to end the
    // notes it holds down.
    static void OnConnect(jack_port_id_t a, jack_port_id_t b, int connected, void* self) {
        auto* watch = static_cast<ServerWatch*>(self);
        if (watch->port_ == nullptr) return;
        if (jack_port_by_id(watch->client_, a) != watch->port_ &&
            jack_port_by_id(watch->client_, b) != watch->port_)
            return;
        const int before = watch->connections_.fetch_add(connected != 0 ? 1 : -1);
        if (connected == 0 && before <= 1) watch->input_.ReleaseNotesOf(kPathOwnJack);
    }

    // Runs on the JACK library's thread, which must not close clients itself. The watch
    // thread closes the client as soon as it wakes, and JACK cancels this thread then,
    // asynchronously; cut short inside the wake-up (which cannot unwind) it would end the
    // program. So cancellation is held off until the handler is done.
    static void OnShutdown(jack_status_t /*code*/, const char* /*reason*/, void* self) {
        int previous = PTHREAD_CANCEL_ENABLE;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
        auto* watch = static_cast<ServerWatch*>(self);
        {
            std::lock_guard lock(watch->mutex_);
            watch->lost_ = true;
        }
        watch->wake_.notify_all();
        pthread_setcancelstate(previous, nullptr);
    }

    void Run() {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return lost_ || quit_; });
            if (quit_) return;
        }
        input_.ServerLost(this);
        jack_client_close(client_);
        client_ = nullptr;
    }

    MidiInput& input_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::atomic<jack_port_t*> out_[2] = {nullptr, nullptr};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool lost_ = false;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace tw
