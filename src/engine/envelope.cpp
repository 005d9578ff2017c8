#include "envelope.h"

#include "engine/engine.h"

#include <cmath>

namespace tw {

void BuildTimeTable(Engine& e) noexcept {
    // Each entry is the float nearest the decimal with three places, not a running sum.
    struct Run {
        int32_t first, last, startMs, stepMs;
    };
    constexpr Run kRuns[] = {{0, 0, 5, 0},        {1, 20, 13, 6},      {21, 30, 139, 12},
                             {31, 40, 272, 25},   {41, 49, 547, 50},   {50, 50, 1000, 0},
                             {51, 60, 1100, 100}, {61, 100, 2200, 200}};
    float* table = e.envelopes.timeTable;
    for (const Run& run : kRuns) {
        for (int32_t n = run.first; n <= run.last; ++n) {
            const int32_t ms = run.startMs + (n - run.first) * run.stepMs;
            table[n] = static_cast<float>(static_cast<double>(ms) / 1000.0);
        }
    }
}

int32_t TimeTableIndex(float x) noexcept {
    const double scaled = static_cast<double>(x) * 100.0;
    if (!(scaled > 0.0)) return 0;
    if (scaled >= static_cast<double>(kTimeTableSize - 1)) return kTimeTableSize - 1;
    return static_cast<int32_t>(scaled);
}

namespace {

float TimeOf(const Engine& e, float x) noexcept {
    return e.envelopes.timeTable[TimeTableIndex(x)];
}

// Starts an exponential segment from `start` that reaches `end` after about `seconds`.
// A start of 0 or less has no finite rate (its logarithm is -inf or NaN): the segment
// then stands still and ends on its next frame, since every level at or below 0 is
// already past the end.
void SetSegment(Engine& e, int32_t slot, float start, float end, float seconds) noexcept {
    EnvelopeState& s = e.envelopes;
    s.level[slot] = start;
    if (!(start > 0.0f)) {
        s.rate[slot] = 0.0f;
        return;
    }
    const double span = static_cast<double>(std::log(end)) - static_cast<double>(std::log(start));
    s.rate[slot] = static_cast<float>(span / (e.sampleRate * static_cast<double>(seconds)));
}

// One frame of the segment: level += rate * level.
float Advance(EnvelopeState& s, int32_t slot) noexcept {
    const float level = s.level[slot];
    const float next = level + s.rate[slot] * level;
    s.level[slot] = next;
    return next;
}

float Envelope(Engine& e, int32_t slot, float gate, float attack, float decay, float sustain,
               float release) noexcept {
    EnvelopeState& s = e.envelopes;
    const float lastGate = s.lastGate[slot];
    // Only a rise from exactly 0 triggers and only an exact 0 releases: a gate that swings
    // between positive and negative leaves the envelope alone.
    if (gate > 0.0f && lastGate == 0.0f) {
        // The attack runs a falling level from 1 - level and outputs 1 - level, so a
        // retrigger carries on from the current output.
        SetSegment(e, slot, 1.0f - s.level[slot], kSegmentEnd, attack);
        s.stage[slot] = kAdsrAttack;
    }
    if (lastGate != 0.0f && gate == 0.0f) {
        const float level = s.level[slot];
        const float start = s.stage[slot] == kAdsrAttack ? 1.0f - level : level;
        SetSegment(e, slot, start, kSegmentEnd, release);
        s.stage[slot] = kAdsrRelease;
    }
    s.lastGate[slot] = gate;

    switch (s.stage[slot]) {
    case kAdsrAttack: {
        const float level = Advance(s, slot);
        if (level < kSegmentEnd) {
            SetSegment(e, slot, 1.0f, kSegmentEnd, decay);
            s.stage[slot] = kAdsrDecay;
        }
        return 1.0f - level;
    }
    case kAdsrDecay: {
        const float level = Advance(s, slot);
        if (level < sustain) s.stage[slot] = kAdsrSustain;
        return level;
    }
    case kAdsrSustain:
        // The level stays where the decay crossed the sustain; a release starts from it.
        return sustain;
    case kAdsrRelease: {
        const float level = Advance(s, slot);
        if (level < kSegmentEnd) s.stage[slot] = kAdsrIdle;
        return level;
    }
    default:
        s.level[slot] = 0.0f;
        return 0.0f;
    }
}

} // namespace

void ResetEnvelopes(Engine& e) noexcept {
    EnvelopeState& s = e.envelopes;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        s.stage[slot] = kAdsrIdle;
        s.level[slot] = 0.0f;
        s.lastGate[slot] = 0.0f;
    }
    BuildTimeTable(e);
}

void RunAdsr(Engine& e, int32_t slot) noexcept {
    using namespace adsr;
    const int32_t p = PortIndex(slot, 0);
    DefaultCached(e, p + kSustain, 1.0f);
    const float attack = TimeOf(e, CachedCell(e, p + kAttack));
    const float decay = TimeOf(e, CachedCell(e, p + kDecay));
    const float sustain = CachedCell(e, p + kSustain);
    const float release = TimeOf(e, CachedCell(e, p + kRelease));
    DefaultCached(e, p + kLevel, 1.0f);
    const float out = Envelope(e, slot, CachedCell(e, p + kGate), attack, decay, sustain, release);
    e.outputs[p + kOut] = out * CachedCell(e, p + kLevel);
}

} // namespace tw
