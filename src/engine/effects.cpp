#include "effects.h"

#include "engine/engine.h"

#include <cmath>

namespace tw {

namespace {

// The largest Delay value whose loop still fits the line: Delay x 44090 must stay below
// 44100, or the position would run past the last cell before it wraps.
constexpr float kMaxDelay = 44099.0f / kDelayFramesPerUnit;
constexpr float kMinDelay = kMinDelayTime;

// Keeps the loop length inside the line. The store-back has already raised the value
// to the minimum; the value is read again here, where a cable from the module's own
// output could have changed it, and a length of 0 or NaN would never wrap.
float BoundedDelay(float delay) noexcept {
    if (!(delay >= kMinDelay)) return kMinDelay;
    return delay > kMaxDelay ? kMaxDelay : delay;
}

float RunComb(ReverbComb& comb, float x, float feedback, float damping) noexcept {
    int32_t position = comb.position;
    const float out = comb.buffer[position];
    const float memory = out * (1.0f - damping) + comb.memory * damping;
    comb.memory = memory;
    comb.buffer[position] = memory * feedback + x;
    if (++position >= comb.length) position = 0;
    comb.position = position;
    return out * 0.5f;
}

float RunReverbAllPass(ReverbAllPass& stage, float x) noexcept {
    int32_t position = stage.position;
    const float bufout = stage.buffer[position];
    stage.buffer[position] = bufout * 0.5f + x;
    if (++position >= stage.length) position = 0;
    stage.position = position;
    return (bufout - x) * 0.5f;
}

void ClearComb(ReverbComb& comb, int32_t length) noexcept {
    comb.length = length;
    comb.position = 0;
    comb.memory = 0.0f;
    for (int32_t i = 0; i < length; ++i) comb.buffer[i] = 0.0f;
}

} // namespace

void RunDelay(Engine& e, int32_t slot) noexcept {
    using namespace delay;
    if (e.onceOnly == nullptr) return;
    const int32_t p = PortIndex(slot, 0);
    DelayState& d = e.onceOnly->delay;
    StoreDirectDefaults<kTypeDelay>(e, p);
    float& delayCell = DirectCell(e, p + kTime);
    if (delayCell < kMinDelay) delayCell = kMinDelay;

    int32_t position = d.position;
    // The position is only ever set inside the line; this guards against a torn reset.
    if (position < 0 || position >= kDelayLineLength) position = 0;
    const float out = d.line[position] * DirectCell(e, p + kMix) + DirectCell(e, p + kIn);
    e.outputs[p + kOut] = out;
    d.line[position] =
        DirectCell(e, p + kFeedback) * 0.8f * d.line[position] + DirectCell(e, p + kIn);
    ++position;
    const float loop = BoundedDelay(DirectCell(e, p + kTime)) * kDelayFramesPerUnit;
    if (loop <= static_cast<float>(position)) {
        position = static_cast<int32_t>(static_cast<float>(position) - loop);
    }
    d.position = position;
    e.outputs[p + kStatus] = std::fabs(out) > 0.001f ? 1.0f : 0.0f;
}

void RunReverb(Engine& e, int32_t slot) noexcept {
    using namespace reverb;
    if (e.onceOnly == nullptr) return;
    const int32_t p = PortIndex(slot, 0);
    ReverbState& r = e.onceOnly->reverb;
    StoreDirectDefaults<kTypeReverb>(e, p);
    const float onOff = DirectCell(e, p + kOnOff);
    // Switching the reverb in either direction restarts it with empty buffers.
    if (onOff != e.cells.lastSeen[slot]) {
        ResetReverb(e);
        e.cells.lastSeen[slot] = onOff;
    }
    if (onOff == 0.0f) {
        e.outputs[p + kOutL] = DirectCell(e, p + kInL);
        e.outputs[p + kOutR] = DirectCell(e, p + kInR);
        e.outputs[p + kStatus] = 0.0f;
        return;
    }
    const float feedback = DirectCell(e, p + kSize) * 0.24f + 0.65f;
    const float damping = 1.0f - DirectCell(e, p + kHighCut);
    const float inL = DirectCell(e, p + kInL);
    const float inR = DirectCell(e, p + kInR);
    float sumL = 0.0f;
    float sumR = 0.0f;
    for (int32_t k = 0; k < kReverbCombs; ++k) {
        sumL += RunComb(r.left[k], inL, feedback, damping);
        sumR += RunComb(r.right[k], inR, feedback, damping);
    }
    float apL = sumL;
    float apR = sumR;
    for (ReverbAllPass& stage : r.allPass) {
        apL = RunReverbAllPass(stage, apL);
        apR = RunReverbAllPass(stage, apR);
    }
    const float wet = DirectCell(e, p + kMix) * 0.5f;
    const float outL = apL * wet + DirectCell(e, p + kInL);
    e.outputs[p + kOutL] = outL;
    const float outR = apR * wet + DirectCell(e, p + kInR);
    e.outputs[p + kOutR] = outR;
    e.outputs[p + kStatus] = std::fabs(outL + outR) > 0.001f ? 1.0f : 0.0f;
}

void ResetReverb(Engine& e) noexcept {
    if (e.onceOnly == nullptr) return;
    ReverbState& r = e.onceOnly->reverb;
    for (int32_t k = 0; k < kReverbCombs; ++k) {
        ClearComb(r.left[k], kCombLengthsLeft[k]);
        ClearComb(r.right[k], kCombLengthsLeft[k] + kStereoSpread);
    }
    for (int32_t k = 0; k < kReverbAllPasses; ++k) {
        ReverbAllPass& stage = r.allPass[k];
        stage.length = kAllPassLengths[k];
        stage.position = 0;
        for (int32_t i = 0; i < kAllPassLengths[k]; ++i) stage.buffer[i] = 0.0f;
    }
}

void ResetDelay(Engine& e) noexcept {
    ClearDelayLine(e);
}

void ClearDelayLine(Engine& e) noexcept {
    if (e.onceOnly == nullptr) return;
    DelayState& d = e.onceOnly->delay;
    d.position = 0;
    for (Relaxed<float>& cell : d.line) cell = 0.0f;
}

} // namespace tw
