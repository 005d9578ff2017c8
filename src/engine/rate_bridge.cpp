#include "engine/rate_bridge.h"

#include "engine/engine.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#if TW_HAVE_SOXR
#include <soxr.h>
#endif

namespace tw {

namespace {

// The resampler is fed exactly this many engine frames at a time, so its buffers settle at
// one size during the warm-up and never grow while sound is playing.
constexpr uint32_t kFeedFrames = 32;
// Device frames produced per step of Render, so that a long host block cannot fill the
// output queue beyond what Open sized it for.
constexpr uint32_t kStepFrames = 512;
// The engine frames of one step at most (a device rate of 22050 from 48000 would be the
// most): the engine computes a step's frames in one block, where it runs fastest.
constexpr uint32_t kStageFrames = kStepFrames * 3 + kFeedFrames;
// Resampled frames taken from the resampler per call.
constexpr uint32_t kTakeFrames = 8192;

bool IsWholeMultiple(uint32_t a, uint32_t b) noexcept {
    return a % b == 0 || b % a == 0;
}

uint32_t Distance(uint32_t a, uint32_t b) noexcept {
    return a > b ? a - b : b - a;
}

} // namespace

uint32_t EngineRateFor(uint32_t deviceRate) noexcept {
    constexpr uint32_t kLow = 44100, kHigh = 48000;
    if (deviceRate < kLowestDeviceRate || deviceRate > kHighestDeviceRate) return deviceRate;
    if (deviceRate == kLow || deviceRate == kHigh) return deviceRate;
    const bool lowEven = IsWholeMultiple(deviceRate, kLow);
    const bool highEven = IsWholeMultiple(deviceRate, kHigh);
    if (lowEven != highEven) return lowEven ? kLow : kHigh;
    return Distance(deviceRate, kLow) <= Distance(deviceRate, kHigh) ? kLow : kHigh;
}

struct RateBridge::Resampler {
#if TW_HAVE_SOXR
    soxr_t soxr = nullptr;
    ~Resampler() {
        if (soxr != nullptr) soxr_delete(soxr);
    }
#endif
    float stage[2][kStageFrames] = {};
    float block[2 * kStageFrames] = {};
    uint32_t staged = 0;
    std::vector<float> taken[2];
    // The queue of resampled frames waiting for the device, a ring of `capacity` frames.
    std::vector<float> ring[2];
    std::size_t capacity = 0;
    std::size_t head = 0;
    std::size_t count = 0;
};

RateBridge::RateBridge() = default;
RateBridge::~RateBridge() = default;

bool RateBridge::Active() const noexcept {
    return resampler_ != nullptr;
}

void RateBridge::Close() noexcept {
    resampler_.reset();
    engineRate_ = deviceRate_ = latency_ = 0;
    deviceFrame_ = engineFrame_ = skip_ = shortfalls_ = 0;
}

bool RateBridge::Open(uint32_t engineRate, uint32_t deviceRate) {
    Close();
    engineRate_ = engineRate;
    deviceRate_ = deviceRate;
    if (engineRate == deviceRate || engineRate == 0 || deviceRate == 0) return true;
#if TW_HAVE_SOXR
    auto r = std::make_unique<Resampler>();
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    // High quality (20 bits), linear in phase so that the delay is a constant, and flat to
    // 85 % of the lower Nyquist frequency (18.7 kHz from 44.1 kHz): a narrower transition
    // than that would double the delay for sound few can hear.
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    quality.passband_end = kPassbandEnd;
    // One thread (the caller's), and small transform blocks so that the delay stays short.
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    runtime.log2_min_dft_size = 8;
    runtime.log2_large_dft_size = 8;
    soxr_error_t error = nullptr;
    r->soxr = soxr_create(engineRate, deviceRate, 2, &error, &io, &quality, &runtime);
    if (error != nullptr || r->soxr == nullptr) {
        Close();
        return false;
    }
    for (auto& t : r->taken) t.resize(kTakeFrames);

    // Warm-up: silence through the resampler until its buffers have reached the size they
    // keep, counting what comes out after each feed. Its length is a whole number of the
    // rates' common period, so the sound that follows meets the same filter phases as from
    // a fresh start; the silent frames it yields are dropped.
    const uint32_t common = std::gcd(engineRate, deviceRate);
    const uint64_t period = std::lcm<uint64_t>(engineRate / common, kFeedFrames);
    const uint64_t warmEngine = period * ((engineRate + period - 1) / period);
    const uint64_t warmDevice = warmEngine * deviceRate / engineRate;
    std::vector<uint64_t> producedAfter(warmEngine / kFeedFrames + 1, 0);
    const float zeros[kFeedFrames] = {};
    const float* in[2] = {zeros, zeros};
    uint64_t produced = 0;
    for (std::size_t feed = 1; feed < producedAfter.size(); ++feed) {
        std::size_t length = kFeedFrames;
        for (;;) {
            float* out[2] = {r->taken[0].data(), r->taken[1].data()};
            std::size_t used = 0, made = 0;
            soxr_process(r->soxr, in, length, &used, out, kTakeFrames, &made);
            produced += made;
            if (made < kTakeFrames) break;
            length = 0;
        }
        producedAfter[feed] = produced;
    }
    // The delay that never leaves the device short: for every device frame, how far the
    // resampler's output lags behind it when the engine has computed exactly the frames
    // up to that moment and the partly filled feed waits.
    uint64_t worst = 0;
    for (uint64_t t = 0; t <= warmDevice; ++t) {
        const uint64_t engineFrames = t * engineRate / deviceRate;
        const uint64_t ready = producedAfter[engineFrames / kFeedFrames];
        if (t > ready) worst = std::max(worst, t - ready);
    }
    const uint64_t margin =
        (static_cast<uint64_t>(kFeedFrames) * deviceRate + engineRate - 1) / engineRate;
    latency_ = static_cast<uint32_t>(worst + margin);
    skip_ = warmDevice - produced;

    r->capacity = 2u * (latency_ + kStepFrames + kTakeFrames);
    for (auto& q : r->ring) q.assign(r->capacity, 0.0f);
    // The delay is the silence already queued.
    r->count = latency_;
    resampler_ = std::move(r);
    return true;
#else
    // This build carries no resampler: the caller runs the engine at the device rate.
    Close();
    return false;
#endif
}

void RateBridge::Push(const float* left, const float* right, uint32_t n) noexcept {
    Resampler& r = *resampler_;
    const auto dropped = static_cast<uint32_t>(std::min<uint64_t>(skip_, n));
    skip_ -= dropped;
    // The sizes Open chose leave room; were it ever short, the newest frames would go.
    std::size_t count = std::min<std::size_t>(n - dropped, r.capacity - r.count);
    std::size_t from = dropped;
    while (count > 0) {
        const std::size_t at = (r.head + r.count) % r.capacity;
        const std::size_t piece = std::min(count, r.capacity - at);
        std::memcpy(r.ring[0].data() + at, left + from, sizeof(float) * piece);
        std::memcpy(r.ring[1].data() + at, right + from, sizeof(float) * piece);
        r.count += piece;
        from += piece;
        count -= piece;
    }
}

void RateBridge::Drain() noexcept {
#if TW_HAVE_SOXR
    Resampler& r = *resampler_;
    uint32_t fed = 0;
    for (; fed + kFeedFrames <= r.staged; fed += kFeedFrames) {
        const float* in[2] = {r.stage[0] + fed, r.stage[1] + fed};
        std::size_t length = kFeedFrames;
        for (;;) {
            float* out[2] = {r.taken[0].data(), r.taken[1].data()};
            std::size_t used = 0, made = 0;
            soxr_process(r.soxr, in, length, &used, out, kTakeFrames, &made);
            Push(r.taken[0].data(), r.taken[1].data(), static_cast<uint32_t>(made));
            if (made < kTakeFrames) break;
            length = 0;
        }
    }
    // The part of a feed left over waits at the front for the next step.
    r.staged -= fed;
    for (auto& side : r.stage) std::memmove(side, side + fed, sizeof(float) * r.staged);
#endif
}

namespace {

// The engine's frames copied out to separate sides in pieces (either side may be absent).
void RenderThroughScratch(Engine& engine, float* const sides[2], uint32_t frames) noexcept {
    float block[2 * kStepFrames];
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(kStepFrames, frames - done);
        ProcessBlock(engine, block, n);
        for (int s = 0; s < 2; ++s) {
            if (sides[s] != nullptr) std::memcpy(sides[s] + done, block + s * n, sizeof(float) * n);
        }
        done += n;
    }
}

} // namespace

void RateBridge::Feed(Engine& engine, uint64_t untilEngineFrame) noexcept {
    Resampler& r = *resampler_;
    while (engineFrame_ < untilEngineFrame) {
        const auto n = static_cast<uint32_t>(
            std::min<uint64_t>(kStageFrames - r.staged, untilEngineFrame - engineFrame_));
        ProcessBlock(engine, r.block, n);
        std::memcpy(r.stage[0] + r.staged, r.block, sizeof(float) * n);
        std::memcpy(r.stage[1] + r.staged, r.block + n, sizeof(float) * n);
        r.staged += n;
        engineFrame_ += n;
        Drain();
    }
}

void RateBridge::Render(Engine& engine, float* left, float* right, uint32_t frames) noexcept {
    float* sides[2] = {left, right};
    if (!Active()) {
        // A device block laid out as the engine writes (left, then right right after it), as
        // live play hands over, is written in place: no copy on the common path.
        if (left != nullptr && right == left + frames) {
            ProcessBlock(engine, left, frames);
        } else {
            RenderThroughScratch(engine, sides, frames);
        }
        deviceFrame_ += frames;
        engineFrame_ += frames;
        return;
    }
    Resampler& r = *resampler_;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(kStepFrames, frames - done);
        deviceFrame_ += n;
        // The engine stands at the engine frame of the device frame reached, so a note
        // applied between calls lands on its own moment in both timelines.
        Feed(engine, deviceFrame_ * engineRate_ / deviceRate_);
        const auto ready = static_cast<uint32_t>(std::min<std::size_t>(r.count, n));
        const std::size_t first = std::min<std::size_t>(ready, r.capacity - r.head);
        for (int s = 0; s < 2; ++s) {
            float* side = sides[s];
            if (side == nullptr) continue;
            std::memcpy(side + done, r.ring[s].data() + r.head, sizeof(float) * first);
            std::memcpy(side + done + first, r.ring[s].data(), sizeof(float) * (ready - first));
            std::fill(side + done + ready, side + done + n, 0.0f);
        }
        r.head = (r.head + ready) % r.capacity;
        r.count -= ready;
        shortfalls_ += n - ready;
        done += n;
    }
}

} // namespace tw
