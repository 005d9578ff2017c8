// A seeded monkey for the main window: random menu commands, dialogs, drags, clicks, keys
// and wheel turns on whatever window is on top, for a set time (TW_MONKEY_SECONDS,
// default 180) from a seed (TW_MONKEY_SEED, default the clock). It stops on a crash, a
// sanitizer report or a hang (no event handled for 10 s) and then prints the seed and the
// last 50 events, so that the run can be replayed with the same seed.
#include "app/shell_rig.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <functional>
#include <pthread.h>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

// Under AddressSanitizer the report itself is followed by the seed and the events.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define TW_MONKEY_SANITIZER_HOOK 1
#endif

namespace tw::test {
namespace {

// The last events, kept in fixed memory so that a signal handler can print them.
constexpr int kKept = 50;
char gEvents[kKept][160];
std::atomic<int64_t> gEventCount{0};
uint64_t gSeed = 0;
std::atomic<int64_t> gLastHandledMs{0};

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Say(const char* text) {
    const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

void DumpEvents(const char* why) {
    char line[200];
    std::snprintf(line, sizeof line, "\nmonkey stopped (%s) after %lld events; seed %llu\n", why,
                  static_cast<long long>(gEventCount.load()),
                  static_cast<unsigned long long>(gSeed));
    Say(line);
    Say("replay: TW_MONKEY_SEED=<seed> tw_gui_monkey; the last events, oldest first:\n");
    const int64_t count = gEventCount.load();
    for (int64_t n = count > kKept ? count - kKept : 0; n < count; ++n) {
        std::snprintf(line, sizeof line, "  %6lld %s\n", static_cast<long long>(n),
                      gEvents[n % kKept]);
        Say(line);
    }
}

[[gnu::format(printf, 1, 2)]] void Record(const char* format, ...) {
    const int64_t n = gEventCount.load();
    va_list args;
    va_start(args, format);
    std::vsnprintf(gEvents[n % kKept], sizeof gEvents[0], format, args);
    va_end(args);
    gEventCount.store(n + 1);
}

// The user-interface thread's stack, printed from the thread itself when the watchdog
// finds it stuck.
void OnStackRequest(int) {
    Say("the user-interface thread is here:\n");
    void* frames[64];
    backtrace_symbols_fd(frames, backtrace(frames, 64), STDERR_FILENO);
}

void OnFatalSignal(int signal) {
    DumpEvents(signal == SIGABRT ? "abort" : "crash");
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string Describe(const QWidget* w) {
    std::string name = w->metaObject()->className();
    if (!w->windowTitle().isEmpty()) name += " \"" + w->windowTitle().toStdString() + "\"";
    return name;
}

class Monkey {
public:
    Monkey(MainWindow& window, uint64_t seed, int seconds)
        : window_(window), random_(seed), end_(NowMs() + int64_t{seconds} * 1000) {}

    // One event per tick, on the main window or on the popup or dialog in front. Each tick
    // is a timer of its own, started before the event, so that ticks go on inside the
    // nested loops of the dialogs and menus an event opens: that is how they get driven.
    void Step() {
        gLastHandledMs.store(NowMs());
        if (depth_ > 2) {
            // Dialogs opened inside dialogs opened by the monkey: let the top one go.
            if (QWidget* top = TopWindow()) Close(top);
            return;
        }
        ++depth_;
        if (QWidget* top = TopWindow()) {
            Poke(top, true);
        } else {
            Poke(&window_, false);
        }
        gLastHandledMs.store(NowMs());
        --depth_;
    }

    bool Done() const { return NowMs() >= end_; }

    // The popup menu or modal dialog in front, if any.
    static QWidget* TopWindow() {
        if (QWidget* popup = QApplication::activePopupWidget()) return popup;
        return QApplication::activeModalWidget();
    }

    static void Close(QWidget* top) {
        Record("close %s", Describe(top).c_str());
        if (auto* dialog = qobject_cast<QDialog*>(top)) {
            dialog->reject();
        } else {
            top->close();
        }
    }

private:
    int Pick(int n) { return static_cast<int>(random_() % static_cast<uint64_t>(n)); }

    void Poke(QWidget* top, bool modal) {
        const int choice = Pick(modal ? 8 : 10);
        if (modal && choice == 0) return Close(top);
        if (!modal && choice < 3) return TriggerAction();
        QList<QWidget*> widgets;
        for (QWidget* w : top->findChildren<QWidget*>()) {
            if (w->isVisible() && w->isEnabled() && w->width() > 2 && w->height() > 2)
                widgets.push_back(w);
        }
        if (widgets.isEmpty()) widgets.push_back(top);
        QWidget* target = widgets[Pick(static_cast<int>(widgets.size()))];
        const QPoint a(Pick(target->width()), Pick(target->height()));
        const QPoint b(Pick(target->width()), Pick(target->height()));
        const Qt::KeyboardModifiers mods = RandomModifiers();
        switch (Pick(5)) {
        case 0: {
            const Qt::MouseButton button = Pick(4) == 0 ? Qt::RightButton : Qt::LeftButton;
            Record("drag %s (%d,%d)->(%d,%d) button %d mods %x", Describe(target).c_str(), a.x(),
                   a.y(), b.x(), b.y(), int(button), unsigned(mods));
            QPointer<QWidget> guard(target);
            QTest::mousePress(target, button, mods, a);
            if (guard) QTest::mouseMove(target, (a + b) / 2);
            if (guard) QTest::mouseMove(target, b);
            if (guard) QTest::mouseRelease(target, button, mods, b);
            break;
        }
        case 1:
            Record("double click %s (%d,%d)", Describe(target).c_str(), a.x(), a.y());
            QTest::mouseDClick(target, Qt::LeftButton, mods, a);
            break;
        case 2: {
            const int delta = (Pick(2) == 0 ? 120 : -120) * (1 + Pick(3));
            Record("wheel %s (%d,%d) %d mods %x", Describe(target).c_str(), a.x(), a.y(), delta,
                   unsigned(mods));
            QWheelEvent wheel(QPointF(a), QPointF(target->mapToGlobal(a)), QPoint(),
                              QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &wheel);
            break;
        }
        default: {
            static const Qt::Key kKeys[] = {
                Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Left,   Qt::Key_Right, Qt::Key_Up,
                Qt::Key_Down,   Qt::Key_Return,    Qt::Key_Escape, Qt::Key_Tab,   Qt::Key_Z,
                Qt::Key_Y,      Qt::Key_C,         Qt::Key_V,      Qt::Key_X,     Qt::Key_A,
                Qt::Key_1,      Qt::Key_Space,     Qt::Key_Plus,   Qt::Key_Minus, Qt::Key_PageUp};
            // Escape and Return would close most dialogs at once; they come less often.
            const Qt::Key key = kKeys[Pick(static_cast<int>(std::size(kKeys)))];
            if (modal && (key == Qt::Key_Escape || key == Qt::Key_Return) && Pick(3) != 0) break;
            Record("key %x mods %x on %s", unsigned(key), unsigned(mods), Describe(target).c_str());
            QTest::keyClick(target, key, mods);
            break;
        }
        }
    }

    Qt::KeyboardModifiers RandomModifiers() {
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        if (Pick(4) == 0) mods |= Qt::ControlModifier;
        if (Pick(6) == 0) mods |= Qt::ShiftModifier;
        return mods;
    }

    // A random enabled command of the menu bar (not the ones that end the session: the
    // monkey would have nothing left to drive).
    void TriggerAction() {
        std::vector<QAction*> actions;
        for (QAction* a : window_.menuBar()->findChildren<QAction*>()) {
            const QString t = a->text();
            if (!a->isEnabled() || a->menu() != nullptr || a->isSeparator() || t.isEmpty())
                continue;
            if (t.contains("Exit") || t.contains("Quit")) continue;
            actions.push_back(a);
        }
        if (actions.empty()) return;
        QAction* a = actions[static_cast<size_t>(Pick(static_cast<int>(actions.size())))];
        Record("menu \"%s\"", a->text().toStdString().c_str());
        a->trigger();
    }

    MainWindow& window_;
    std::mt19937_64 random_;
    int64_t end_;
    int depth_ = 0;
};

int Run(int argc, char** argv) {
    const char* seedText = std::getenv("TW_MONKEY_SEED");
    gSeed =
        seedText != nullptr
            ? std::strtoull(seedText, nullptr, 10)
            : static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    const char* secondsText = std::getenv("TW_MONKEY_SECONDS");
    const int seconds = secondsText != nullptr ? std::atoi(secondsText) : 180;
    std::fprintf(stderr, "monkey: seed %llu for %d s\n", static_cast<unsigned long long>(gSeed),
                 seconds);

    for (const int signal : {SIGSEGV, SIGABRT, SIGFPE, SIGBUS}) std::signal(signal, OnFatalSignal);
#ifdef TW_MONKEY_SANITIZER_HOOK
    __sanitizer_set_death_callback([] { DumpEvents("sanitizer report"); });
#endif

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ShellRig rig;
    MainWindow& window = rig.Open();
    Monkey monkey(window, gSeed, seconds);

    // The watchdog: the user-interface thread must handle an event at least every 10 s.
    std::atomic<bool> running{true};
    gLastHandledMs.store(NowMs());
    std::signal(SIGUSR1, OnStackRequest);
    const pthread_t userInterface = pthread_self();
    std::thread watchdog([&running, userInterface] {
        bool sampled = false;
        while (running.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            const int64_t quiet = NowMs() - gLastHandledMs.load();
            // Halfway to a hang, where the thread is stuck is still where it is now.
            if (quiet > 5000 && !sampled) {
                sampled = true;
                pthread_kill(userInterface, SIGUSR1);
            } else if (quiet <= 5000) {
                sampled = false;
            }
            if (quiet > 10000) {
                DumpEvents("hang: no event handled for 10 s");
                _exit(3);
            }
        }
    });

    std::function<void()> tick = [&] {
        if (monkey.Done()) {
            // Close whatever is open, then leave the loop (exit, not quit: quit asks the
            // windows first, and the main window may keep the session open).
            gLastHandledMs.store(NowMs());
            if (QWidget* top = Monkey::TopWindow()) {
                Monkey::Close(top);
                QTimer::singleShot(1, &app, tick);
            } else {
                QCoreApplication::exit(0);
            }
            return;
        }
        QTimer::singleShot(1, &app, tick);
        monkey.Step();
    };
    QTimer::singleShot(1, &app, tick);
    // Some window code drops pending timers (the chain above then stops with nothing to
    // show for it): a steady timer of the top level starts it again when it has been
    // quiet. It only fires while the loop runs, so a real hang still shows.
    QTimer restart;
    QObject::connect(&restart, &QTimer::timeout, [&] {
        if (NowMs() - gLastHandledMs.load() > 200) tick();
    });
    restart.start(100);
    app.exec();
    running.store(false);
    watchdog.join();
    std::fprintf(stderr, "monkey: %lld events in %d s, seed %llu, no fault\n",
                 static_cast<long long>(gEventCount.load()), seconds,
                 static_cast<unsigned long long>(gSeed));
    rig.window.reset();
    return 0;
}

} // namespace
} // namespace tw::test

int main(int argc, char** argv) {
    return tw::test::Run(argc, argv);
}
