#pragma once

// A small rig for engine tests: a project, an engine reset as the program does at
// start-up, builders for modules and cables, and offline rendering into vectors.
#include "engine/engine.h"
#include "engine/render.h"
#include "support/builders.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tw::test {

struct EngineRig {
    std::unique_ptr<Project> project = MakeProject();
    std::unique_ptr<Engine> engine;
    std::vector<float> left;
    std::vector<float> right;

    explicit EngineRig(double sampleRate = 44100.0) {
        engine = std::make_unique<Engine>(*project);
        engine->sampleRate = sampleRate;
        ResetEngine(*engine);
    }

    Project& P() const { return *project; }
    Engine& E() const { return *engine; }

    // Inserts a module into the lowest free slot and returns the slot.
    int32_t Add(int32_t type) { return AddModule(*project, type); }
    // Cables output `outPort` of slot `from` to input `inPort` of slot `to`.
    bool Wire(int32_t from, int32_t outPort, int32_t to, int32_t inPort) {
        return test::Wire(*project, from, outPort, to, inPort);
    }

    // Renders `frames` more frames in blocks of `block`, replacing `left` and `right`.
    void Render(uint32_t frames, uint32_t block = 512, std::span<const NoteEvent> events = {}) {
        left.assign(frames, 0.0f);
        right.assign(frames, 0.0f);
        RenderOffline(*engine, events, frames, block, left.data(), right.data());
    }

    // Runs one frame and returns the left sample (handy for per-frame probes).
    float Step() {
        float block[2] = {};
        ProcessBlock(*engine, block, 1);
        return block[0];
    }

    // Runs `frames` frames, recording output `port` of `slot` after each.
    std::vector<float> Probe(int32_t slot, int32_t port, uint32_t frames) {
        std::vector<float> values;
        values.reserve(frames);
        for (uint32_t i = 0; i < frames; ++i) {
            Step();
            values.push_back(Out(slot, port));
        }
        return values;
    }

    // A Parameter module as a control source whose value the test sets directly.
    int32_t Knob(float value) {
        const int32_t slot = Add(kTypeParameter);
        project->slots[slot].value = value;
        return slot;
    }
    void Set(int32_t knob, float value) { project->slots[knob].value = value; }

    float Out(int32_t slot, int32_t port) const { return engine->outputs[PortIndex(slot, port)]; }

    void NoteOn(int32_t note, int32_t velocity = 100) {
        HandleNoteEvent(*engine, kNoteOn, note, velocity);
    }
    void NoteOff(int32_t note) { HandleNoteEvent(*engine, kNoteOff, note, 0); }
};

} // namespace tw::test
