#pragma once

// A private JACK server for the device tests, and two JACK clients of the test's own: a
// two-channel recorder that the program's audio output can be pointed at, and helpers to
// look at the server's connections. The server runs the dummy backend at 48000 Hz with
// 512-frame cycles under a name no other test run uses, and the program's libraries find
// it through JACK_DEFAULT_SERVER; JACK_NO_START_SERVER keeps them from starting another.
#include "model/relaxed.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tw::test {

inline constexpr uint32_t kJackRate = 48000;
inline constexpr uint32_t kJackPeriod = 512;

// Polls `done` every few milliseconds until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// JACK servers on one machine share a registry in /dev/shm, and a server starting or
// stopping makes clients of another one fail to connect now and then. The device tests
// therefore take turns: each holds this machine-wide lock while it uses JACK at all.
class JackTurn {
public:
    JackTurn();
    ~JackTurn();
    JackTurn(const JackTurn&) = delete;
    JackTurn& operator=(const JackTurn&) = delete;

private:
    int fd_ = -1;
};

class JackServer {
public:
    JackServer();
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool Ready() const { return ready_; }
    const std::string& Name() const { return name_; }
    // Freezes the server (SIGSTOP): it stays alive but runs no more cycles.
    void Freeze();
    // Kills the server outright (SIGKILL), as a crash would, and waits until it is gone.
    void Kill();
    // Starts the server again under the same name after Kill; true once it answers.
    bool Restart();
    // The server's log (its stdout and stderr), for failure messages.
    std::string Log() const;

private:
    bool Launch();

    JackTurn turn_;
    std::string name_;
    std::string logPath_;
    pid_t pid_ = -1;
    bool ready_ = false;
    bool killed_ = false;
};

// Points the JACK client library at a server name without starting anything.
void UseJackServer(const std::string& name);

// Names of the ports connected to JACK port `port`, asked through `client`, sorted.
std::vector<std::string> PortConnections(jack_client_t* client, const std::string& port);
// The server publishes a changed graph at the next cycle, which a busy machine may delay:
// waits until `port` is connected to exactly `expected`.
bool WaitForConnections(jack_client_t* client, const std::string& port,
                        std::vector<std::string> expected);

// A JACK client of the test that only looks at the server's graph.
class JackGraph {
public:
    JackGraph();
    ~JackGraph();
    JackGraph(const JackGraph&) = delete;
    JackGraph& operator=(const JackGraph&) = delete;
    bool Ok() const { return client_ != nullptr; }
    jack_client_t* Client() const { return client_; }

private:
    jack_client_t* client_ = nullptr;
};

// A JACK client with two audio inputs, "in_1" and "in_2", that records what arrives there
// from the moment Start is called, whole cycles at a time. The audio layer lists it as an
// output device under the client's name and connects its outputs to those inputs.
class JackRecorder {
public:
    explicit JackRecorder(const std::string& clientName, uint32_t capacityFrames = 6 * kJackRate);
    ~JackRecorder();
    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    bool Ok() const { return client_ != nullptr; }
    jack_client_t* Client() const { return client_; }
    void Start();
    // Stops recording; the samples can be read afterwards.
    void Stop();
    // Frames recorded so far; safe while recording.
    uint32_t Frames() const { return frames_.load(std::memory_order_acquire); }
    const std::vector<float>& Left() const { return left_; }
    const std::vector<float>& Right() const { return right_; }

    // Names of the ports connected to JACK port `port` (any client's).
    std::vector<std::string> ConnectionsOf(const std::string& port) const;

private:
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* in_[2] = {nullptr, nullptr};
    std::vector<float> left_;
    std::vector<float> right_;
    // Published with release after the samples are written, so that a reader that sees a
    // count also sees every sample below it.
    std::atomic<uint32_t> frames_{0};
    bool active_ = false;
};

// Records `frames` more frames and checks that the left channel carries a steady tone of
// `hz`, counted by its rising crossings of its middle (the program's sine rides on an
// offset): silence, noise or a repeated block would not give them. Returns "" when it
// does, and otherwise what is wrong.
std::string ToneProblem(JackRecorder& recorder, uint32_t frames, double hz);

} // namespace tw::test
