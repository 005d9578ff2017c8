#pragma once

// The benchmarks that paint or open windows share one QApplication, created on first use
// on the offscreen platform and left alive until the process ends: destroying it after
// main has returned races with Qt's own exit handlers.
#include <QApplication>

#include <cstdlib>

namespace tw::bench {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "tw_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QApplication(argc, argv);
    }
}

} // namespace tw::bench
