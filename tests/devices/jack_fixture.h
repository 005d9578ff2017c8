#pragma once

// A private JACK server (dummy, 48000 Hz, 512-frame cycles, named for the libraries through
// JACK_DEFAULT_SERVER), and a two-channel recorder the audio output lists and plays into.
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tw::test {

inline constexpr uint32_t kJackRate = 48000;
inline constexpr uint32_t kJackPeriod = 512;

// Polls `done` every few milliseconds until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Points the JACK client library at a server name without ever starting one.
void UseJackServer(const std::string& name);

struct JackServer {
    JackServer();
    ~JackServer();
    bool Ready() const { return ready; }
    void Freeze(); // alive, but no more cycles
    void Kill();   // as a crash would; returns once it is gone
    bool Restart() { return pid <= 0 && (ready = Launch()); } // true once it answers
    std::string Log() const;
    bool Launch();

    // JACK servers on one machine share a registry in /dev/shm, and one starting or stopping
    // makes clients of another fail now and then: a server holds this machine-wide lock.
    int turn = -1;
    std::string name, logPath;
    int pid = -1;
    bool ready = false, killed = false;
};

// Waits until `port` is connected to exactly `expected` (a graph changes at a later cycle).
bool WaitForConnections(jack_client_t* client, const std::string& port,
                        std::vector<std::string> expected);

// A client with the audio inputs "in_1" and "in_2" that records the first, from Start on,
// whole cycles.
struct JackRecorder {
    explicit JackRecorder(const std::string& clientName, uint32_t capacityFrames = 6 * kJackRate);
    ~JackRecorder();
    bool Ok() const { return client != nullptr; }
    void Start();
    // Frames recorded so far, published after their samples.
    uint32_t Frames() const { return frames.load(std::memory_order_acquire); }
    const std::vector<float>& Left() const { return samples; }

    jack_client_t* client = nullptr;
    jack_port_t* in[2] = {nullptr, nullptr};
    std::vector<float> samples;
    std::atomic<uint32_t> frames{0};
    // The server's frame of the first frame recorded; read once frames are there.
    uint32_t firstFrame = 0;
    bool active = false;
};

// Records `frames` frames from the first sound on: "" when the left channel carries a steady
// tone of `hz` by its rising mid crossings (silence, noise or a repeated block fail), else why.
std::string ToneProblem(JackRecorder& recorder, uint32_t frames, double hz);

} // namespace tw::test
