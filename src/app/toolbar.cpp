#include "app/toolbar.h"

#include "editors/undo_keys.h"

#include "app/commands.h"
#include "app/toolbar_icons.h"
#include "editors/properties_widget.h"
#include "model/lifecycle.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QLineEdit>
#include <QListView>
#include <QStandardItemModel>

namespace tw {

namespace {

struct ButtonText {
    int32_t command;
    const char* tooltip;
};

constexpr ButtonText kTooltips[] = {
    {kCmdNewProject, "New Project"},        {kCmdOpenProject, "Open Project"},
    {kCmdSaveProject, "Save Project"},      {kCmdCut, "Cut Selection"},
    {kCmdCopy, "Copy Selection"},           {kCmdPaste, "Paste Selection"},
    {kCmdJoke, "Do not press this button"}, {kCmdPatchSelect, "Patch Select"},
    {kCmdCopyPatch, "Copy Patch"},          {kCmdPreviousPatch, "Prev Patch"},
    {kCmdNextPatch, "Next Patch"},          {kCmdStartAudio, "Start Audio"},
    {kCmdStopAudio, "Stop Audio"},
};

// Sharp on high-density screens: the icon carries the image at one and two device pixels
// per logical pixel and Qt picks the one that fits the screen.
QIcon ToolbarIcon(int image) {
    QIcon icon;
    icon.addPixmap(ToolbarImage(image, 1.0));
    icon.addPixmap(ToolbarImage(image, 2.0));
    return icon;
}

} // namespace

QString ZoomText(int32_t level) {
    return QStringLiteral("%1%").arg(20 * (level + 1));
}

QString MainToolbar::Tooltip(int32_t command) {
    for (const ButtonText& b : kTooltips) {
        if (b.command == command) return QString::fromLatin1(b.tooltip);
    }
    return {};
}

MainToolbar::MainToolbar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("MainToolbar"));
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setIconSize(QSize(kToolbarImageSize, kToolbarImageSize));

    addSeparator();
    AddButton(kCmdNewProject, kImageNew);
    AddButton(kCmdOpenProject, kImageOpen);
    AddButton(kCmdSaveProject, kImageSave);
    addSeparator();
    AddButton(kCmdCut, kImageCut);
    AddButton(kCmdCopy, kImageCopy);
    AddButton(kCmdPaste, kImagePaste);
    addSeparator();
    AddButton(kCmdJoke, kImageJoke);
    addSeparator();
    AddButton(kCmdStartAudio, kImageStartAudio);
    AddButton(kCmdStopAudio, kImageStopAudio);
    AddDivider();
    addSeparator();
    AddButton(kCmdPatchSelect, kImagePatchSelect);
    AddButton(kCmdPreviousPatch, kImagePrevPatch);
    AddButton(kCmdNextPatch, kImageNextPatch);
    AddButton(kCmdCopyPatch, kImageCopyPatch);

    patchName_ = new QLineEdit(this);
    patchName_->setObjectName(QStringLiteral("PatchName"));
    patchName_->setFixedWidth(200);
    patchName_->setToolTip(QStringLiteral("Patch Name"));
    LeaveUndoKeysToTheMenu(*patchName_);
    LimitToStoredLength(*patchName_, static_cast<int>(kMaxTypedPatchName));
    addWidget(patchName_);
    // Only the user's typing names the patch; names shown by the program are not echoed.
    connect(patchName_, &QLineEdit::textEdited, this, &MainToolbar::PatchNameEdited);
    AddDivider();

    zoomList_ = new QComboBox(this);
    zoomList_->setObjectName(QStringLiteral("ZoomList"));
    zoomList_->setMinimumWidth(50);
    zoomList_->setToolTip(QStringLiteral("Zoom"));
    for (int32_t level = 1; level <= kMaxZoomLevel; ++level) zoomList_->addItem(ZoomText(level));
    // The tenth entry is there only so that the list can show the wheel's level 10: the
    // user cannot pick it, and it is not in the drop-down.
    if (auto* model = qobject_cast<QStandardItemModel*>(zoomList_->model())) {
        model->item(kMaxZoomLevel - 1)->setEnabled(false);
    }
    if (auto* view = qobject_cast<QListView*>(zoomList_->view())) {
        view->setRowHidden(kMaxZoomLevel - 1, true);
    }
    zoomList_->setCurrentIndex(3);
    addWidget(zoomList_);
    connect(zoomList_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < kListedZoomLevels) Q_EMIT ZoomChosen(index + 1);
    });

    ShowAudioRunning(false);
}

void MainToolbar::AddButton(int32_t command, int image) {
    QAction* action = addAction(ToolbarIcon(image), Tooltip(command));
    action->setToolTip(Tooltip(command));
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { Q_EMIT CommandSent(command); });
    buttons_[buttonCount_] = action;
    commands_[buttonCount_] = command;
    ++buttonCount_;
}

void MainToolbar::AddDivider() {
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Sunken);
    divider->setFixedSize(3, 22);
    addWidget(divider);
}

QAction* MainToolbar::Button(int32_t command) const {
    for (int i = 0; i < buttonCount_; ++i) {
        if (commands_[i] == command) return buttons_[i];
    }
    return nullptr;
}

void MainToolbar::ShowPatchName(const QString& name) {
    patchName_->setText(name);
}

void MainToolbar::SelectZoom(int32_t level) {
    if (level < 1 || level > kMaxZoomLevel) return;
    zoomList_->setCurrentIndex(level - 1);
}

void MainToolbar::ShowAudioRunning(bool running) {
    Button(kCmdStartAudio)->setVisible(!running);
    Button(kCmdStopAudio)->setVisible(running);
}

bool MainToolbar::AudioShownRunning() const {
    return Button(kCmdStopAudio)->isVisible();
}

} // namespace tw
