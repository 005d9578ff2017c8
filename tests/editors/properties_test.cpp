// The Properties window: which controls each selection shows, and how each control edits
// the selected object.
#include "editors/properties_widget.h"
#include "model/text.h"
#include "paint/panel_painter.h"
#include "platform/headless_platform.h"
#include "support/builders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tw {
namespace {

class Properties : public ::testing::Test {
protected:
    void SetUp() override {
        project = test::MakeProject();
        window = std::make_unique<PropertiesWidget>(*project, platform);
        window->resize(160, 600);
        window->show();
    }

    template <typename T> T* Control(const char* name) {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // The texts of the visible labels, buttons and check boxes, top to bottom.
    QStringList Shown() {
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        std::stable_sort(widgets.begin(), widgets.end(), [](QWidget* a, QWidget* b) {
            return a->y() < b->y() || (a->y() == b->y() && a->x() < b->x());
        });
        QStringList out;
        for (QWidget* w : widgets) {
            if (!w->isVisibleTo(window.get()) || w->parentWidget() != window.get()) continue;
            if (auto* l = qobject_cast<QLabel*>(w)) {
                if (!l->text().startsWith(QLatin1Char('_'))) out << l->text();
            } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                out << b->text();
            } else {
                out << QStringLiteral("[%1]").arg(w->objectName());
            }
        }
        return out;
    }

    // Clicks a check box on its box, where a click always lands.
    void Tick(const char* name) {
        QCheckBox* box = Control<QCheckBox>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }

    void Show(int32_t target) {
        project->propertiesTarget = target;
        window->Refresh();
    }

    int32_t Parameter() {
        const int32_t slot = test::AddModule(*project, kTypeParameter);
        project->currentSlot = slot;
        Show(kTargetParameter);
        return slot;
    }

    PanelPolygon& Polygon() {
        project->currentPolygon = project->InsertPolygon(20, 20);
        Show(kTargetPolygon);
        return project->polygons[project->currentPolygon];
    }

    std::unique_ptr<Project> project;
    HeadlessPlatform platform;
    std::unique_ptr<PropertiesWidget> window;
};

TEST_F(Properties, EachTargetShowsItsOwnGroup) {
    EXPECT_EQ(Shown(), (QStringList{"Properties"}));

    project->currentSlot = test::AddModule(*project, kTypeAdd);
    Show(kTargetModule);
    EXPECT_EQ(Shown(), (QStringList{"Module Properties", "Name", "[name]"}));
    EXPECT_EQ(Control<QLineEdit>("name")->text(), QString::fromLatin1(project->slots[0].name));

    Parameter();
    EXPECT_EQ(Shown(), (QStringList{"Parameter Properties", "Name", "[name]", "Image Type",
                                    "[imageType]", "Mouse Response", "[mouseResponse]",
                                    "Label Colour", "Colour", "Show Label"}));

    Polygon();
    EXPECT_EQ(Shown(),
              (QStringList{"Polygon Properties", "Width", "3", "[polygonWidth]",
                           "0                                         10", "Corner", "16",
                           "[polygonCorner]", "0                                        100",
                           "Alpha", "255", "[polygonAlpha]",
                           "0                                         255", "Colour", "Solid",
                           "Note: The polygon will be invisible if Alpha is set to zero."}));

    project->currentText = project->InsertText(5, 5);
    Show(kTargetText);
    EXPECT_EQ(Shown(),
              (QStringList{"Text Properties", "Text", "[text]", "Size", "8", "[textSize]",
                           "4                                         64", "Alpha", "255",
                           "[textAlpha]", "0                                        255", "Colour",
                           "Note: The text will be invisible if Alpha is set to zero."}));
    EXPECT_EQ(Control<QLineEdit>("text")->text(), "Text");

    project->currentComment = project->InsertComment(10, 10);
    project->comments[project->currentComment].showBorder = 0;
    Show(kTargetComment);
    EXPECT_EQ(Shown(), (QStringList{"Comment Properties", "Text", "[comment]", "Show Background",
                                    "Show Border"}));
    EXPECT_TRUE(Control<QCheckBox>("showBackground")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>("showBorder")->isChecked());
}

TEST_F(Properties, ASelectionThatIsGoneShowsTheEmptyWindow) {
    project->currentSlot = 7; // an empty slot
    Show(kTargetParameter);
    EXPECT_EQ(Shown(), (QStringList{"Properties"}));
    project->currentPolygon = 0; // no polygons
    Show(kTargetPolygon);
    EXPECT_EQ(window->ShownTarget(), kTargetNone);
}

TEST_F(Properties, FillingTheControlsWritesNothingBack) {
    PanelPolygon& p = Polygon();
    p.lineWidth = 20; // beyond the slider, as a file may hold it
    p.cornerRadius = 0;
    window->Refresh();
    EXPECT_EQ(p.lineWidth, 20);
    const int32_t slot = Parameter();
    project->slots[slot].patchValues[0] = 9;
    project->slots[slot].imageType = 3;
    window->Refresh();
    EXPECT_EQ(project->slots[slot].patchValues[0], 9);
    EXPECT_EQ(Control<QComboBox>("imageType")->currentIndex(), 3);
}

TEST_F(Properties, TheNameTakesOneToSixtyThreeCharacters) {
    const int32_t slot = Parameter();
    QLineEdit* name = Control<QLineEdit>("name");
    name->clear();
    EXPECT_STREQ(project->slots[slot].name, "Param 0"); // empty is ignored
    const std::string long63(63, 'k');
    QTest::keyClicks(name, QString::fromStdString(long63));
    EXPECT_EQ(std::string(project->slots[slot].name), long63);
    QTest::keyClicks(name, "x");
    EXPECT_EQ(std::string(project->slots[slot].name), long63);
    QTest::keyClick(name, Qt::Key_Backspace);
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(std::string(project->slots[slot].name), std::string(62, 'k'));
}

TEST_F(Properties, OnlyChoosingAnotherImageTypeChangesTheControl) {
    const int32_t slot = Parameter();
    ModuleSlot& s = project->slots[slot];
    project->currentPatch = 2;
    s.patchValues[2] = 6;
    QComboBox* list = Control<QComboBox>("imageType");
    list->showPopup();
    list->hidePopup();
    EXPECT_EQ(s.patchValues[2], 6);
    QTest::keyClick(list, Qt::Key_Down); // the next image, chosen with the keyboard
    EXPECT_EQ(s.imageType, 1);
    EXPECT_EQ(s.patchValues[2], 0);

    Control<QComboBox>("mouseResponse")->setCurrentIndex(6);
    EXPECT_EQ(s.mouseResponse, 6); // "Click Reset"
}

TEST_F(Properties, ColourChoicesAreStoredAndCancelKeepsTheColour) {
    const int32_t slot = Parameter();
    ModuleSlot& s = project->slots[slot];
    s.labelColour[0] = s.labelColour[1] = s.labelColour[2] = 200;
    platform.colours = {std::nullopt, 0x102030u};
    QPushButton* button = Control<QPushButton>("labelColour");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(s.labelColour[0], 200);
    EXPECT_EQ(s.labelColour[2], 200);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(s.labelColour[0], 0x10);
    EXPECT_EQ(s.labelColour[1], 0x20);
    EXPECT_EQ(s.labelColour[2], 0x30);

    PanelPolygon& p = Polygon();
    platform.colours = {0xFF8001u};
    QTest::mouseClick(Control<QPushButton>("polygonColour"), Qt::LeftButton);
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 128);
    EXPECT_EQ(p.blue, 1);
}

TEST_F(Properties, PolygonAlphaAtZeroHidesItOnThePanelAndKeepsItsShape) {
    PanelPolygon& p = Polygon();
    p.solid = 1;
    p.cornerRadius = 0;
    p.x2 = 120;
    p.y2 = 70;
    window->Refresh();
    EXPECT_EQ(RenderPanel(*project, 200, 100).pixel(70, 45) & 0xFFFFFFu, 0x808080u);

    Control<QSlider>("polygonAlpha")->setValue(0);
    EXPECT_EQ(p.alpha, 0);
    EXPECT_EQ(p.lineWidth, 3);
    EXPECT_EQ(p.cornerRadius, 0);
    EXPECT_EQ(Control<QLabel>("polygonAlphaValue")->text(), "0");
    EXPECT_EQ(RenderPanel(*project, 200, 100).pixel(70, 45) & 0xFFFFFFu, 0xF0F0F0u);

    Control<QSlider>("polygonWidth")->setValue(7);
    EXPECT_EQ(p.lineWidth, 7);
    EXPECT_EQ(Control<QLabel>("polygonWidthValue")->text(), "7");
    Tick("solid");
    EXPECT_EQ(p.solid, 0);
}

TEST_F(Properties, TextLabelEdits) {
    project->currentText = project->InsertText(5, 5);
    Show(kTargetText);
    PanelText& t = project->texts[project->currentText];
    QLineEdit* edit = Control<QLineEdit>("text");
    edit->selectAll();
    QTest::keyClicks(edit, "Cutoff");
    EXPECT_STREQ(t.text, "Cutoff");
    Control<QSlider>("textSize")->setValue(24);
    Control<QSlider>("textAlpha")->setValue(128);
    EXPECT_EQ(t.size, 24);
    EXPECT_EQ(t.alpha, 128);
    EXPECT_EQ(Control<QLabel>("textSizeValue")->text(), "24");
    platform.colours = {0x0000FFu};
    QTest::mouseClick(Control<QPushButton>("textColour"), Qt::LeftButton);
    EXPECT_EQ(t.blue, 255);
    EXPECT_EQ(t.red, 0);
}

TEST_F(Properties, CommentsTakeUpTo511CharactersAndTheirFlagsToggle) {
    project->currentComment = project->InsertComment(10, 10);
    Show(kTargetComment);
    CommentRecord& c = project->comments[project->currentComment];
    QPlainTextEdit* edit = Control<QPlainTextEdit>("comment");
    const QString long300(300, QLatin1Char('w'));
    edit->setPlainText(long300);
    EXPECT_EQ(std::string(c.text), long300.toStdString());
    edit->setPlainText(QString(511, QLatin1Char('a')));
    edit->setPlainText(QString(512, QLatin1Char('b')));
    EXPECT_EQ(std::string(c.text), std::string(511, 'a'));
    edit->setPlainText(QStringLiteral("two\nlines"));
    EXPECT_STREQ(c.text, "two\nlines");

    Tick("showBackground");
    Tick("showBorder");
    EXPECT_EQ(c.showBackground, 0);
    EXPECT_EQ(c.showBorder, 0);
    Tick("showBorder");
    EXPECT_EQ(c.showBorder, 1);
}

TEST_F(Properties, ShowLabelTogglesAndTheWindowCannotBeClosed) {
    const int32_t slot = Parameter();
    Tick("showLabel");
    EXPECT_EQ(project->slots[slot].showLabel, 0);
    Tick("showLabel");
    EXPECT_EQ(project->slots[slot].showLabel, 1);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
}

} // namespace
} // namespace tw
