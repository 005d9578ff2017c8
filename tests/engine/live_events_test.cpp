// Live MIDI stamped with its time plays on its frame one block late, across the server's
// 32-bit frame counter wrapping; without a clock it waits for a block's start.
#include "engine/live_events.h"
#include "support/builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tw {
namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kBlock = 256;

// The block clock of the render below: where block `*index` starts.
int64_t TestClock(void* index, uint32_t, uint32_t) noexcept {
    // Near the top of the 32-bit counter, so that it wraps during the render.
    return static_cast<uint32_t>(0xFFFF0000u + *static_cast<uint32_t*>(index) * kBlock);
}

// Renders notes sent `spacing` frames apart (each held half as long) in blocks of kBlock,
// and returns, for each, how many frames after its time the gate was heard.
std::vector<int64_t> Delays(bool timed, int64_t spacing, int notes) {
    auto project = test::MakeProject();
    Engine engine(*project);
    engine.sampleRate = static_cast<float>(kRate);
    ResetEngine(engine);
    const int32_t midi = test::AddModule(*project, kTypeMidi2CV, 100, 60);
    EXPECT_TRUE(test::Wire(*project, midi, midi2cv::kGate,
                           test::AddModule(*project, kTypeOutput, 100, 300), 1));
    auto player = std::make_unique<LivePlayer>(engine);
    uint32_t index = 0;
    if (timed) {
        player->clock = &TestClock;
        player->clockData = &index;
    }
    std::vector<float> left;
    std::vector<float> block(2 * kBlock);
    int sent = 0;
    const int64_t total = spacing * (notes + 1);
    for (; static_cast<int64_t>(index) * kBlock < total; ++index) {
        // What a MIDI thread would have queued by now: the messages of this block's span.
        const int64_t end = static_cast<int64_t>(index + 1) * kBlock;
        while (sent < 2 * notes && (sent / 2 + 1) * spacing + (sent % 2) * spacing / 2 < end) {
            const int64_t at = (sent / 2 + 1) * spacing + (sent % 2) * spacing / 2;
            PostLiveMessage(player.get(), static_cast<uint32_t>(0xFFFF0000u + at),
                            sent % 2 == 0 ? 0x90 : 0x80, 60, 100);
            ++sent;
        }
        RenderLiveBlock(*player, block.data(), kBlock);
        left.insert(left.end(), block.begin(), block.begin() + kBlock);
    }
    std::vector<int64_t> delays;
    for (int n = 1; n <= notes; ++n) {
        const int64_t from = n * spacing;
        // From well after the previous note's end, which untimed messages may move early.
        int64_t onset = from - spacing / 4;
        // Unconnected Output inputs read the shared default cell: silence is not 0 here.
        while (onset < static_cast<int64_t>(left.size()) && left[onset] <= left[0]) ++onset;
        delays.push_back(onset - from);
    }
    return delays;
}

TEST(LiveEvents, TimedMessagesPlayOnTheirFrameOneBlockLate) {
    // The spacing of the report: notes exactly 28978 frames apart.
    const std::vector<int64_t> timed = Delays(true, 28978, 12);
    const auto [fewest, most] = std::minmax_element(timed.begin(), timed.end());
    EXPECT_EQ(*fewest, static_cast<int64_t>(kBlock));
    EXPECT_EQ(*most, static_cast<int64_t>(kBlock)) << "spread " << *most - *fewest;
    // Untimed they wait for the next block's start: the spread of a block that the clock
    // takes away.
    const std::vector<int64_t> untimed = Delays(false, 28978, 12);
    const auto [early, late] = std::minmax_element(untimed.begin(), untimed.end());
    EXPECT_GT(*late - *early, 100);
    std::printf("spread of 12 notes 28978 frames apart in %u-frame blocks: timed %lld frames, "
                "untimed %lld frames\n",
                kBlock, static_cast<long long>(*most - *fewest),
                static_cast<long long>(*late - *early));
}

TEST(LiveEvents, TheQueueKeepsOrderDropsWhenFullAndFramesSurviveTheCountersWrap) {
    LiveEventQueue queue;
    for (uint32_t i = 0; i < LiveEventQueue::kEntries; ++i)
        ASSERT_TRUE(queue.Push({static_cast<int64_t>(i), 0x90, static_cast<int32_t>(i % 128), 1}));
    EXPECT_FALSE(queue.Push({0, 0x80, 0, 0}));
    LiveEventQueue::Event e;
    for (uint32_t i = 0; i < LiveEventQueue::kEntries; ++i) {
        ASSERT_TRUE(queue.Peek(e));
        EXPECT_EQ(e.time, static_cast<int64_t>(i));
        queue.Pop();
    }
    EXPECT_FALSE(queue.Peek(e));
    const int64_t start = 1000000;
    const auto block = static_cast<int64_t>(kBlock);
    EXPECT_EQ(LiveEventFrame(start + 100, start, kBlock), 100 + block);
    EXPECT_EQ(LiveEventFrame(start - 300, start, kBlock), -300 + block);
    EXPECT_EQ(LiveEventFrame(5, 0xFFFFFFF0, kBlock), 21 + block); // across the wrap
    EXPECT_EQ(LiveEventFrame(kUntimed, start, kBlock), 0);
}

} // namespace
} // namespace tw
