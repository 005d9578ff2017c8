#pragma once

namespace tw {

// What the project lifecycle needs from the synthesis engine. The model cannot depend
// on the engine, so the engine implements this and the lifecycle calls through it.
class EngineControl {
public:
    virtual ~EngineControl() = default;
    // The engine's own part of the full reset: note tables, wavetables, reverb, delay
    // line, filter memories, envelopes and PolyWave, in that order.
    virtual void ResetDspState() = 0;
    // Clears the shared delay line (a patch change must not echo the old patch).
    virtual void ClearDelayLine() = 0;
};

// The full reset: editing state, comments, the engine's DSP state, module slots, ports,
// routes, selection, panel elements, keyboard and clean marks, in that order.
struct Project;
void FullReset(Project& project, EngineControl& engine);

} // namespace tw
