#include "engine/live_events.h"

#include "engine/controls.h"

#include <algorithm>
#include <cstring>

namespace tw {

bool LiveEventQueue::Push(const Event& event) noexcept {
    uint32_t n = head_.load(std::memory_order_relaxed);
    do {
        // Full: the oldest unread message must not be overwritten.
        if (n - tail_.load(std::memory_order_acquire) >= kEntries) return false;
    } while (!head_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed));
    Slot& slot = slots_[n % kEntries];
    slot.time.store(event.time, std::memory_order_relaxed);
    slot.message.store(static_cast<uint32_t>(event.status & 0xFF) |
                           static_cast<uint32_t>(event.data1 & 0xFF) << 8 |
                           static_cast<uint32_t>(event.data2 & 0xFF) << 16,
                       std::memory_order_relaxed);
    slot.sequence.store(n + 1, std::memory_order_release);
    return true;
}

bool LiveEventQueue::Peek(Event& event) const noexcept {
    const uint32_t t = tail_.load(std::memory_order_relaxed);
    const Slot& slot = slots_[t % kEntries];
    // A claimed slot not yet written holds back the ones after it, so order is kept.
    if (slot.sequence.load(std::memory_order_acquire) != t + 1) return false;
    event.time = slot.time.load(std::memory_order_relaxed);
    const uint32_t m = slot.message.load(std::memory_order_relaxed);
    event.status = static_cast<int32_t>(m & 0xFF);
    event.data1 = static_cast<int32_t>((m >> 8) & 0xFF);
    event.data2 = static_cast<int32_t>((m >> 16) & 0xFF);
    return true;
}

void LiveEventQueue::Pop() noexcept {
    tail_.fetch_add(1, std::memory_order_release);
}

int64_t LiveEventFrame(int64_t time, int64_t blockStart, uint32_t frames) noexcept {
    if (time == kUntimed || blockStart == kUntimed) return 0;
    // The difference of the 32-bit counter, taken modulo 2^32, survives its wrapping.
    const auto d =
        static_cast<int32_t>(static_cast<uint32_t>(time) - static_cast<uint32_t>(blockStart));
    return static_cast<int64_t>(d) + static_cast<int64_t>(frames);
}

namespace {

// Runs the engine over [from, to) of the block, through the rate bridge that carries the
// design's rate to the device's, so that live play sounds as the plugin and the render do.
void RenderRun(LivePlayer& p, float* block, uint32_t frames, uint32_t from, uint32_t to) noexcept {
    if (from < to) RenderDeviceFrames(p.engine, block + from, block + frames + from, to - from);
}

} // namespace

void RenderLiveBlock(LivePlayer& p, float* block, uint32_t frames) noexcept {
    p.playing.store(1, std::memory_order_relaxed);
    // The message clock counts device frames, which the bridge may resample from the
    // engine's own rate.
    const auto rate = p.engine.bridge.Active()
                          ? p.engine.bridge.DeviceRate()
                          : static_cast<uint32_t>(static_cast<float>(p.engine.sampleRate));
    const int64_t start = p.clock != nullptr ? p.clock(p.clockData, frames, rate) : kUntimed;
    p.lastBlock.store(start, std::memory_order_relaxed);
    uint32_t done = 0;
    LiveEventQueue::Event event;
    while (p.queue.Peek(event)) {
        const int64_t at = LiveEventFrame(event.time, start, frames);
        if (at >= static_cast<int64_t>(frames)) break; // a later block's
        // Overdue ones (and those a thread queued a moment out of order) play at once.
        const auto frame = static_cast<uint32_t>(std::clamp<int64_t>(at, done, frames));
        RenderRun(p, block, frames, done, frame);
        done = frame;
        HandleMidiMessage(p.engine, event.status, event.data1, event.data2);
        p.queue.Pop();
    }
    RenderRun(p, block, frames, done, frames);
}

int ProcessLiveAudio(void* outputBuffer, void*, unsigned int frames, double, unsigned int,
                     void* userData) {
    if (outputBuffer == nullptr || userData == nullptr) return 0;
    RenderLiveBlock(*static_cast<LivePlayer*>(userData), static_cast<float*>(outputBuffer), frames);
    return 0;
}

void PostLiveMessage(void* userData, int64_t time, int32_t status, int32_t data1,
                     int32_t data2) noexcept {
    auto* p = static_cast<LivePlayer*>(userData);
    // Without a stream nobody takes from the queue: the engine hears the message now, as it
    // does before audio starts. A stream whose last block is a second older than the message
    // has stopped (its server went away).
    const int64_t last = p->lastBlock.load(std::memory_order_relaxed);
    const auto rate = static_cast<int64_t>(static_cast<float>(p->engine.sampleRate));
    const bool stale = time != kUntimed && last != kUntimed && LiveEventFrame(time, last, 0) > rate;
    if (p->playing.load(std::memory_order_relaxed) == 0 || stale ||
        !p->queue.Push({time, status, data1, data2}))
        HandleMidiMessage(p->engine, status, data1, data2);
}

void StopLivePlayer(LivePlayer& player) noexcept {
    player.playing.store(0, std::memory_order_relaxed);
    player.lastBlock.store(kUntimed, std::memory_order_relaxed);
    // What the stream left in the queue belongs to the engine too, in order.
    LiveEventQueue::Event event;
    while (player.queue.Peek(event)) {
        HandleMidiMessage(player.engine, event.status, event.data1, event.data2);
        player.queue.Pop();
    }
}

} // namespace tw
