// The Midi Monitor: the last message's line, refreshed on its own timer.
#include "editors/midi_monitor_widget.h"

#include <QTest>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(MidiMonitor, ShowsTheLatestMessageWithinItsRefreshTime) {
    MidiMonitorWords words;
    int reads = 0;
    MidiMonitorWidget monitor([&] {
        ++reads;
        return words;
    });
    monitor.resize(156, 64);
    monitor.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return reads > 0; }, 1000));
    EXPECT_EQ(monitor.Line(), "0x0 (0 0 0)");

    words = {0x80, 60, 64};
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.Line().startsWith("Note Off"); }, 1000));
    EXPECT_EQ(monitor.Line(), "Note Off 0x80 (128 60 0)"); // no velocity for a note-off

    words = {0x90, 61, 100};
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return monitor.Line() == "Note On  0x90 (144 61 100)"; }, 1000));
    words = {0xB0, 7, 127};
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.Line() == "0xb0 (176 7 127)"; }, 1000));

    // Several repaints a tenth of a second: the timer runs every 20 ms.
    const int before = reads;
    QTest::qWait(200);
    EXPECT_GE(reads - before, 4);
}

TEST(MidiMonitor, DrawsTheLineInAWhiteBoxWithABorder) {
    MidiMonitorWidget monitor([] { return MidiMonitorWords{0x90, 60, 100}; });
    monitor.resize(156, 70);
    const QImage image = monitor.grab().toImage();
    const auto px = [&](int x, int y) { return image.pixel(x, y) | 0xFF000000u; };
    EXPECT_EQ(px(100, 0), 0xFF000000u);  // top border
    EXPECT_EQ(px(100, 63), 0xFF000000u); // bottom border
    EXPECT_EQ(px(0, 40), 0xFFFFFFFFu);   // the left border lies just outside
    EXPECT_EQ(px(150, 50), 0xFFFFFFFFu);
    EXPECT_NE(px(100, 66), 0xFFFFFFFFu); // below the box
    int ink = 0;
    for (int y = 8; y < 26; ++y)
        for (int x = 8; x < 150; ++x) ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    EXPECT_GT(ink, 20);
}

} // namespace
} // namespace tw
