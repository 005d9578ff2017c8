#pragma once

// What the device tests build on the program's side of a JACK server: an engine wired to the
// MIDI layer as the program wires it, a steady tone to play, and JACK MIDI sources.
#include "devices/jack_fixture.h"
#include "engine/engine.h"
#include "support/builders.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tw::test {

// The MIDI layer's note handler wired to the engine, as the program wires it.
inline void PlayNote(void* engine, int32_t status, int32_t note, int32_t velocity) {
    HandleNoteEvent(*static_cast<Engine*>(engine), status, note, velocity);
}

// A project and its engine at the test server's rate, reset as the program does before a
// patch is built.
struct Synth {
    std::unique_ptr<Project> project = MakeProject();
    std::unique_ptr<Engine> engine;

    Synth() {
        engine = std::make_unique<Engine>(*project);
        engine->sampleRate = kJackRate;
        ResetEngine(*engine);
    }
};

// "A440Hz" into the left input of "Output": a steady sine that needs no note.
inline void BuildTonePatch(Project& p) {
    const int32_t tone = AddModule(p, kTypeA440, 100, 60);
    const int32_t out = AddModule(p, kTypeOutput, 100, 300);
    ASSERT_TRUE(Wire(p, tone, 0, out, 1));
}

// A JACK MIDI source: client `client` with the output port `port`.
inline std::unique_ptr<RtMidiOut> MakeSource(const std::string& client, const std::string& port) {
    auto out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, client);
    out->openVirtualPort(port);
    return out;
}

} // namespace tw::test
