#pragma once

// Carries the engine's sound to a device or host rate other than the two the designs are
// made at. A design's filters, envelopes and delays are set relative to the engine's rate,
// so the engine keeps running at 44100 or 48000 Hz and a resampler turns its output into
// the device rate. At 44100 and 48000 the bridge stands aside and the engine writes the
// device's block itself, sample for sample as it always did.
//
// One bridge serves the plugin, live play and the offline render: they all produce device
// frames through Render and apply notes and controls between calls, where the engine
// stands exactly at the engine frame that matches the device frame.
#include <cstdint>
#include <memory>

namespace tw {

struct Engine;

inline constexpr uint32_t kLowestDeviceRate = 22050;
inline constexpr uint32_t kHighestDeviceRate = 192000;
// The part of the lower rate's band that the bridge keeps flat (1 = its Nyquist frequency).
inline constexpr double kPassbandEnd = 0.85;

// The rate the engine runs at for a device rate from kLowestDeviceRate to
// kHighestDeviceRate: the rate itself at 44100 and 48000; otherwise the one of the two that
// the device rate is a whole multiple or fraction of, else the nearer one. Rates outside
// that range run the engine at the device rate, as they always did.
uint32_t EngineRateFor(uint32_t deviceRate) noexcept;

class RateBridge {
public:
    RateBridge();
    ~RateBridge();
    RateBridge(const RateBridge&) = delete;
    RateBridge& operator=(const RateBridge&) = delete;

    // Prepares the bridge from engine rate to device rate; everything it will need is
    // allocated here. Equal rates (or a build without the resampler) leave it standing
    // aside. False, and standing aside, when the resampler cannot be set up.
    bool Open(uint32_t engineRate, uint32_t deviceRate);
    void Close() noexcept;

    bool Active() const noexcept;
    uint32_t EngineRate() const noexcept { return engineRate_; }
    uint32_t DeviceRate() const noexcept { return deviceRate_; }
    // The delay the bridge adds, in device frames; constant from Open on (0 standing aside).
    uint32_t Latency() const noexcept { return latency_; }
    // Device frames that had no sound ready in time and played silent (never expected).
    uint64_t Shortfalls() const noexcept { return shortfalls_; }

    // Produces `frames` device frames from the engine into `left` and `right` (either may be
    // null). Nothing is allocated, locked or asked of the system here.
    void Render(Engine& engine, float* left, float* right, uint32_t frames) noexcept;

private:
    struct Resampler;

    void Feed(Engine& engine, uint64_t untilEngineFrame) noexcept;
    void Drain() noexcept;
    void Push(const float* left, const float* right, uint32_t n) noexcept;

    std::unique_ptr<Resampler> resampler_;
    uint32_t engineRate_ = 0;
    uint32_t deviceRate_ = 0;
    uint32_t latency_ = 0;
    uint64_t deviceFrame_ = 0; // device frames produced since the start
    uint64_t engineFrame_ = 0; // engine frames computed since the start
    uint64_t skip_ = 0;        // resampled frames of the warm-up still to be dropped
    uint64_t shortfalls_ = 0;
};

} // namespace tw
