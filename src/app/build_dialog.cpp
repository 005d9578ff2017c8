#include "app/build_dialog.h"

#include "app/app_context.h"
#include "export/plugin_build.h"
#include "model/app_folders.h"
#include "model/lifecycle.h"
#include "model/text.h"
#include "paint/panel_painter.h"
#include "paint/qt_bitmap.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QThread>

namespace tw {

namespace {

constexpr int kPlatform64Entry = 0;
constexpr int kPlatform32Entry = 1;
// The longest texts the fields take, in UTF-16 units: name and author as many as the build
// keeps, the version number 8, the unique ID 4.
constexpr int kIdentityChars = static_cast<int>(kIdentityFieldChars);
constexpr int kVersionChars = 8;
constexpr int kIdChars = static_cast<int>(kUniqueIdFieldChars);

constexpr const char* kCompanyExample = "https://www.example.com";
constexpr const char* kSupportExample = "https://www.example.com/support";

// The build's surroundings inside the dialog: message boxes through the platform, pauses
// that keep the program painting, and the panel as the Gui Editor shows it.
class DialogBuildHost final : public BuildHost {
public:
    DialogBuildHost(AppContext& ctx, const PanelCapture& capture) : ctx_(ctx), capture_(capture) {}

    void ShowError(std::string_view text) override {
        ctx_.platform.ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Error);
    }
    void ShowWarning(std::string_view text) override {
        ctx_.platform.ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Warning);
    }
    void Pause(int milliseconds) override {
        // The Gui Editor keeps repainting during the pause, and the log shows each line as
        // it comes.
        QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents,
                                            static_cast<int>(deadline.remainingTime()));
            QThread::msleep(5);
        }
    }
    Bitmap CapturePanel(int32_t width, int32_t height) override {
        QImage picture = capture_ ? capture_() : QImage();
        if (picture.isNull()) picture = RenderPanel(ctx_.project, width, height);
        return BitmapOfImage(picture);
    }

private:
    AppContext& ctx_;
    const PanelCapture& capture_;
};

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, w, h);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* AddField(QWidget* parent, const QString& text, int x, int y, int w, int maxChars) {
    auto* field = new QLineEdit(parent);
    if (maxChars > 0) field->setMaxLength(maxChars);
    field->setText(text);
    field->setGeometry(x, y, w, 19);
    return field;
}

QPushButton* AddButton(QWidget* parent, const char* text, int x) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setGeometry(x, 691, 80, 25);
    // Enter in a field must not start a build.
    button->setAutoDefault(false);
    return button;
}

// The text as UTF-8, without the halves of characters that a field's length limit cut in
// two: the limit counts UTF-16 units, and a character outside the Basic Multilingual
// Plane takes two.
std::string Utf8(const QString& text) {
    QString whole;
    whole.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            whole += c;
            whole += text[++i];
        } else if (!c.isSurrogate()) {
            whole += c;
        }
    }
    return whole.toUtf8().toStdString();
}

} // namespace

BuildDialog::BuildDialog(QWidget* parent, AppContext& ctx, PanelCapture capturePanel)
    : QDialog(parent), ctx_(ctx), capturePanel_(std::move(capturePanel)) {
    setWindowTitle(QStringLiteral("Build Project"));
    setModal(true);
    // Room for the controls with the same 10-pixel margin on every side; the log pane
    // and the group boxes end at x = 475.
    setFixedSize(485, 726);
    AddRequiredInfo();
    AddOptionalInfo();
    AddOutputOptions();
    AddLogAndButtons();
    ShowOpeningState();
    ConnectControls();
    PlaceBesideMainWindow(parent);
}

void BuildDialog::AddRequiredInfo() {
    const Project& project = ctx_.project;
    auto* required = new QGroupBox(QStringLiteral("Required Info"), this);
    required->setGeometry(10, 20, 465, 150);
    AddLabel(this, QStringLiteral("Name. Example: MySynth"), 20, 45, 200, 20);
    nameField_ =
        AddField(this, TextOfBytes(GetText(project.pluginName)), 20, 65, 200, kIdentityChars);
    AddLabel(this, QStringLiteral("Author. Example: A Writer"), 250, 45, 200, 20);
    authorField_ =
        AddField(this, TextOfBytes(GetText(project.author)), 250, 65, 200, kIdentityChars);
    AddLabel(this, QStringLiteral("Version Number. (1000 = v1.0)"), 20, 105, 200, 20);
    versionField_ =
        AddField(this, TextOfBytes(GetText(project.versionText)), 20, 125, 200, kVersionChars);
    AddLabel(this, QStringLiteral("Unique 4 Character ID"), 250, 105, 220, 20);
    idField_ = AddField(this, TextOfBytes(GetText(project.uniqueId)), 250, 125, 200, kIdChars);
}

// Shown for what a plugin could carry one day; nothing typed here is kept.
void BuildDialog::AddOptionalInfo() {
    auto* optional = new QGroupBox(QStringLiteral("Optional Info"), this);
    optional->setGeometry(10, 185, 465, 210);
    optional->setEnabled(false);
    const QString company = QString::fromLatin1(kCompanyExample);
    const QString support = QString::fromLatin1(kSupportExample);
    AddLabel(this, QStringLiteral("Company Url. Example ") + company, 20, 205, 400, 20)
        ->setEnabled(false);
    AddField(this, company, 20, 225, 430, 0)->setEnabled(false);
    AddLabel(this, QStringLiteral("Support Url. Example ") + support, 20, 265, 400, 20)
        ->setEnabled(false);
    AddField(this, support, 20, 285, 430, 0)->setEnabled(false);
    AddLabel(this, QStringLiteral("Description"), 20, 325, 300, 20)->setEnabled(false);
    auto* description =
        new QPlainTextEdit(QStringLiteral("Describe your project in here..."), this);
    description->setGeometry(20, 345, 450, 38);
    description->setEnabled(false);
}

void BuildDialog::AddOutputOptions() {
    auto* output = new QGroupBox(QStringLiteral("Output Options"), this);
    output->setGeometry(10, 405, 465, 110);
    AddLabel(this, QStringLiteral("Target Platform"), 20, 425, 200, 20);
    platformList_ = new QComboBox(this);
    platformList_->addItem(QStringLiteral("64Bit Plugin"));
    platformList_->addItem(QStringLiteral("32Bit Plugin"));
    platformList_->setGeometry(20, 445, 200, 19);
    AddLabel(this, QStringLiteral("Target Directory"), 250, 427, 200, 20);
    folderField_ =
        AddField(this, TextOfBytes(GetText(ctx_.project.outputFolder)), 250, 445, 200, 0);
    folderField_->setEnabled(false);
    folderField_->setCursorPosition(0);
    renderBox_ = new QCheckBox(QStringLiteral("Render Parameters On Background"), this);
    renderBox_->setGeometry(20, 475, 230, 25);
    // Also a bundle of its own in ~/.lv2, which LV2 hosts find without any setting.
    lv2Box_ = new QCheckBox(QStringLiteral("Install for LV2 hosts"), this);
    lv2Box_->setGeometry(250, 475, 215, 25);
}

void BuildDialog::AddLogAndButtons() {
    AddLabel(this, QStringLiteral("Build Status..."), 10, 525, 300, 20);
    logPane_ = new QPlainTextEdit(this);
    logPane_->setGeometry(10, 545, 465, 140);
    logPane_->setReadOnly(true);
    logPane_->setLineWrapMode(QPlainTextEdit::NoWrap);
    logPane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logPane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    buildButton_ = AddButton(this, "Build", 110);
    exitButton_ = AddButton(this, "Exit", 210);
    helpButton_ = AddButton(this, "Help", 310);
}

// Opening: every control on the panel, a platform the build knows, the banner.
void BuildDialog::ShowOpeningState() {
    Project& project = ctx_.project;
    SetRenderOnBackground(project, 1);
    renderBox_->setChecked(true);
    if (project.targetPlatform != kTarget32Bit && project.targetPlatform != kTarget64Bit)
        project.targetPlatform = kTarget64Bit;
    platformList_->setCurrentIndex(project.targetPlatform == kTarget32Bit ? kPlatform32Entry
                                                                          : kPlatform64Entry);
    BuildLog banner{[this](std::string_view line) { AppendLine(line); }};
    banner.Step("Tonewright DSP/C Object Compiler - made by the Tonewright developers");
    banner.Step("");
    banner.Step("Ready to build plugin...");
    banner.Step("");
}

void BuildDialog::ConnectControls() {
    // The name is taken as it is typed, cut to whole characters.
    connect(nameField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        SetText(ctx_.project.pluginName, CutToCharacters(Utf8(text), kIdentityFieldChars));
    });
    connect(platformList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        ctx_.project.targetPlatform = index == kPlatform32Entry ? kTarget32Bit : kTarget64Bit;
    });
    connect(renderBox_, &QCheckBox::clicked, this,
            [this](bool ticked) { SetRenderOnBackground(ctx_.project, ticked ? 1 : 0); });
    connect(buildButton_, &QPushButton::clicked, this, &BuildDialog::Build);
    connect(exitButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(helpButton_, &QPushButton::clicked, this,
            [this] { ctx_.platform.ShowHelp("Tonewright.chm::/build_plugin.htm"); });
}

BuildDialog::~BuildDialog() = default;

void BuildDialog::PlaceBesideMainWindow(QWidget* parent) {
    if (parent == nullptr) return;
    const QWidget* main = parent->window();
    const QPoint centre = main->frameGeometry().center();
    QPoint topLeft(centre.x() - 230, centre.y() - 375);
    // Beside a small main window the dialog would start above the screen, with its
    // title bar out of reach.
    if (const QScreen* screen = main->screen()) {
        const QRect room = screen->availableGeometry();
        topLeft.setX(qBound(room.left(), topLeft.x(), qMax(room.left(), room.right() - width())));
        topLeft.setY(qBound(room.top(), topLeft.y(), qMax(room.top(), room.bottom() - height())));
    }
    move(topLeft);
}

void BuildDialog::Build() {
    if (building_) return;
    building_ = true;
    // The pauses keep events flowing; the buttons stay off so that no second build or
    // exit can start inside this one.
    buildButton_->setEnabled(false);
    exitButton_->setEnabled(false);

    const BuildFields fields{Utf8(nameField_->text()), Utf8(authorField_->text()),
                             Utf8(versionField_->text()), Utf8(idField_->text())};
    const WindowRect gui = ctx_.platform.GuiEditorRecordedSize();
    BuildLog log{[this](std::string_view line) { AppendLine(line); }};
    DialogBuildHost host(ctx_, capturePanel_);
    BuildPlaces places;
    if (lv2Box_->isChecked()) places.lv2Folder = UserLv2Folder(ProcessEnvironment);
    RunBuild(ctx_.project, fields, PanelOfEditor(gui.width, gui.height), log, host, places);
    // The build drew every control again; the panel follows the box once more, so that the
    // box never says one thing while the panel shows another and a second build honours it.
    SetRenderOnBackground(ctx_.project, renderBox_->isChecked() ? 1 : 0);

    buildButton_->setEnabled(true);
    exitButton_->setEnabled(true);
    building_ = false;
}

void BuildDialog::done(int result) {
    // The close box must not end the dialog in the middle of a build's pause.
    if (building_) return;
    SetRenderOnBackground(ctx_.project, 1);
    QDialog::done(result);
}

void BuildDialog::AppendLine(std::string_view line) {
    logPane_->appendPlainText(TextOfBytes(line));
    logPane_->verticalScrollBar()->setValue(logPane_->verticalScrollBar()->maximum());
}

void RunBuildDialog(QWidget* parent, AppContext& ctx, PanelCapture capturePanel) {
    BuildDialog dialog(parent, ctx, std::move(capturePanel));
    dialog.exec();
}

} // namespace tw
