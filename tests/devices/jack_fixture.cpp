#include "devices/jack_fixture.h"

#include "support/files.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tw::test {

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void UseJackServer(const std::string& name) {
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
}

namespace {

// A client of the test. A server starved of processor time can turn a connection away for
// a moment, which is no fault of the program under test, so it is tried a few times.
jack_client_t* OpenClient(const std::string& name, int attempts = 5) {
    jack_status_t status{};
    jack_client_t* client = nullptr;
    for (int i = 0; i < attempts && client == nullptr; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    }
    return client;
}

std::atomic<int> servers{0};

} // namespace

JackServer::JackServer()
    : turn(open("/tmp/tw_device_tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666)),
      name("tw" + std::to_string(getpid()) + "_" + std::to_string(servers++)),
      logPath("/tmp/tw_jackd_" + name) {
    flock(turn, LOCK_EX);
    UseJackServer(name);
    ready = Launch();
}

bool JackServer::Launch() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_APPEND | O_CREAT, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const std::string rate = std::to_string(kJackRate), period = std::to_string(kJackPeriod);
    // -r: no real-time scheduling, which a test machine may not grant. -S -t 10000: a late
    // client on a busy machine delays the cycle instead of missing it or being thrown out.
    const char* args[] = {"jackd",      "-r",         "-S",           "-t",    "10000",
                          "-n",         name.c_str(), "-d",           "dummy", "-r",
                          rate.c_str(), "-p",         period.c_str(), nullptr};
    if (posix_spawnp(&pid, "jackd", &actions, nullptr, const_cast<char**>(args), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    // Failed attempts to connect are expected while it comes up; libjack would print each.
    jack_set_error_function(+[](const char*) {});
    const bool answered = WaitFor([this] {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) pid = -1; // it exited
        jack_client_t* probe = pid > 0 ? OpenClient("tw_probe", 1) : nullptr;
        if (probe != nullptr) jack_client_close(probe);
        return pid <= 0 || probe != nullptr;
    });
    jack_set_error_function(+[](const char* text) { std::fprintf(stderr, "%s\n", text); });
    return answered && pid > 0;
}

void JackServer::Freeze() {
    if (pid > 0) kill(pid, SIGSTOP);
}

void JackServer::Kill() {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    killed = killed || pid > 0;
    pid = -1;
    ready = false;
}

JackServer::~JackServer() {
    // A killed server keeps its place in the machine's server registry, which has room for
    // only a few; one started under the same name and ended properly frees it.
    if (pid <= 0 && killed) Launch();
    if (pid > 0) {
        kill(pid, SIGTERM);
        kill(pid, SIGCONT); // a frozen server must wake up to end
        if (!WaitFor([&] { return waitpid(pid, nullptr, WNOHANG) == pid; },
                     std::chrono::seconds(5))) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    std::remove(logPath.c_str());
    close(turn); // releases the lock
    // A killed server leaves the semaphores of its clients behind.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string file = entry.path().filename().string();
        if (killed && file.starts_with("jack_sem.") && file.find("_" + name + "_") != file.npos)
            std::filesystem::remove(entry.path(), error);
    }
}

std::string JackServer::Log() const {
    return ReadFileText(logPath);
}

JackRecorder::JackRecorder(const std::string& clientName, uint32_t capacityFrames)
    : client(OpenClient(clientName)), samples(capacityFrames) {
    for (int i = 0; client != nullptr && i < 2; ++i) {
        const std::string port = "in_" + std::to_string(i + 1);
        in[i] =
            jack_port_register(client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
    const auto process = [](jack_nframes_t n, void* self) {
        auto* r = static_cast<JackRecorder*>(self);
        const uint32_t done = r->frames.load(std::memory_order_relaxed);
        if (done == 0) r->firstFrame = jack_last_frame_time(r->client);
        n = std::min<uint32_t>(n, static_cast<uint32_t>(r->samples.size()) - done);
        std::memcpy(r->samples.data() + done, jack_port_get_buffer(r->in[0], n), 4 * n);
        r->frames.store(done + n, std::memory_order_release);
        return 0;
    };
    if (client != nullptr &&
        (!in[0] || !in[1] || jack_set_process_callback(client, process, this) != 0)) {
        jack_client_close(client);
        client = nullptr;
    }
}

JackRecorder::~JackRecorder() {
    if (active) jack_deactivate(client); // waits for a running process call to finish
    if (client != nullptr) jack_client_close(client);
}

void JackRecorder::Start() {
    if (client != nullptr && !active) active = jack_activate(client) == 0;
}

bool WaitForConnections(jack_client_t* client, const std::string& port,
                        std::vector<std::string> expected) {
    std::sort(expected.begin(), expected.end());
    return WaitFor([&] {
        std::vector<std::string> names;
        jack_port_t* p = client != nullptr ? jack_port_by_name(client, port.c_str()) : nullptr;
        const char** list = p != nullptr ? jack_port_get_all_connections(client, p) : nullptr;
        for (const char** n = list; n != nullptr && *n != nullptr; ++n) names.emplace_back(*n);
        if (list != nullptr) jack_free(list);
        std::sort(names.begin(), names.end());
        return names == expected;
    });
}

std::string ToneProblem(JackRecorder& recorder, uint32_t frames, double hz) {
    // A stream reaches the device a cycle or more after it starts: count from the first
    // sound, past the block it starts in.
    uint32_t from = recorder.Frames();
    const bool heard = WaitFor([&] {
        for (const uint32_t available = recorder.Frames(); from < available; ++from)
            if (std::fabs(recorder.Left()[from]) > 1.0e-6f) return true;
        return false;
    });
    from += kJackPeriod;
    if (!heard || !WaitFor([&] { return recorder.Frames() >= from + frames; }))
        return "the device hears silence";
    const auto begin = recorder.Left().begin() + from, end = begin + frames;
    const auto [low, high] = std::minmax_element(begin, end);
    const float middle = (*low + *high) / 2.0f;
    int rising = 0;
    for (auto i = begin + 1; i != end; ++i) rising += i[-1] < middle && i[0] >= middle ? 1 : 0;
    const auto expected = static_cast<int>(hz * frames / kJackRate);
    if (*high - *low >= 0.01f && std::abs(rising - expected) <= 2) return "";
    return std::to_string(rising) + " periods of a swing of " + std::to_string(*high - *low);
}

} // namespace tw::test
