#include "devices/midi_device.h"

#include "devices/midi_server_watch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The audio outputs of the MIDI input's own JACK client.
namespace tw {

namespace {

// How long a stop waits for a cycle inside the audio callback to leave it.
constexpr auto kCycleEndWait = std::chrono::seconds(1);

} // namespace

uint32_t MidiInput::OwnClientRate() const {
    std::lock_guard lock(libraryMutex_);
    if (!watch_ || !midi_) return 0;
    return jack_get_sample_rate(watch_->Client());
}

bool MidiInput::JoinServer() {
    std::string followed;
    {
        std::lock_guard lock(libraryMutex_);
        if (watch_ && midi_) return true;
        followed = followed_;
    }
    Reconnect(followed);
    return OnServer();
}

std::vector<std::string> MidiInput::OwnAudioPortNames() const {
    std::lock_guard lock(libraryMutex_);
    std::vector<std::string> names;
    for (int i = 0; watch_ && midi_ && i < 2; ++i)
        if (jack_port_t* port = watch_->Output(i)) names.emplace_back(jack_port_name(port));
    return names;
}

std::string MidiInput::OwnClientName() const {
    std::lock_guard lock(libraryMutex_);
    if (!watch_ || !midi_) return "";
    return jack_get_client_name(watch_->Client());
}

bool MidiInput::StartOwnAudio(AudioCallback callback, void* userData, const char* device,
                              uint32_t& frames, std::string& problem) {
    std::lock_guard lock(libraryMutex_);
    // The library object goes when the server does (ServerLost).
    if (!watch_ || !midi_) {
        problem = "the program is not on the JACK server";
        return false;
    }
    jack_client_t* client = watch_->Client();
    if (!watch_->RegisterOutputs()) {
        problem = "the JACK server refused the program's audio outputs";
        return false;
    }
    // The device's audio inputs, in the server's order.
    std::vector<std::string> inputs;
    if (const char** ports =
            jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput)) {
        const std::string prefix = std::string(device) + ':';
        for (const char** port = ports; *port != nullptr; ++port)
            if (std::string_view(*port).starts_with(prefix)) inputs.emplace_back(*port);
        jack_free(ports);
    }
    if (inputs.empty()) {
        problem = std::string("\"") + device + "\" has no audio inputs on the JACK server";
        return false;
    }
    // The outputs move to the device, as a stream opened on it would be there alone. A device
    // with one input takes both.
    for (std::size_t i = 0; i < 2; ++i) {
        jack_port_t* out = watch_->Output(static_cast<int>(i));
        jack_port_disconnect(client, out);
        const std::string& to = inputs[std::min(i, inputs.size() - 1)];
        const int result = jack_connect(client, jack_port_name(out), to.c_str());
        if (result != 0 && result != EEXIST) {
            problem = "the JACK server refused to connect " + std::string(jack_port_name(out)) +
                      " to " + to;
            return false;
        }
    }
    frames = jack_get_buffer_size(client);
    audioData_.store(userData, std::memory_order_relaxed);
    audioCallback_.store(callback);
    ownAudioOn_.store(true, std::memory_order_release);
    return true;
}

void MidiInput::StopOwnAudio() noexcept {
    ownAudioOn_.store(false, std::memory_order_release);
    audioCallback_.store(nullptr);
    // A cycle that took the callback before the null went in is still running it; one that
    // starts later sees the null. A server that stalls keeps its cycle in for a moment only:
    // one that died runs none.
    const auto deadline = std::chrono::steady_clock::now() + kCycleEndWait;
    while (inAudio_.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace tw
