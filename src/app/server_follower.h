#pragma once

// Follows the sound server while the program runs: a server that starts after the program
// brings its devices and the program's own MIDI port with it (and starts audio the user
// asked for); one that goes away is said in a line of the main window, not in a box, and
// the toolbar shows audio stopped; when it comes back everything is set up again by itself.
#include "devices/audio_device.h"
#include "devices/midi_device.h"
#include "devices/preferences.h"

#include <functional>
#include <string>

namespace tw {

class ServerFollower {
public:
    struct Hooks {
        // The toolbar's Start/Stop state.
        std::function<void(bool running)> showRunning;
        // The main window's notice line; "" hides it.
        std::function<void(const std::string& text)> showNotice;
        // Audio started by the follower: the engine's routes are rebuilt as "Start Audio" does.
        std::function<void()> started;
    };

    ServerFollower(AudioOutput& audio, MidiInput& midi, const DevicePreferences& preferences,
                   Hooks hooks);

    // "Start Audio" and "Stop Audio": whether audio should play whenever it can.
    void SetAudioWanted(bool wanted);
    bool AudioWanted() const { return wanted_; }

    // Called about once a second on the user-interface thread.
    void Look();

    const std::string& Notice() const { return notice_; }

private:
    void Say(const std::string& text);

    AudioOutput& audio_;
    MidiInput& midi_;
    const DevicePreferences& preferences_;
    Hooks hooks_;
    bool wanted_ = false;
    bool played_ = false;
    std::string notice_;
};

// What the main window says while the server it played on is gone.
inline constexpr const char* kServerGoneNotice =
    "The sound server has stopped: audio is off. It starts again by itself when the server "
    "is back.";

} // namespace tw
