// The Virtual Keyboard played with the mouse: which key a point hits, the notes sent, the
// octave buttons and the picture shown for each base note.
#include "editors/virtual_keyboard_widget.h"
#include "paint/keyboard_picture.h"
#include "support/builders.h"

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace tw {
namespace {

using Note = std::array<int32_t, 3>;

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        project = test::MakeProject();
        widget = std::make_unique<VirtualKeyboardWidget>(*project,
                                                         [this](int32_t s, int32_t n, int32_t v) {
                                                             sent.push_back({s, n, v});
                                                         });
        widget->show();
    }

    void Press(int x, int y) { QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(x, y)); }
    void Release(int x, int y) {
        QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(x, y));
    }
    void Click(QPushButton* b, int times = 1) {
        for (int i = 0; i < times; ++i) QTest::mouseClick(b, Qt::LeftButton);
    }
    uint32_t Pixel(int x, int y) { return widget->grab().toImage().pixel(x, y) | 0xFF000000u; }

    std::unique_ptr<Project> project;
    std::vector<Note> sent;
    std::unique_ptr<VirtualKeyboardWidget> widget;
};

TEST_F(Keyboard, TheEndsOfTheKeyboardPlayFromTheBaseNote) {
    ASSERT_EQ(project->baseNote, 24);
    Press(20, 30);
    Release(20, 30);
    Press(691, 30); // the last pixel of the rightmost white key, index 71
    Release(691, 30);
    EXPECT_EQ(sent,
              (std::vector<Note>{{144, 24, 100}, {128, 24, 0}, {144, 95, 100}, {128, 95, 0}}));
    sent.clear();
    Press(19, 30);  // under the "<" button: not a key
    Press(693, 30); // under ">"
    EXPECT_TRUE(sent.empty());
}

TEST_F(Keyboard, BlackKeysLieOverTheUpperPartOfTheWhiteOnes) {
    // C sharp spans x 29..40 and y 1..20 of the first octave; C lies under its left part.
    EXPECT_EQ(KeyAt(*project, 29, 10), 1);
    EXPECT_EQ(KeyAt(*project, 40, 20), 1);
    EXPECT_EQ(KeyAt(*project, 35, 21), 0);
    EXPECT_EQ(KeyAt(*project, 28, 10), 0);
    EXPECT_EQ(KeyAt(*project, 41, 10), 2);
    EXPECT_EQ(KeyAt(*project, 30, 0), kNone); // the top and bottom rows are outside
    EXPECT_EQ(KeyAt(*project, 30, 36), kNone);
    // The last black key of the view, A sharp of the sixth octave (index 70).
    EXPECT_EQ(KeyAt(*project, 20 + 5 * 112 + 89, 5), 70);

    Press(35, 10);
    Release(35, 10);
    Press(35, 30);
    Release(35, 30);
    EXPECT_EQ(sent,
              (std::vector<Note>{{144, 25, 100}, {128, 25, 0}, {144, 24, 100}, {128, 24, 0}}));
}

TEST_F(Keyboard, ReleaseSilencesEveryPressedKey) {
    project->keys[5].pressed = 1; // a key left pressed, e.g. when a release went astray
    Press(100, 30);               // A, index 9
    EXPECT_EQ(project->keys[9].pressed, 1);
    Release(300, 30);
    EXPECT_EQ(sent, (std::vector<Note>{{144, 33, 100}, {128, 29, 0}, {128, 33, 0}}));
    for (const KeyRecord& k : project->keys) EXPECT_EQ(k.pressed, 0);
}

TEST_F(Keyboard, OctaveButtonsStopAtTheirLimits) {
    Click(widget->UpButton(), 2);
    EXPECT_EQ(project->baseNote, 48);
    Click(widget->UpButton());
    EXPECT_EQ(project->baseNote, 48);
    Press(20, 30);
    EXPECT_EQ(sent.back(), (Note{144, 48, 100}));
    Click(widget->DownButton(), 5);
    EXPECT_EQ(project->baseNote, 0);
    EXPECT_EQ(widget->DownButton()->text(), "<");
    EXPECT_EQ(widget->UpButton()->geometry(), QRect(693, 0, 20, 36));
}

TEST_F(Keyboard, TheViewFollowsTheBaseNote) {
    const uint32_t black = Pixel(35, 10);
    const uint32_t white = Pixel(44, 28);
    EXPECT_LT(qGray(black), 60);
    EXPECT_GT(qGray(white), 230);
    EXPECT_GT(qGray(Pixel(33, 22)), 230); // the white key below a black one
    // Middle C (note 60) is tinted: index 36 at base 24, index 24 at base 36.
    const auto tinted = [this](int x) { return Pixel(x + 2, 23) == 0xFFD6E4FAu; };
    EXPECT_TRUE(tinted(20 + 3 * 112));
    EXPECT_FALSE(tinted(20 + 2 * 112));
    Click(widget->UpButton());
    EXPECT_TRUE(tinted(20 + 2 * 112));
    EXPECT_FALSE(tinted(20 + 3 * 112));
}

TEST(KeyboardPicture, CoversEveryViewAndMatchesTheKeyTable) {
    const QImage& picture = KeyboardPicture();
    EXPECT_GE(picture.width(), 112 * 4 + 673);
    EXPECT_EQ(picture.height(), 36);
    auto project = test::MakeProject();
    // Every key of the table is drawn where the table says: black keys dark at their
    // middle, white keys light low down where no black key reaches.
    for (int32_t i = 0; i < kVisibleKeys + 12 * 4; ++i) {
        const KeyRecord& k = project->keys[i];
        const int x = (k.left + k.right) / 2 - 20;
        const bool black = k.bottom == 21;
        const int gray = qGray(picture.pixel(x, black ? 10 : 19));
        if (black) {
            EXPECT_LT(gray, 60) << "key " << i;
        } else {
            EXPECT_GT(gray, 230) << "key " << i;
        }
    }
}

} // namespace
} // namespace tw
