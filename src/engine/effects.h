#pragma once

#include "model/limits.h"
#include "model/relaxed.h"

#include <cstdint>

namespace tw {

struct Engine;

inline constexpr int32_t kDelayLineLength = 44100;
// The loop length is Delay x 44090 frames whatever the sample rate.
inline constexpr float kDelayFramesPerUnit = 44090.0f;

inline constexpr int32_t kReverbCombs = 8;
inline constexpr int32_t kReverbAllPasses = 4;
inline constexpr int32_t kCombCapacity = 2048;
inline constexpr int32_t kAllPassCapacity = 1024;
inline constexpr int32_t kCombLengthsLeft[kReverbCombs] = {1116, 1188, 1277, 1356,
                                                           1422, 1491, 1557, 1617};
// The right combs are each 23 cells longer, which decorrelates the channels.
inline constexpr int32_t kStereoSpread = 23;
inline constexpr int32_t kAllPassLengths[kReverbAllPasses] = {556, 441, 341, 225};

// The one delay line shared by every Delay module: all of them read and write at the one
// position. A patch change clears it from the user-interface thread while the audio
// thread runs, so the cells and the position are relaxed words.
struct DelayState {
    Relaxed<float> line[kDelayLineLength];
    Relaxed<int32_t> position;
};

struct ReverbComb {
    Relaxed<float> buffer[kCombCapacity];
    Relaxed<int32_t> length;
    Relaxed<int32_t> position;
    Relaxed<float> memory;
};

struct ReverbAllPass {
    Relaxed<float> buffer[kAllPassCapacity];
    Relaxed<int32_t> length;
    Relaxed<int32_t> position;
};

// The one reverb shared by every Reverb module. It is reset by the engine reset on the
// user-interface thread and by an On/Off change on the audio thread.
struct ReverbState {
    ReverbComb left[kReverbCombs];
    ReverbComb right[kReverbCombs];
    // Both channels run through the same four stages, left sample first.
    ReverbAllPass allPass[kReverbAllPasses];
};

void ResetReverb(Engine& e) noexcept;
void ResetDelay(Engine& e) noexcept;
// Zeroes the delay line; may run on the user-interface thread while audio plays.
void ClearDelayLine(Engine& e) noexcept;

} // namespace tw
