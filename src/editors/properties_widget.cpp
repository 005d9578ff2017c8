#include "editors/properties_widget.h"

#include "editors/undo_keys.h"

#include "model/lifecycle.h"

#include "interaction/panel_interaction.h"
#include "model/skin_files.h"
#include "model/text.h"
#include "paint/qt_bitmap.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QValidator>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

namespace tw {

namespace {

constexpr int kLeft = 6;
constexpr int kWide = 150;
// The value texts sit right of their slider's label, far enough for "Corner" in the
// fonts a Linux desktop uses.
constexpr int kValueX = 56;
constexpr int kRowLabelWidth = kValueX - kLeft;
constexpr int kScaleX = 12;
// Names and panel texts take 1 to 63 characters, comments 1 to 511.
constexpr qsizetype kMaxName = kNameSize - 1;
constexpr qsizetype kMaxComment = kCommentTextSize - 1;

const char* const kMouseResponses[kMouseResponseCount] = {
    "Drag Vertical", "Drag Horizontal", "Click Inc",  "Click Dec",
    "Click Inc/Dec", "Click Toggle",    "Click Reset"};

// A drop-down list that reports being opened and closed as well as a choice: the mouse
// response takes effect on any of them.
class TouchedComboBox : public QComboBox {
public:
    TouchedComboBox(std::function<void()> touched, QWidget* parent)
        : QComboBox(parent), touched_(std::move(touched)) {
        connect(this, &QComboBox::activated, this, [this] { touched_(); });
        connect(this, &QComboBox::currentIndexChanged, this, [this] { touched_(); });
    }
    void showPopup() override {
        QComboBox::showPopup();
        touched_();
    }
    void hidePopup() override {
        // Hiding the list hides its popup too; only a popup that was open counts.
        const bool open = view()->isVisible();
        QComboBox::hidePopup();
        if (open) touched_();
    }

private:
    std::function<void()> touched_;
};

QString Spaced(const char* left, int spaces, const char* right) {
    return QString::fromLatin1(left) + QString(spaces, QLatin1Char(' ')) +
           QString::fromLatin1(right);
}

// The text as the record keeps it, when its length is acceptable.
// Refuses an edit that would make the text longer than the stored field: the box then
// keeps what it had, so that it never shows characters that are not kept.
class StoredLengthValidator final : public QValidator {
public:
    StoredLengthValidator(QObject* parent, int bytes) : QValidator(parent), bytes_(bytes) {}
    State validate(QString& input, int&) const override {
        return input.toUtf8().size() <= bytes_ ? Acceptable : Invalid;
    }

private:
    int bytes_;
};

std::optional<QByteArray> Accepted(const QString& text, qsizetype longest) {
    QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty() || bytes.size() > longest) return std::nullopt;
    return bytes;
}

// A scale text is two numbers with spaces between. Its spaces were measured for a narrow
// font; here the first number is drawn at the left and the last one ends under the
// slider's right end, whatever the font.
class ScaleLabel : public QLabel {
public:
    ScaleLabel(const QString& text, int span, QWidget* parent)
        : QLabel(text, parent), span_(span) {}

protected:
    void paintEvent(QPaintEvent*) override {
        const QStringList numbers = text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (numbers.isEmpty()) return;
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect box(0, 0, std::min(span_, width()), height());
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, numbers.front());
        if (numbers.size() > 1)
            painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, numbers.back());
    }

private:
    int span_;
};

uint32_t Packed(int red, int green, int blue) {
    const auto byte = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return byte(red) << 16 | byte(green) << 8 | byte(blue);
}

} // namespace

void LimitToStoredLength(QLineEdit& field, int bytes) {
    // A character takes a byte or more: texts set or pasted are cut to this many first.
    field.setMaxLength(bytes);
    field.setValidator(new StoredLengthValidator(&field, bytes));
}

PropertiesWidget::PropertiesWidget(Project& project, Platform& platform, QWidget* parent)
    : QWidget(parent), project_(project), platform_(platform) {
    setWindowTitle(QStringLiteral("Properties Window"));
    resize(160, 2160);

    auto* rule = new QLabel(QString(51, QLatin1Char('_')), this);
    rule->setGeometry(0, 17, 200, 16);
    // Top-aligned, so that the underscores' line falls inside the 16 pixels.
    rule->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    AddLabel(kTargetNone, QStringLiteral("Properties"), {kLeft, 8, kWide, 16});
    AddLabel(kTargetModule, QStringLiteral("Module Properties"), {kLeft, 8, kWide, 16});
    for (int target : {kTargetModule, kTargetParameter}) {
        AddLabel(target, QStringLiteral("Name"), {kLeft, 50, 100, 16});
    }
    name_ = new QLineEdit(this);
    LeaveUndoKeysToTheMenu(*name_);
    name_->setObjectName(QStringLiteral("name"));
    name_->setGeometry(kLeft, 66, kWide, 20);
    LimitToStoredLength(*name_, static_cast<int>(kMaxName));
    groups_[kTargetModule].push_back(name_);
    groups_[kTargetParameter].push_back(name_);
    connect(name_, &QLineEdit::textChanged, this, &PropertiesWidget::NameEdited);

    BuildParameterGroup();
    BuildPolygonGroup();
    BuildTextGroup();
    BuildCommentGroup();
    BuildInstrumentGroup();
    Refresh();
}

QLabel* PropertiesWidget::AddLabel(int target, const QString& text, QRect at) {
    auto* label = new QLabel(text, this);
    label->setGeometry(at);
    groups_[target].push_back(label);
    return label;
}

PropertiesWidget::SliderRow PropertiesWidget::AddSliderRow(int target, const QString& name,
                                                           const QString& label, int labelWidth,
                                                           int y, int minimum, int maximum,
                                                           const QString& scale, int scaleWidth) {
    AddLabel(target, label, {kLeft, y, kRowLabelWidth, labelWidth == 100 ? 16 : 14});
    SliderRow row;
    row.value = AddLabel(target, QStringLiteral("0"), {kValueX, y, 30, 14});
    row.value->setObjectName(name + QStringLiteral("Value"));
    row.slider = new QSlider(Qt::Horizontal, this);
    row.slider->setObjectName(name);
    row.slider->setGeometry(kLeft, y + 16, kWide, 20);
    row.slider->setRange(minimum, maximum);
    groups_[target].push_back(row.slider);
    // The scale spans the slider from the left of its first number to its right end.
    const int span = kLeft + kWide - kScaleX;
    auto* scaleText = new ScaleLabel(scale, span, this);
    scaleText->setGeometry(kScaleX, y + 38, std::max(scaleWidth, span), 14);
    groups_[target].push_back(scaleText);
    return row;
}

QPushButton* PropertiesWidget::AddColourButton(int target, const QString& name, int y) {
    auto* button = new QPushButton(QStringLiteral("Colour"), this);
    button->setObjectName(name);
    button->setGeometry(kLeft, y, kWide, 20);
    groups_[target].push_back(button);
    return button;
}

void PropertiesWidget::BuildParameterGroup() {
    const int t = kTargetParameter;
    AddLabel(t, QStringLiteral("Parameter Properties"), {kLeft, 8, kWide, 16});

    AddLabel(t, QStringLiteral("Image Type"), {kLeft, 106, 100, 16});
    // Only a choice counts: opening and closing the list leaves the control's values alone.
    imageType_ = new QComboBox(this);
    connect(imageType_, &QComboBox::activated, this, &PropertiesWidget::ImageTypeChosen);
    for (const char* item : kSkinImageFiles) imageType_->addItem(QString::fromLatin1(item));
    imageType_->setObjectName(QStringLiteral("imageType"));
    imageType_->setGeometry(kLeft, 122, kWide, 22);
    groups_[t].push_back(imageType_);

    AddLabel(t, QStringLiteral("Mouse Response"), {kLeft, 162, 100, 16});
    mouseResponse_ = new TouchedComboBox([this] { MouseResponseTouched(); }, this);
    for (const char* item : kMouseResponses) mouseResponse_->addItem(QString::fromLatin1(item));
    mouseResponse_->setObjectName(QStringLiteral("mouseResponse"));
    mouseResponse_->setGeometry(kLeft, 178, kWide, 22);
    groups_[t].push_back(mouseResponse_);

    AddLabel(t, QStringLiteral("Label Colour"), {kLeft, 218, 100, 16});
    QPushButton* colour = AddColourButton(t, QStringLiteral("labelColour"), 234);
    connect(colour, &QPushButton::clicked, this, [this] {
        if (ModuleSlot* s = CurrentParameter())
            ChooseColour(&s->labelColour[0], &s->labelColour[1], &s->labelColour[2]);
        Edited("Change Label Colour");
    });

    showLabel_ = new QCheckBox(QStringLiteral("Show Label"), this);
    showLabel_->setObjectName(QStringLiteral("showLabel"));
    showLabel_->setGeometry(kLeft, 274, kWide, 18);
    groups_[t].push_back(showLabel_);
    connect(showLabel_, &QCheckBox::clicked, this, [this] {
        if (ModuleSlot* s = CurrentParameter()) {
            s->showLabel = s->showLabel != 0 ? 0 : 1;
            showLabel_->setChecked(s->showLabel != 0);
            Edited(s->showLabel != 0 ? "Show Label" : "Hide Label");
        }
    });
}

void PropertiesWidget::BuildPolygonGroup() {
    const int t = kTargetPolygon;
    AddLabel(t, QStringLiteral("Polygon Properties"), {kLeft, 8, kWide, 16});
    polygonWidth_ = AddSliderRow(t, QStringLiteral("polygonWidth"), QStringLiteral("Width"), 35, 50,
                                 0, 10, Spaced("0", 41, "10"), 200);
    polygonCorner_ = AddSliderRow(t, QStringLiteral("polygonCorner"), QStringLiteral("Corner"), 35,
                                  122, 0, 100, Spaced("0", 40, "100"), 200);
    polygonAlpha_ = AddSliderRow(t, QStringLiteral("polygonAlpha"), QStringLiteral("Alpha"), 35,
                                 194, 0, 255, Spaced("0", 41, "255"), 110);
    for (QSlider* s : {polygonWidth_.slider, polygonCorner_.slider, polygonAlpha_.slider}) {
        connect(s, &QSlider::valueChanged, this, &PropertiesWidget::PolygonSlidersMoved);
    }
    QPushButton* colour = AddColourButton(t, QStringLiteral("polygonColour"), 266);
    connect(colour, &QPushButton::clicked, this, [this] {
        if (PanelPolygon* p = CurrentPolygon()) ChooseColour(&p->red, &p->green, &p->blue);
        Edited("Change Polygon Colour");
    });
    solid_ = new QCheckBox(QStringLiteral("Solid"), this);
    solid_->setObjectName(QStringLiteral("solid"));
    solid_->setGeometry(kLeft, 306, kWide, 20);
    groups_[t].push_back(solid_);
    connect(solid_, &QCheckBox::clicked, this, [this] {
        if (PanelPolygon* p = CurrentPolygon()) {
            p->solid = p->solid != 0 ? 0 : 1;
            solid_->setChecked(p->solid != 0);
            Edited();
        }
    });
    QLabel* note =
        AddLabel(t, QStringLiteral("Note: The polygon will be invisible if Alpha is set to zero."),
                 {kLeft, 386, kWide, 48});
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void PropertiesWidget::BuildTextGroup() {
    const int t = kTargetText;
    AddLabel(t, QStringLiteral("Text Properties"), {kLeft, 8, kWide, 16});
    AddLabel(t, QStringLiteral("Text"), {kLeft, 50, 100, 16});
    text_ = new QLineEdit(this);
    LeaveUndoKeysToTheMenu(*text_);
    text_->setObjectName(QStringLiteral("text"));
    text_->setGeometry(kLeft, 66, kWide, 20);
    LimitToStoredLength(*text_, static_cast<int>(kMaxName));
    groups_[t].push_back(text_);
    connect(text_, &QLineEdit::textChanged, this, [this](const QString& typed) {
        PanelText* text = shownTarget_ == kTargetText ? CurrentText() : nullptr;
        const std::optional<QByteArray> bytes = Accepted(typed, kMaxName);
        if (text != nullptr && bytes) SetText(text->text, bytes->toStdString());
        Edited({}, true);
    });
    textSize_ = AddSliderRow(t, QStringLiteral("textSize"), QStringLiteral("Size"), 100, 106, 4, 64,
                             Spaced("4", 41, "64"), 200);
    textAlpha_ = AddSliderRow(t, QStringLiteral("textAlpha"), QStringLiteral("Alpha"), 100, 178, 0,
                              255, Spaced("0", 40, "255"), 200);
    for (QSlider* s : {textSize_.slider, textAlpha_.slider}) {
        connect(s, &QSlider::valueChanged, this, &PropertiesWidget::TextSlidersMoved);
    }
    QPushButton* colour = AddColourButton(t, QStringLiteral("textColour"), 250);
    connect(colour, &QPushButton::clicked, this, [this] {
        if (PanelText* text = CurrentText()) ChooseColour(&text->red, &text->green, &text->blue);
        Edited("Change Text Colour");
    });
    QLabel* note =
        AddLabel(t, QStringLiteral("Note: The text will be invisible if Alpha is set to zero."),
                 {kLeft, 330, kWide, 48});
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void PropertiesWidget::BuildCommentGroup() {
    const int t = kTargetComment;
    AddLabel(t, QStringLiteral("Comment Properties"), {kLeft, 8, kWide, 16});
    AddLabel(t, QStringLiteral("Text"), {kLeft, 50, kWide, 16});
    comment_ = new QPlainTextEdit(this);
    LeaveUndoKeysToTheMenu(*comment_);
    comment_->setObjectName(QStringLiteral("comment"));
    comment_->setGeometry(kLeft, 66, kWide, 48);
    groups_[t].push_back(comment_);
    connect(comment_, &QPlainTextEdit::textChanged, this, [this] {
        CommentRecord* c = shownTarget_ == kTargetComment ? CurrentComment() : nullptr;
        const std::optional<QByteArray> bytes = Accepted(comment_->toPlainText(), kMaxComment);
        if (c != nullptr && bytes) SetText(c->text, bytes->toStdString());
        Edited({}, true);
    });
    showBackground_ = new QCheckBox(QStringLiteral("Show Background"), this);
    showBackground_->setObjectName(QStringLiteral("showBackground"));
    showBackground_->setGeometry(kLeft, 146, kWide, 25);
    showBorder_ = new QCheckBox(QStringLiteral("Show Border"), this);
    showBorder_->setObjectName(QStringLiteral("showBorder"));
    showBorder_->setGeometry(kLeft, 186, kWide, 25);
    for (QCheckBox* box : {showBackground_, showBorder_}) {
        groups_[t].push_back(box);
        connect(box, &QCheckBox::clicked, this, [this, box] {
            CommentRecord* c = CurrentComment();
            if (c == nullptr) return;
            uint8_t& flag = box == showBackground_ ? c->showBackground : c->showBorder;
            flag = flag != 0 ? 0 : 1;
            box->setChecked(flag != 0);
            Edited();
        });
    }
}

ModuleSlot* PropertiesWidget::CurrentModule() {
    const int32_t slot = project_.currentSlot;
    if (!IsSlot(slot) || project_.slots[slot].type == kTypeEmpty) return nullptr;
    return &project_.slots[slot];
}

ModuleSlot* PropertiesWidget::CurrentParameter() {
    ModuleSlot* s = CurrentModule();
    return s != nullptr && s->type == kTypeParameter ? s : nullptr;
}

PanelPolygon* PropertiesWidget::CurrentPolygon() {
    const int32_t i = project_.currentPolygon;
    if (i < 0 || i >= std::min(project_.polygonCount, kPolygonCount)) return nullptr;
    return &project_.polygons[i];
}

PanelText* PropertiesWidget::CurrentText() {
    const int32_t i = project_.currentText;
    if (i < 0 || i >= std::min(project_.textCount, kTextCount)) return nullptr;
    return &project_.texts[i];
}

CommentRecord* PropertiesWidget::CurrentComment() {
    const int32_t i = project_.currentComment;
    if (i < 0 || i >= std::min(project_.commentCount, kCommentCount)) return nullptr;
    return &project_.comments[i];
}

bool PropertiesWidget::IsValidTarget(int32_t target) {
    switch (target) {
    case kTargetModule:
        return CurrentModule() != nullptr;
    case kTargetParameter:
        return CurrentParameter() != nullptr;
    case kTargetPolygon:
        return CurrentPolygon() != nullptr;
    case kTargetText:
        return CurrentText() != nullptr;
    case kTargetComment:
        return CurrentComment() != nullptr;
    default:
        return false;
    }
}

void PropertiesWidget::BuildInstrumentGroup() {
    const int t = kTargetNone;
    AddLabel(t, QStringLiteral("Voices"), {kLeft, 50, 100, 16});
    voices_ = new QSpinBox(this);
    voices_->setObjectName(QStringLiteral("voices"));
    voices_->setGeometry(kLeft, 66, kWide, 20);
    voices_->setRange(1, kMaxVoices);
    AddLabel(t, QStringLiteral("MIDI Channel"), {kLeft, 96, 100, 16});
    channel_ = new QComboBox(this);
    channel_->setObjectName(QStringLiteral("midiChannel"));
    channel_->setGeometry(kLeft, 112, kWide, 20);
    // Item k is channel k; item 0 listens to every channel.
    channel_->addItem(QStringLiteral("All"));
    for (int c = 1; c <= 16; ++c) channel_->addItem(QString::number(c));
    AddLabel(t, QStringLiteral("Bend Range (semitones)"), {kLeft, 142, kWide, 16});
    bendRange_ = new QSpinBox(this);
    bendRange_->setObjectName(QStringLiteral("bendRange"));
    bendRange_->setGeometry(kLeft, 158, kWide, 20);
    bendRange_->setRange(0, kMaxBendRange);
    for (QWidget* w : {static_cast<QWidget*>(voices_), static_cast<QWidget*>(channel_),
                       static_cast<QWidget*>(bendRange_)})
        groups_[t].push_back(w);
    connect(voices_, &QSpinBox::valueChanged, this, &PropertiesWidget::InstrumentEdited);
    connect(bendRange_, &QSpinBox::valueChanged, this, &PropertiesWidget::InstrumentEdited);
    connect(channel_, &QComboBox::currentIndexChanged, this, &PropertiesWidget::InstrumentEdited);
}

void PropertiesWidget::InstrumentEdited() {
    if (shownTarget_ != kTargetNone) return;
    const int32_t voices = voices_->value();
    const int32_t channel = channel_->currentIndex();
    const int32_t bend = bendRange_->value();
    const char* name = voices != project_.voiceCount     ? "Set Voices"
                       : channel != project_.midiChannel ? "Set MIDI Channel"
                                                         : "Set Bend Range";
    project_.voiceCount = voices;
    project_.midiChannel = channel;
    project_.bendRange = bend;
    Edited(name);
}

void PropertiesWidget::Refresh() {
    // A selection that has gone (a deleted module, a list emptied by a load) shows the
    // empty window rather than controls that would write into nothing.
    const int32_t target =
        IsValidTarget(project_.propertiesTarget) ? project_.propertiesTarget : kTargetNone;
    // Typing into another object is another step; the same object shown again (a wheel
    // notch on its knob refreshes the window) keeps the step open.
    const int32_t object = target == kTargetComment   ? project_.currentComment
                           : target == kTargetPolygon ? project_.currentPolygon
                           : target == kTargetText    ? project_.currentText
                                                      : project_.currentSlot;
    if (history_ != nullptr && (target != shownTarget_ || object != shownObject_))
        history_->CloseMerge();
    shownTarget_ = target;
    shownObject_ = object;
    for (auto& group : groups_) {
        for (QWidget* w : group) w->hide();
    }

    // Filling the controls must not write back through their change handlers.
    const QSignalBlocker blocks[] = {QSignalBlocker(name_),
                                     QSignalBlocker(imageType_),
                                     QSignalBlocker(mouseResponse_),
                                     QSignalBlocker(polygonWidth_.slider),
                                     QSignalBlocker(polygonCorner_.slider),
                                     QSignalBlocker(polygonAlpha_.slider),
                                     QSignalBlocker(text_),
                                     QSignalBlocker(textSize_.slider),
                                     QSignalBlocker(textAlpha_.slider),
                                     QSignalBlocker(comment_),
                                     QSignalBlocker(voices_),
                                     QSignalBlocker(channel_),
                                     QSignalBlocker(bendRange_)};
    const auto setRow = [](SliderRow& row, int32_t v) {
        row.slider->setValue(v);
        row.value->setText(QString::number(row.slider->value()));
    };
    switch (target) {
    case kTargetModule:
    case kTargetParameter: {
        ModuleSlot& s = *CurrentModule();
        name_->setText(TextOfBytes(GetText(s.name)));
        if (target == kTargetParameter) {
            imageType_->setCurrentIndex(std::clamp(s.imageType, 0, kSkinImageCount - 1));
            mouseResponse_->setCurrentIndex(
                std::clamp(s.mouseResponse, 0, kMouseResponseCount - 1));
            showLabel_->setChecked(s.showLabel != 0);
        }
        break;
    }
    case kTargetPolygon: {
        const PanelPolygon& p = *CurrentPolygon();
        setRow(polygonWidth_, p.lineWidth);
        setRow(polygonCorner_, p.cornerRadius);
        setRow(polygonAlpha_, p.alpha);
        solid_->setChecked(p.solid != 0);
        break;
    }
    case kTargetText: {
        const PanelText& t = *CurrentText();
        text_->setText(TextOfBytes(GetText(t.text)));
        setRow(textSize_, t.size);
        setRow(textAlpha_, t.alpha);
        break;
    }
    case kTargetComment: {
        const CommentRecord& c = *CurrentComment();
        comment_->setPlainText(TextOfBytes(GetText(c.text)));
        showBackground_->setChecked(c.showBackground != 0);
        showBorder_->setChecked(c.showBorder != 0);
        break;
    }
    default:
        voices_->setValue(project_.voiceCount);
        channel_->setCurrentIndex(std::clamp<int32_t>(project_.midiChannel, 0, 16));
        bendRange_->setValue(project_.bendRange);
        break;
    }
    for (QWidget* w : groups_[target]) w->show();
    update();
}

void PropertiesWidget::NameEdited(const QString& text) {
    const bool named = shownTarget_ == kTargetModule || shownTarget_ == kTargetParameter;
    ModuleSlot* s = named ? CurrentModule() : nullptr;
    const std::optional<QByteArray> bytes = Accepted(text, kMaxName);
    if (s != nullptr && bytes) SetText(s->name, bytes->toStdString());
    Edited({}, true);
}

void PropertiesWidget::ImageTypeChosen(int index) {
    if (CurrentParameter() == nullptr || shownTarget_ != kTargetParameter) return;
    project_.ChangeImageType(project_.currentSlot, index);
    Edited("Change Image Type");
}

void PropertiesWidget::MouseResponseTouched() {
    ModuleSlot* s = CurrentParameter();
    if (s == nullptr || shownTarget_ != kTargetParameter) return;
    s->mouseResponse = std::clamp(mouseResponse_->currentIndex(), 0, kMouseResponseCount - 1);
    Edited("Change Mouse Response");
}

void PropertiesWidget::ChooseColour(uint8_t* red, uint8_t* green, uint8_t* blue) {
    const std::optional<uint32_t> chosen = platform_.ChooseColour(Packed(*red, *green, *blue));
    if (!chosen) return;
    *red = static_cast<uint8_t>(*chosen >> 16);
    *green = static_cast<uint8_t>(*chosen >> 8);
    *blue = static_cast<uint8_t>(*chosen);
}

void PropertiesWidget::ChooseColour(int32_t* red, int32_t* green, int32_t* blue) {
    const std::optional<uint32_t> chosen = platform_.ChooseColour(Packed(*red, *green, *blue));
    if (!chosen) return;
    *red = static_cast<int32_t>(*chosen >> 16 & 0xFFu);
    *green = static_cast<int32_t>(*chosen >> 8 & 0xFFu);
    *blue = static_cast<int32_t>(*chosen & 0xFFu);
}

void PropertiesWidget::PolygonSlidersMoved() {
    PanelPolygon* p = CurrentPolygon();
    if (p == nullptr || shownTarget_ != kTargetPolygon) return;
    p->lineWidth = polygonWidth_.slider->value();
    p->alpha = polygonAlpha_.slider->value();
    p->cornerRadius = polygonCorner_.slider->value();
    for (SliderRow* row : {&polygonWidth_, &polygonCorner_, &polygonAlpha_})
        row->value->setText(QString::number(row->slider->value()));
    Edited({}, true);
}

void PropertiesWidget::TextSlidersMoved() {
    PanelText* t = CurrentText();
    if (t == nullptr || shownTarget_ != kTargetText) return;
    t->size = textSize_.slider->value();
    t->alpha = textAlpha_.slider->value();
    for (SliderRow* row : {&textSize_, &textAlpha_})
        row->value->setText(QString::number(row->slider->value()));
    Edited({}, true);
}

void PropertiesWidget::Edited(std::string_view name, bool merge) {
    RecordStep(history_, project_, platform_, name, false, merge);
}

void PropertiesWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
}

void PropertiesWidget::closeEvent(QCloseEvent* event) {
    // The window is part of the main window's frame: it cannot be closed.
    event->ignore();
}

} // namespace tw
