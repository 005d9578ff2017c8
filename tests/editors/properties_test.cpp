// The Properties window: the group each selection shows, and each control writing its
// field of the selected object.
#include "editors/properties_widget.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <tuple>

namespace tw {
namespace {

class Properties : public ::testing::Test {
protected:
    void SetUp() override { window.show(); }
    template <typename T = QWidget> T* Find(const char* name) {
        T* w = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char* name) {
        QTest::mouseClick(Find(name), Qt::LeftButton, {}, QPoint(8, Find(name)->height() / 2));
    }
    // Makes a new object of the target's kind current and shows its group.
    void Select(int32_t target) {
        Project& p = *project;
        if (target == kTargetModule) p.currentSlot = test::AddModule(p, kTypeAdd);
        if (target == kTargetParameter) p.currentSlot = test::AddModule(p, kTypeParameter);
        if (target == kTargetPolygon) p.currentPolygon = p.InsertPolygon(20, 20);
        if (target == kTargetText) p.currentText = p.InsertText(5, 5);
        if (target == kTargetComment) p.currentComment = p.InsertComment(10, 10);
        p.propertiesTarget = target;
        window.Refresh();
    }

    std::unique_ptr<Project> project = test::MakeProject();
    HeadlessPlatform platform;
    PropertiesWidget window{*project, platform};
};

TEST_F(Properties, AGoneSelectionShowsNoGroup) {
    project->currentSlot = 7; // an empty slot
    project->propertiesTarget = kTargetParameter;
    window.Refresh();
    EXPECT_EQ(window.ShownTarget(), kTargetNone);
}

// With nothing selected the window sets the design's voices, channel and bend range, each
// change a step of its own; filling the controls writes nothing back.
TEST_F(Properties, NothingSelectedSetsTheInstrument) {
    project->voiceCount = 3;
    EditHistory history;
    history.Reset(*project);
    window.SetHistory(&history);
    Select(kTargetNone);
    EXPECT_FALSE(history.CanUndo());
    window.findChild<QSpinBox*>("voices")->setValue(8);
    window.findChild<QComboBox*>("midiChannel")->setCurrentIndex(0);
    window.findChild<QSpinBox*>("bendRange")->setValue(12);
    EXPECT_EQ(std::tuple(int32_t{project->voiceCount}, int32_t{project->midiChannel},
                         int32_t{project->bendRange}),
              std::tuple(8, kAllChannels, 12));
    for (const char* step : {"Set Bend Range", "Set MIDI Channel", "Set Voices"}) {
        EXPECT_EQ(history.UndoName(), step);
        history.Undo(*project);
    }
    EXPECT_EQ(std::tuple(int32_t{project->voiceCount}, int32_t{project->midiChannel}),
              std::tuple(3, 1));
}

TEST_F(Properties, FillingTheListWritesNothingBackAndOnlyAnotherImageChangesTheControl) {
    Select(kTargetParameter);
    ModuleSlot& s = project->slots[0];
    project->currentPatch = 2;
    s.patchValues[2] = 6;
    s.imageType = 3;
    window.Refresh();
    auto* list = Find<QComboBox>("imageType");
    EXPECT_EQ(list->currentIndex(), 3);
    list->showPopup();
    list->hidePopup();
    EXPECT_EQ(s.patchValues[2], 6);
    const int32_t travel = project->KnobSteps(0);
    QTest::keyClick(list, Qt::Key_Down); // the next image, chosen with the keyboard
    EXPECT_EQ(s.imageType, 4);
    // The control keeps its place on the travel of the new image.
    EXPECT_EQ(s.patchValues[2], (6 * project->KnobSteps(0) * 2 + travel) / (2 * travel));
}

TEST_F(Properties, TextsAreTakenWithOneCharacterUpToTheirFieldsLength) {
    for (const int32_t target : {kTargetParameter, kTargetText, kTargetComment}) Select(target);
    const struct {
        int32_t target;
        const char* field;
        int limit;
        const char* stored;
    } rows[] = {{kTargetParameter, "name", 63, project->slots[0].name},
                {kTargetText, "text", 63, project->texts[0].text},
                {kTargetComment, "comment", 511, project->comments[0].text}};
    for (const auto& row : rows) {
        project->propertiesTarget = row.target;
        window.Refresh();
        // Too long: a line box cuts it to fit, the comment box refuses it.
        for (const int length : {row.limit + 1, row.limit, 0}) {
            const QString text(length, QLatin1Char(length > row.limit ? 'x' : 'k'));
            if (auto* line = qobject_cast<QLineEdit*>(Find(row.field))) line->setText(text);
            if (auto* box = qobject_cast<QPlainTextEdit*>(Find(row.field))) box->setPlainText(text);
        }
        EXPECT_EQ(row.stored, std::string(row.limit, 'k')) << row.field;
        // Typed past the end: what the box shows is what is stored, a two-byte character
        // that would not fit included.
        if (auto* line = qobject_cast<QLineEdit*>(Find(row.field))) {
            line->setText(QString(row.limit - 1, QLatin1Char('k')));
            line->insert(QStringLiteral("\u00e9")); // as typed or pasted
            QTest::keyClicks(line, "xy");
            EXPECT_EQ(line->text().toStdString(), row.stored) << row.field;
            EXPECT_EQ(std::string(row.stored).size(), static_cast<size_t>(row.limit));
        }
    }
}

TEST_F(Properties, EachControlWritesItsFieldAndTheWindowStays) {
    Select(kTargetParameter);
    Find<QComboBox>("mouseResponse")->setCurrentIndex(6);
    platform.colours = {std::nullopt, 0x102030u}; // a cancelled colour dialog changes nothing
    Click("labelColour");
    EXPECT_EQ(project->slots[0].labelColour[2], 0);
    Click("labelColour");
    EXPECT_EQ(project->slots[0].labelColour[2], 0x30);
    EXPECT_EQ(project->slots[0].mouseResponse, 6);
    Select(kTargetPolygon);
    Find<QSlider>("polygonWidth")->setValue(7);
    Find<QSlider>("polygonCorner")->setValue(30);
    Find<QSlider>("polygonAlpha")->setValue(0);
    Click("solid");
    const PanelPolygon& g = project->polygons[0];
    EXPECT_EQ((std::array{g.lineWidth, g.cornerRadius, g.alpha, int32_t{g.solid}}),
              (std::array{7, 30, 0, 1}));
    Select(kTargetText);
    Find<QSlider>("textSize")->setValue(24);
    EXPECT_EQ(project->texts[0].size, 24);
    Select(kTargetComment);
    Click("showBorder");
    EXPECT_EQ(project->comments[0].showBorder, 0);
    EXPECT_FALSE(window.close());
}

} // namespace
} // namespace tw
