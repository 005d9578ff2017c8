#include "app/qt_platform.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/file_services.h"

#include "model/lifecycle.h"
#include "paint/qt_bitmap.h"
#include "platform/bmp.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>
#include <utility>

namespace tw {

namespace {

QString Text(std::string_view bytes) {
    return TextOfBytes(bytes);
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// A box closed without a button gives the answer its escape button stands for.
MessageAnswer Answer(int button, MessageButtons offered) {
    switch (button) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        break;
    }
    switch (offered) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
        return MessageAnswer::Cancel;
    }
    return MessageAnswer::Cancel;
}

} // namespace

std::string HelpPagePath(std::string_view appFolder, std::string_view topic) {
    std::string_view page = "index.htm";
    if (const std::size_t at = topic.find("::/"); at != std::string_view::npos) {
        page = topic.substr(at + 3);
    } else if (topic != kHelpFile && !topic.empty()) {
        page = topic;
    }
    // Pages are plain file names inside the help folder.
    if (page.empty() || page.find('/') != std::string_view::npos || page == "." || page == "..") {
        return {};
    }
    std::string path(appFolder);
    if (!path.empty() && path.back() != '/') path += '/';
    path += "Resources/help/";
    path += page;
    return path;
}

QString MessageBoxText(std::string_view text) {
    const QString plain = Text(text);
    if (!plain.contains(QLatin1Char('\t'))) return plain;
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const QString& line : plain.split(QLatin1Char('\n'))) {
        const QStringList cells = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        html += QStringLiteral("<tr>");
        if (cells.size() < 2) {
            html += QStringLiteral("<td colspan=\"2\"><b>%1</b>&nbsp;</td>")
                        .arg(cells.isEmpty() ? QString() : cells.front().toHtmlEscaped());
        } else {
            for (qsizetype i = 0; i < cells.size(); ++i) {
                const bool last = i + 1 == cells.size();
                html += last ? QStringLiteral("<td align=\"right\">&nbsp;&nbsp;&nbsp;&nbsp;%1</td>")
                             : QStringLiteral("<td>%1</td>");
                html = html.arg(cells[i].toHtmlEscaped());
            }
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

std::string DialogStartFolder(std::string_view appFolder, std::string_view projectPath) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!projectPath.empty()) {
        const fs::path folder = fs::path(std::string(projectPath)).parent_path();
        if (!folder.empty() && fs::is_directory(folder, error)) return folder.string();
    }
    return (fs::path(std::string(appFolder.empty() ? "." : appFolder)) / "Projects").string();
}

std::string FileDialogFilter(std::string_view filterName, std::string_view pattern) {
    std::string filter(filterName);
    if (filter.find('(') != std::string::npos) return filter;
    filter += " (";
    filter += pattern;
    filter += ')';
    return filter;
}

QtPlatform::QtPlatform(std::string appFolder) : appFolder_(std::move(appFolder)) {
    // The chooser starts with white custom colours; what the user puts there lasts the run.
    for (QColor& c : customColours_) c = Qt::white;
}

QtPlatform::~QtPlatform() {
    delete helpWindow_.data();
}

QTextBrowser* QtPlatform::HelpBrowser() const {
    return helpWindow_ ? helpBrowser_ : nullptr;
}

MessageAnswer QtPlatform::ShowMessage(std::string_view text, std::string_view caption,
                                      MessageButtons buttons, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), Text(caption), MessageBoxText(text), BoxButtons(buttons),
                    owner_);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return Answer(box.exec(), buttons);
}

std::optional<std::string> QtPlatform::TakePath(const QString& chosen) {
    if (chosen.isEmpty()) return std::nullopt;
    std::string path = chosen.toStdString();
    if (path.size() > kMaxChosenPath) {
        ShowMessage("The path is longer than 259 characters:\n" + path, kProductName,
                    MessageButtons::Ok, MessageIcon::Error);
        return std::nullopt;
    }
    return path;
}

QString QtPlatform::StartFolder() const {
    return Text(DialogStartFolder(appFolder_, projectPath_ ? projectPath_() : std::string()));
}

std::optional<std::string> QtPlatform::ChooseOpenFile(std::string_view filterName,
                                                      std::string_view pattern,
                                                      std::string_view defaultExtension) {
    QFileDialog dialog(owner_, QStringLiteral("Open"), StartFolder());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(Text(FileDialogFilter(filterName, pattern)));
    dialog.setDefaultSuffix(Text(defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return TakePath(dialog.selectedFiles().front());
}

std::optional<std::string> QtPlatform::ChooseSaveFile(std::string_view filterName,
                                                      std::string_view pattern,
                                                      std::string_view defaultExtension) {
    QFileDialog dialog(owner_, QStringLiteral("Save As"), StartFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The program asks its own "Confirm Save Project" question after the dialog.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(Text(FileDialogFilter(filterName, pattern)));
    dialog.setDefaultSuffix(Text(defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return TakePath(dialog.selectedFiles().front());
}

std::optional<std::string> QtPlatform::ChooseFolder(std::string_view title) {
    return TakePath(QFileDialog::getExistingDirectory(owner_, Text(title)));
}

std::optional<uint32_t> QtPlatform::ChooseColour(uint32_t initial) {
    for (int i = 0; i < kCustomColourCount; ++i) QColorDialog::setCustomColor(i, customColours_[i]);
    QColorDialog dialog(QColor::fromRgb(static_cast<QRgb>(initial & 0xFFFFFFu)), owner_);
    const bool chosen = dialog.exec() == QDialog::Accepted;
    for (int i = 0; i < kCustomColourCount; ++i) customColours_[i] = QColorDialog::customColor(i);
    if (!chosen) return std::nullopt;
    return static_cast<uint32_t>(dialog.selectedColor().rgb() & 0xFFFFFFu);
}

void QtPlatform::SetClipboardText(std::string_view text) {
    QGuiApplication::clipboard()->setText(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string QtPlatform::ClipboardText() {
    return QGuiApplication::clipboard()->text().toStdString();
}

void QtPlatform::ShowHelp(std::string_view topic) {
    if (!helpWindow_) {
        // A dialog that is never modal: Escape closes it as it closes any dialog.
        auto* window = new QDialog(owner_, Qt::Window);
        helpWindow_ = window;
        helpWindow_->setObjectName(QStringLiteral("HelpViewer"));
        helpWindow_->setWindowTitle(QString::fromLatin1(kProductName) + QStringLiteral(" Help"));
        helpWindow_->resize(640, 720);
        auto* layout = new QVBoxLayout(helpWindow_);
        layout->setContentsMargins(0, 0, 0, 6);
        helpBrowser_ = new QTextBrowser(helpWindow_);
        helpBrowser_->setOpenExternalLinks(true);
        layout->addWidget(helpBrowser_);
        // Without a window manager's frame these are the only ways to close the window.
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, helpWindow_);
        buttons->setContentsMargins(6, 0, 6, 0);
        layout->addWidget(buttons);
        QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::reject);
    }
    // A modal dialog takes input from every window that is not its own: help asked for by
    // the dialog belongs to it, so that it shows above the dialog and can be used, and it
    // goes back to the main window when the dialog ends.
    QWidget* modal = QApplication::activeModalWidget();
    QWidget* parent = modal != nullptr && modal != helpWindow_ ? modal : owner_.data();
    if (helpWindow_->parentWidget() != parent) {
        const QRect where = helpWindow_->geometry();
        helpWindow_->setParent(parent, Qt::Window);
        helpWindow_->setGeometry(where);
        if (auto* dialog = qobject_cast<QDialog*>(parent)) {
            QPointer<QWidget> help = helpWindow_;
            QPointer<QWidget> owner = owner_;
            QObject::connect(dialog, &QDialog::finished, help, [help, owner, dialog] {
                if (!help || help->parentWidget() != dialog) return;
                const bool shown = help->isVisible();
                const QRect at = help->geometry();
                help->setParent(owner, Qt::Window);
                help->setGeometry(at);
                if (shown) help->show();
            });
        }
    }
    const std::string path = HelpPagePath(appFolder_, topic);
    if (!path.empty() && QFile::exists(Text(path))) {
        helpBrowser_->setSource(QUrl::fromLocalFile(Text(path)));
    } else {
        helpBrowser_->setHtml(
            QStringLiteral("<h2>Help page missing</h2><p>There is no help page for <b>%1</b>. "
                           "The pages are looked for in %2.</p>")
                .arg(Text(topic).toHtmlEscaped(), Text(HelpPagePath(appFolder_, kHelpFile))
                                                      .section(QLatin1Char('/'), 0, -2)
                                                      .toHtmlEscaped()));
    }
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

BitmapHandle QtPlatform::LoadBitmap(std::string_view path) {
    return LoadBmpFile(path);
}

std::optional<std::vector<std::string>> QtPlatform::ListFolder(std::string_view folder) {
    return ListFolderEntries(folder);
}

WindowRect QtPlatform::MainWindowRect() {
    return shell_ != nullptr ? shell_->MainWindowRect() : WindowRect{};
}

void QtPlatform::SetMainTitle(std::string_view title) {
    if (shell_ != nullptr) shell_->SetMainTitle(title);
}

WindowRect QtPlatform::EditorWindowRect(EditorWindow window) {
    return shell_ != nullptr ? shell_->EditorWindowRect(window) : WindowRect{};
}

bool QtPlatform::IsEditorWindowVisible(EditorWindow window) {
    return shell_ != nullptr && shell_->IsEditorWindowVisible(window);
}

void QtPlatform::MoveEditorWindow(EditorWindow window, const WindowRect& rect) {
    if (shell_ != nullptr) shell_->MoveEditorWindow(window, rect);
}

void QtPlatform::ShowEditorWindow(EditorWindow window, bool visible) {
    if (shell_ != nullptr) shell_->ShowEditorWindow(window, visible);
}

void QtPlatform::BringEditorWindowToTop(EditorWindow window) {
    if (shell_ != nullptr) shell_->BringEditorWindowToTop(window);
}

WindowRect QtPlatform::GuiEditorRecordedSize() {
    return shell_ != nullptr ? shell_->GuiEditorRecordedSize() : WindowRect{0, 0, 400, 300};
}

void QtPlatform::RebuildMenus() {
    if (shell_ != nullptr) shell_->RebuildMenus();
}

void QtPlatform::ShowPatchName(std::string_view name) {
    if (shell_ != nullptr) shell_->ShowPatchName(name);
}

void QtPlatform::SelectZoom(int32_t zoom) {
    if (shell_ != nullptr) shell_->SelectZoom(zoom);
}

void QtPlatform::RefreshProperties() {
    if (shell_ != nullptr) shell_->RefreshProperties();
}

void QtPlatform::StopAudio() {
    if (shell_ != nullptr) shell_->StopAudio();
}

} // namespace tw
