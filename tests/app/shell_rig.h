#pragma once

// The main window on a scratch copy of the staged application folder: desktop services
// answer from a script, and the devices use a sound server that is not running, so no
// device is ever opened.
#include "app/main_window.h"
#include "platform/headless_platform.h"
#include "support/files.h"

#include <QApplication>

#include <filesystem>
#include <memory>
#include <string>

namespace tw::test {

struct ShellRig {
    TempDir dir;
    HeadlessPlatform services;
    std::unique_ptr<MainWindow> window;

    // Copies the demo project and the Default skin into the scratch application folder.
    ShellRig() {
        namespace fs = std::filesystem;
        const fs::path staged = TW_STAGED_APP_DIR;
        fs::create_directories(dir.Path() / "Resources");
        fs::copy(staged / "Projects", dir.Path() / "Projects", fs::copy_options::recursive);
        fs::copy(staged / "Skins", dir.Path() / "Skins", fs::copy_options::recursive);
    }

    MainWindow& Open(MainWindowOptions options = {}) {
        options.appFolder = dir.Path().string();
        options.audioApi = AudioApi::Jack;
        options.midiApi = MidiApi::Jack;
        window = std::make_unique<MainWindow>(services, options);
        window->Start();
        QApplication::processEvents();
        return *window;
    }

    MainWindow& W() { return *window; }
    Project& P() { return W().Context().project; }
    std::string PreferencesFile() const { return dir.File("Resources/Tonewright_v0.414.cfg"); }
    std::string DemoPath() const { return dir.File("Projects/Demo Synth.tw1"); }
};

} // namespace tw::test
