// The Virtual Keyboard (which key a press plays, the octave buttons and the picture they
// move) and the Midi Monitor's line.
#include "editors/midi_monitor_widget.h"
#include "editors/virtual_keyboard_widget.h"
#include "support/builders.h"
#include "support/qt_checks.h"

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace tw {
namespace {

using Notes = std::vector<std::array<int32_t, 3>>;
using test::At;
using test::Not;

class Keyboard : public ::testing::Test {
protected:
    void Press(int x, int y) { QTest::mousePress(&widget, Qt::LeftButton, {}, QPoint(x, y)); }
    void Release(int x, int y) { QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(x, y)); }
    void Click(QPushButton* b, int n) {
        while (n-- > 0) QTest::mouseClick(b, Qt::LeftButton);
    }

    std::unique_ptr<Project> project = test::MakeProject();
    Notes sent;
    VirtualKeyboardWidget widget{*project, [this](int32_t s, int32_t n, int32_t v) {
                                     sent.push_back({s, n, v});
                                 }};
};

TEST_F(Keyboard, APressPlaysTheKeyUnderThePointerAndReleaseSilencesEveryKey) {
    const struct {
        int x, y;
        int32_t note;
    } presses[] = {
        {20, 30, 24},               // the first white key, at base note 24
        {691, 30, 95},              // the last pixel of the last white key
        {35, 10, 25},               // C sharp lies over the upper part of C...
        {35, 30, 24},               // ...which is played below it
        {41, 10, 26},               // and D right of it
        {20 + 5 * 112 + 89, 5, 94}, // the last black key
        {19, 30, kNone},            // under "<"
    };
    for (const auto& p : presses) {
        sent.clear();
        Press(p.x, p.y);
        Release(p.x, p.y);
        EXPECT_EQ(sent, (p.note == kNone ? Notes{} : Notes{{144, p.note, 100}, {128, p.note, 0}}))
            << p.x << "," << p.y;
    }
    sent.clear();
    project->keys[5].pressed = 1; // a key left pressed, e.g. when a release went astray
    Press(100, 30);
    Release(300, 30);
    EXPECT_EQ(sent, (Notes{{144, 33, 100}, {128, 29, 0}, {128, 33, 0}}));
}

TEST_F(Keyboard, OctaveButtonsMoveThePictureAndStopAtTheirLimits) {
    widget.show();
    const QRgb black = qRgb(24, 24, 28), white = qRgb(252, 252, 248), tint = qRgb(214, 228, 250);
    // Middle C (note 60) is tinted: key 36 at base note 24, key 24 one octave up.
    const int c3 = 20 + 2 * 112 + 2, c4 = 20 + 3 * 112 + 2;
    test::ExpectProbes(widget.grab().toImage(),
                       {At(35, 10, black), At(44, 28, white), At(33, 22, white), At(c4, 23, tint),
                        Not(c3, 23, tint)});
    Click(widget.UpButton(), 1);
    test::ExpectProbes(widget.grab().toImage(), {At(c3, 23, tint), Not(c4, 23, tint)});
    Click(widget.UpButton(), 2);
    EXPECT_EQ(project->baseNote, 48);
    Press(20, 30);
    EXPECT_EQ(sent.back(), (std::array<int32_t, 3>{144, 48, 100}));
    Click(widget.DownButton(), 5);
    EXPECT_EQ(project->baseNote, 0);
}

TEST(MidiMonitor, ShowsTheLatestMessageWithinItsRefreshTime) {
    MidiMonitorWords words = {0x90, 61, 100};
    MidiMonitorWidget monitor([&words] { return words; });
    monitor.show();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return monitor.Line() == "Note On  0x90 (144 61 100) ch 1"; }));
    words = {0x80, 60, 64};
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return monitor.Line() == "Note Off 0x80 (128 60 0) ch 1"; }, 100));
}

} // namespace
} // namespace tw
