#include "app/server_follower.h"

#include "model/text.h"

#include <utility>

namespace tw {

ServerFollower::ServerFollower(AudioOutput& audio, MidiInput& midi,
                               const DevicePreferences& preferences, Hooks hooks)
    : audio_(audio), midi_(midi), preferences_(preferences), hooks_(std::move(hooks)) {}

void ServerFollower::SetAudioWanted(bool wanted) {
    wanted_ = wanted;
    played_ = wanted && audio_.IsRunning();
    // The user has acted on it: the notice has done its work.
    if (!wanted) Say("");
}

void ServerFollower::Say(const std::string& text) {
    if (text == notice_) return;
    notice_ = text;
    if (hooks_.showNotice) hooks_.showNotice(text);
}

void ServerFollower::Look() {
    if (audio_.IsRunning()) {
        played_ = true;
        return;
    }
    if (played_) {
        // The stream ended without "Stop Audio": its server went away under it.
        played_ = false;
        if (hooks_.showRunning) hooks_.showRunning(false);
        Say(kServerGoneNotice);
    }
    // A server that came up (again) is set up on: the own MIDI port and the source first,
    // then the device list, so that the Preferences dialog shows what is there now.
    if (!midi_.Reconnect(GetText(preferences_.midiDevice))) return;
    audio_.InitAudioDevices(GetText(preferences_.audioDevice), /*tell=*/false);
    if (!wanted_ || audio_.DeviceCount() == 0) return;
    audio_.StartAudio(audio_.SelectedDevice());
    if (!audio_.IsRunning()) return;
    played_ = true;
    if (hooks_.started) hooks_.started();
    if (hooks_.showRunning) hooks_.showRunning(true);
    Say("");
}

} // namespace tw
