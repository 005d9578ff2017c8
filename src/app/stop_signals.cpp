#include "app/stop_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tw {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT};

// Written by the handler, read by the event loop; -1 while no object is installed.
int pipeEnds[2] = {-1, -1};

extern "C" void WriteSignalByte(int signalNumber) {
    // write() is safe in a handler; errno must come back as the interrupted code left it.
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    if (pipeEnds[1] >= 0) {
        const ssize_t ignored = write(pipeEnds[1], &byte, 1);
        static_cast<void>(ignored);
    }
    errno = saved;
}

} // namespace

bool StopSignals::Install() {
    if (pipeEnds[0] >= 0) return true;
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = &WriteSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kStopSignals) sigaction(s, &action, nullptr);
    return true;
}

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (!Install()) return;
    // Bytes already in the pipe make the notifier fire as soon as the event loop runs.
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::Drain);
}

StopSignals::~StopSignals() {
    if (notifier_ == nullptr) return;
    for (const int s : kStopSignals) std::signal(s, SIG_DFL);
    const int ends[2] = {pipeEnds[0], pipeEnds[1]};
    pipeEnds[0] = pipeEnds[1] = -1;
    close(ends[1]);
    close(ends[0]);
}

void StopSignals::Drain() {
    unsigned char bytes[16];
    ssize_t n = 0;
    while ((n = read(pipeEnds[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) Q_EMIT Received(bytes[i]);
    }
}

} // namespace tw
