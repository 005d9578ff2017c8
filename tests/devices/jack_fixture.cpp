#include "devices/jack_fixture.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
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

std::string UniqueServerName() {
    static std::atomic<int> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return "tw" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
           std::to_string(static_cast<unsigned long long>(now) % 1000000ULL);
}

// Failed connection attempts while the server comes up are expected; libjack would print
// each of them.
void DropJackError(const char* /*text*/) {}
void PrintJackError(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}

bool ServerAnswers(const std::string& name) {
    jack_set_error_function(&DropJackError);
    jack_status_t status{};
    jack_client_t* probe = jack_client_open(
        "tw_probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
        name.c_str());
    jack_set_error_function(&PrintJackError);
    if (probe == nullptr) return false;
    jack_client_close(probe);
    return true;
}

} // namespace

JackTurn::JackTurn() {
    fd_ = open("/tmp/tw_device_tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
}

JackTurn::~JackTurn() {
    if (fd_ >= 0) close(fd_); // releases the lock
}

JackServer::JackServer() : name_(UniqueServerName()) {
    UseJackServer(name_);
    char logTemplate[] = "/tmp/tw_jackd_XXXXXX";
    const int logFd = mkstemp(logTemplate);
    if (logFd < 0) return;
    close(logFd);
    logPath_ = logTemplate;
    ready_ = Launch();
}

bool JackServer::Launch() {
    const int logFd = open(logPath_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (logFd < 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, logFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, logFd, STDERR_FILENO);
    std::string rate = std::to_string(kJackRate);
    std::string period = std::to_string(kJackPeriod);
    // -r: no real-time scheduling, which a test machine may not grant. -S: every client
    // finishes every cycle before the next one starts, so a late client on a busy machine
    // delays the cycle instead of missing it. -t: and it is not thrown out after the
    // default half second.
    const char* args[] = {"jackd",      "-r",          "-S",           "-t",    "10000",
                          "-n",         name_.c_str(), "-d",           "dummy", "-r",
                          rate.c_str(), "-p",          period.c_str(), nullptr};
    const int spawned =
        posix_spawnp(&pid_, "jackd", &actions, nullptr, const_cast<char* const*>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(logFd);
    if (spawned != 0) {
        pid_ = -1;
        return false;
    }
    const bool answered = WaitFor([this] {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1; // it exited: no point waiting
            return true;
        }
        return ServerAnswers(name_);
    });
    return answered && pid_ > 0;
}

void JackServer::Freeze() {
    if (pid_ > 0) kill(pid_, SIGSTOP);
}

void JackServer::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        killed_ = true;
    }
    pid_ = -1;
    ready_ = false;
}

bool JackServer::Restart() {
    if (pid_ > 0 || logPath_.empty()) return false;
    ready_ = Launch();
    return ready_;
}

JackServer::~JackServer() {
    // A killed server keeps its place in the machine's server registry, which has room for
    // only a few; starting one under the same name and ending it properly frees it.
    if (pid_ <= 0 && killed_ && !logPath_.empty()) Launch();
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        kill(pid_, SIGCONT); // a frozen server must wake up to end
        int status = 0;
        const bool gone = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                                  std::chrono::seconds(5));
        if (!gone) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    if (!logPath_.empty()) std::remove(logPath_.c_str());
    // A killed server leaves the semaphores of its clients behind.
    if (killed_) {
        std::error_code error;
        const std::string mark = "_" + name_ + "_";
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("jack_sem.", 0) == 0 && file.find(mark) != std::string::npos) {
                std::filesystem::remove(entry.path(), error);
            }
        }
    }
}

std::string JackServer::Log() const {
    std::ifstream in(logPath_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// Opens a client of the test. A server starved of processor time can turn a connection
// away for a moment, which is no fault of the program under test.
jack_client_t* OpenClient(const std::string& name) {
    jack_status_t status{};
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status)) {
            return client;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::fprintf(stderr, "JACK client %s: open failed, status 0x%x\n", name.c_str(),
                 static_cast<unsigned>(status));
    return nullptr;
}

} // namespace

JackGraph::JackGraph() : client_(OpenClient("twgraph")) {}

JackGraph::~JackGraph() {
    if (client_ != nullptr) jack_client_close(client_);
}

// ---- JackRecorder ----

JackRecorder::JackRecorder(const std::string& clientName, uint32_t capacityFrames)
    : left_(capacityFrames, 0.0f), right_(capacityFrames, 0.0f) {
    client_ = OpenClient(clientName);
    if (client_ == nullptr) return;
    in_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    in_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    if (in_[0] == nullptr || in_[1] == nullptr ||
        jack_set_process_callback(client_, &JackRecorder::Process, this) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackRecorder::~JackRecorder() {
    if (client_ == nullptr) return;
    Stop();
    jack_client_close(client_);
}

void JackRecorder::Start() {
    if (client_ != nullptr && !active_) active_ = jack_activate(client_) == 0;
}

void JackRecorder::Stop() {
    // Deactivating waits for a running process call to finish.
    if (client_ != nullptr && active_) jack_deactivate(client_);
    active_ = false;
}

int JackRecorder::Process(jack_nframes_t frames, void* self) {
    auto* r = static_cast<JackRecorder*>(self);
    const uint32_t done = r->frames_.load(std::memory_order_relaxed);
    const uint32_t n = std::min<uint32_t>(frames, static_cast<uint32_t>(r->left_.size()) - done);
    const auto* a = static_cast<const float*>(jack_port_get_buffer(r->in_[0], frames));
    const auto* b = static_cast<const float*>(jack_port_get_buffer(r->in_[1], frames));
    std::memcpy(r->left_.data() + done, a, sizeof(float) * n);
    std::memcpy(r->right_.data() + done, b, sizeof(float) * n);
    r->frames_.store(done + n, std::memory_order_release);
    return 0;
}

std::vector<std::string> JackRecorder::ConnectionsOf(const std::string& port) const {
    return PortConnections(client_, port);
}

std::vector<std::string> PortConnections(jack_client_t* client, const std::string& port) {
    std::vector<std::string> names;
    if (client == nullptr) return names;
    jack_port_t* p = jack_port_by_name(client, port.c_str());
    if (p == nullptr) return names;
    const char** list = jack_port_get_all_connections(client, p);
    if (list == nullptr) return names;
    for (const char** n = list; *n != nullptr; ++n) names.emplace_back(*n);
    jack_free(list);
    std::sort(names.begin(), names.end());
    return names;
}

bool WaitForConnections(jack_client_t* client, const std::string& port,
                        std::vector<std::string> expected) {
    std::sort(expected.begin(), expected.end());
    return WaitFor([&] { return PortConnections(client, port) == expected; });
}

std::string ToneProblem(JackRecorder& recorder, uint32_t frames, double hz) {
    // A stream's ports reach the device a cycle or more after it starts (later on a busy
    // machine): count from the first sound, past the block it starts in.
    uint32_t from = recorder.Frames();
    const bool heard = WaitFor([&] {
        const uint32_t available = recorder.Frames();
        for (; from < available; ++from) {
            if (std::fabs(recorder.Left()[from]) > 1.0e-6f) return true;
        }
        return false;
    });
    if (!heard) return "the device hears silence";
    from += kJackPeriod;
    if (!WaitFor([&] { return recorder.Frames() >= from + frames; })) {
        return "no frames reach the device";
    }
    const auto begin = recorder.Left().begin() + from;
    const auto end = begin + frames;
    const auto [low, high] = std::minmax_element(begin, end);
    if (*high - *low < 0.01f) return "the device hears silence";
    const float middle = (*low + *high) / 2.0f;
    int rising = 0;
    for (auto i = begin + 1; i != end; ++i) {
        if (i[-1] < middle && i[0] >= middle) ++rising;
    }
    const auto expected = static_cast<int>(hz * frames / kJackRate);
    if (rising >= expected - 2 && rising <= expected + 2) return "";
    return std::to_string(rising) + " periods in " + std::to_string(frames) + " frames, " +
           std::to_string(expected) + " expected";
}

} // namespace tw::test
