#pragma once

#include "model/history.h"
#include "model/project.h"
#include "platform/platform.h"

#include <vector>

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace tw {

// Keeps the text of `field` within `bytes` bytes of UTF-8, as many as the project stores for
// it, so that the box never shows characters that are not kept: a longer text set or pasted
// is cut to fit, and a keystroke past the end is refused.
void LimitToStoredLength(QLineEdit& field, int bytes);

// The "Properties Window": edits whatever the editors last selected. Every control writes
// straight into the project; the editors repaint from it on their timers. Controls carry
// object names ("name", "imageType", "polygonAlpha", ...) by which tests and the shell
// can find them.
class PropertiesWidget : public QWidget {
    Q_OBJECT
public:
    PropertiesWidget(Project& project, Platform& platform, QWidget* parent = nullptr);

    // Shows the group of controls for the current target and fills in its values.
    void Refresh();

    // The group shown since the last refresh (a target whose object is gone shows none).
    int32_t ShownTarget() const { return shownTarget_; }

    // Where the window records its edits as steps (none by default).
    void SetHistory(EditHistory* history) { history_ = history; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct SliderRow {
        QSlider* slider = nullptr;
        QLabel* value = nullptr;
    };

    QLabel* AddLabel(int target, const QString& text, QRect at);
    SliderRow AddSliderRow(int target, const QString& name, const QString& label, int labelWidth,
                           int y, int minimum, int maximum, const QString& scale, int scaleWidth);
    QPushButton* AddColourButton(int target, const QString& name, int y);

    void BuildParameterGroup();
    void BuildPolygonGroup();
    void BuildTextGroup();
    void BuildCommentGroup();
    // With nothing selected: the design's voice count, MIDI channel and bend range.
    void BuildInstrumentGroup();
    void InstrumentEdited();

    // The object the visible group edits; nullptr when it no longer exists.
    ModuleSlot* CurrentModule();
    ModuleSlot* CurrentParameter();
    PanelPolygon* CurrentPolygon();
    PanelText* CurrentText();
    CommentRecord* CurrentComment();
    bool IsValidTarget(int32_t target);

    void NameEdited(const QString& text);
    void ImageTypeChosen(int index);
    void MouseResponseTouched();
    void ChooseColour(uint8_t* red, uint8_t* green, uint8_t* blue);
    void ChooseColour(int32_t* red, int32_t* green, int32_t* blue);
    void PolygonSlidersMoved();
    void TextSlidersMoved();
    // One edit made: typing and slider moves on one object join into a single step.
    void Edited(std::string_view name = {}, bool merge = false);

    Project& project_;
    Platform& platform_;
    EditHistory* history_ = nullptr;
    int32_t shownTarget_ = kTargetNone;
    int32_t shownObject_ = kNone; // the slot, comment, polygon or text shown
    // The controls of each target's group, shown together by Refresh.
    std::vector<QWidget*> groups_[6];

    QLineEdit* name_ = nullptr;
    QComboBox* imageType_ = nullptr;
    QComboBox* mouseResponse_ = nullptr;
    QCheckBox* showLabel_ = nullptr;
    SliderRow polygonWidth_;
    SliderRow polygonCorner_;
    SliderRow polygonAlpha_;
    QCheckBox* solid_ = nullptr;
    QLineEdit* text_ = nullptr;
    SliderRow textSize_;
    SliderRow textAlpha_;
    QPlainTextEdit* comment_ = nullptr;
    QCheckBox* showBackground_ = nullptr;
    QCheckBox* showBorder_ = nullptr;
    QSpinBox* voices_ = nullptr;
    QComboBox* channel_ = nullptr;
    QSpinBox* bendRange_ = nullptr;
};

} // namespace tw
