#pragma once

// Everything the desktop program's windows and dialogs share: the one project, its
// engine, the devices, the preferences and the desktop services. The main window owns
// it for the whole run; dialogs and editors receive it (or the parts they need) by
// reference.
#include "devices/audio_device.h"
#include "devices/midi_device.h"
#include "devices/preferences.h"
#include "engine/engine.h"
#include "model/history.h"
#include "model/project.h"
#include "platform/platform.h"

namespace tw {

struct AppContext {
    Project& project;
    Engine& engine;
    Platform& platform;
    AudioOutput& audio;
    MidiInput& midi;
    DevicePreferences& preferences;
    EditHistory& history;
};

} // namespace tw
