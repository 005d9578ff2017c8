#pragma once

// Live MIDI played at its own sample: the MIDI threads queue each message with the time it
// belongs to, and the audio callback splits its block at each message's frame and applies
// it there, as the plugin does with its host's events. Times are frames on the sound
// server's frame counter (32 bits that wrap, carried in 64); the callback learns where its
// block starts on that counter from a clock function, and plays every message one block
// after its time, so that a message read during the cycle before still finds its frame free.
#include "engine/engine.h"

#include <atomic>
#include <cstdint>

namespace tw {

// A message whose time is unknown: played at the start of the next block.
inline constexpr int64_t kUntimed = INT64_MIN;

// Messages from any number of MIDI threads to the one audio thread, in arrival order.
// Lock-free: a writer that finds the queue full drops its message.
class LiveEventQueue {
public:
    static constexpr uint32_t kEntries = 1024;

    struct Event {
        int64_t time = kUntimed;
        int32_t status = 0, data1 = 0, data2 = 0;
    };

    bool Push(const Event& event) noexcept;
    // The oldest message, without taking it; false when none is there yet.
    bool Peek(Event& event) const noexcept;
    void Pop() noexcept;

private:
    struct Slot {
        std::atomic<int64_t> time{0};
        std::atomic<uint32_t> message{0};
        // The index written plus one, published last.
        std::atomic<uint32_t> sequence{0};
    };
    std::atomic<uint32_t> head_{0}; // claimed by writers
    std::atomic<uint32_t> tail_{0}; // read up to, by the audio thread
    Slot slots_[kEntries];
};

// Where the block about to be computed starts on the message clock (a frame number);
// kUntimed when the clock is not known. Called on the audio thread: no locks, no allocation.
using BlockClock = int64_t (*)(void* data, uint32_t frames, uint32_t rate) noexcept;

// The engine as live audio plays it: the audio callback's user data.
struct LivePlayer {
    explicit LivePlayer(Engine& e) : engine(e) {}
    Engine& engine;
    LiveEventQueue queue;
    BlockClock clock = nullptr;
    void* clockData = nullptr;
    // Where the last block started (audio thread): a message much later than that finds
    // no running stream to take it, and goes to the engine at once instead of waiting.
    std::atomic<int64_t> lastBlock{kUntimed};
    // The same for a message of unknown time: set while blocks are computed.
    std::atomic<uint32_t> playing{0};
};

// The frame of a block (of `frames` frames starting at `blockStart`) that a message of time
// `time` plays at, one block late; below 0 for one overdue, `frames` or more for one that
// belongs to a later block. The counter may have wrapped between the two.
int64_t LiveEventFrame(int64_t time, int64_t blockStart, uint32_t frames) noexcept;

// Computes `frames` frames into the non-interleaved stereo `block`, applying each queued
// message that is due at its frame.
void RenderLiveBlock(LivePlayer& player, float* block, uint32_t frames) noexcept;

// The audio library's callback shape; userData is the LivePlayer.
// The stream has stopped: messages go to the engine at once again.
void StopLivePlayer(LivePlayer& player) noexcept;

int ProcessLiveAudio(void* outputBuffer, void* inputBuffer, unsigned int frames, double streamTime,
                     unsigned int status, void* userData);

// A MIDI message for the engine at frame `time` (the MIDI threads' side); userData is the
// LivePlayer.
void PostLiveMessage(void* userData, int64_t time, int32_t status, int32_t data1,
                     int32_t data2) noexcept;

} // namespace tw
