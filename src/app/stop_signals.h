#pragma once

// SIGTERM and SIGINT (a logout, `kill`, Ctrl+C in the terminal) arrive in the Qt event loop
// as a Qt signal. The handler does nothing but write one byte into a pipe that a socket
// notifier watches, so all the real work happens on the user-interface thread, in whatever
// event loop is running (a message box's included).
#include <QObject>

class QSocketNotifier;

namespace tw {

class StopSignals final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers, so that a signal that comes before the event loop can hear it
    // waits in the pipe instead of ending the program. Needs no application object.
    static bool Install();

    // Installs the handlers when that was not done yet, and listens; one object per process.
    explicit StopSignals(QObject* parent = nullptr);
    // Puts the default handlers back.
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Installed() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void Received(int signalNumber);

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tw
