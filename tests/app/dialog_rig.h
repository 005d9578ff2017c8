#pragma once

// What the dialog tests share: a program context whose desktop services answer from a
// script, whose devices are never opened, and a scratch application folder.
#include "app/app_context.h"
#include "engine/engine.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/files.h"

#include <memory>

namespace tw::test {

inline void IgnoreNote(void*, int32_t, int32_t, int32_t) {}

struct DialogRig {
    TempDir dir;
    std::unique_ptr<Project> project = MakeProject();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;
    DevicePreferences preferences;
    AppContext ctx{*project, *engine, platform, Audio(), Midi(), preferences};

    // One pair for the whole run, created without listing devices: nothing is opened and
    // the lists stay empty, and the libraries complain about a missing sound system once.
    static AudioOutput& Audio() {
        static HeadlessPlatform quiet;
        static AudioOutput audio(quiet, nullptr, nullptr);
        return audio;
    }
    static MidiInput& Midi() {
        static HeadlessPlatform quiet;
        static MidiInput midi(quiet, &IgnoreNote, nullptr);
        return midi;
    }

    DialogRig() { SetText(project->appFolder, dir.Path().string()); }
    Project& P() { return *project; }
};

} // namespace tw::test
