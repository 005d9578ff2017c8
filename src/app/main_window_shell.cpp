#include "app/main_window_shell.h"

#include "app/child_window.h"
#include "app/toolbar.h"
#include "editors/properties_widget.h"
#include "paint/qt_bitmap.h"

#include <QMdiArea>

#include <cstdio>
#include <utility>

namespace tw {

MainWindow::Shell::Shell(MainWindow& window, Platform& services)
    : window_(window), services_(services) {
    for (int i = 0; i < kEditorWindowCount; ++i) {
        pending_[i] = kChildren[i].start;
        pendingVisible_[i] = true;
    }
}

MessageAnswer MainWindow::Shell::ShowMessage(std::string_view text, std::string_view caption,
                                             MessageButtons buttons, MessageIcon icon) {
    if (ending) {
        std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
        return Unanswered(buttons);
    }
    if (!starting) return Asked(text, caption, buttons, icon);
    // While the program starts nothing that only informs waits for a click: a device
    // that is absent or a last project that is gone is said on the status line.
    if (buttons == MessageButtons::Ok) {
        window_.ShowStartNotice(text);
        return MessageAnswer::Ok;
    }
    const std::string key = std::string(caption) + '\x1f' + std::string(text);
    if (const auto seen = shownAtStart_.find(key); seen != shownAtStart_.end()) return seen->second;
    const MessageAnswer answer = Asked(text, caption, buttons, icon);
    shownAtStart_.emplace(key, answer);
    return answer;
}

MessageAnswer MainWindow::Shell::Asked(std::string_view text, std::string_view caption,
                                       MessageButtons buttons, MessageIcon icon) {
    const MessageAnswer answer = services_.ShowMessage(text, caption, buttons, icon);
    return ending ? Unanswered(buttons) : answer;
}

std::optional<std::string> MainWindow::Shell::ChooseOpenFile(std::string_view filterName,
                                                             std::string_view pattern,
                                                             std::string_view extension) {
    if (givenFile) return std::exchange(givenFile, std::nullopt);
    return services_.ChooseOpenFile(filterName, pattern, extension);
}

WindowRect MainWindow::Shell::MainWindowRect() {
    const QRect r = window_.frameGeometry();
    return {r.x(), r.y(), r.width(), r.height()};
}

void MainWindow::Shell::SetMainTitle(std::string_view title) {
    window_.titleBase_ = title;
    window_.ShowTitle();
}

WindowRect MainWindow::Shell::EditorWindowRect(EditorWindow w) {
    const ChildWindow* child = window_.Child(w);
    if (child == nullptr) return pending_[ChildIndex(w)];
    // The place the project keeps, not what a small work area squeezes on screen.
    const QRect r = child->Placed();
    return {r.x() + kSidePanelWidth, r.y() + kToolbarBand, r.width(), r.height()};
}

bool MainWindow::Shell::IsEditorWindowVisible(EditorWindow w) {
    const ChildWindow* child = window_.Child(w);
    return child != nullptr ? !child->isHidden() : pendingVisible_[ChildIndex(w)];
}

void MainWindow::Shell::MoveEditorWindow(EditorWindow w, const WindowRect& rect) {
    ChildWindow* child = window_.Child(w);
    const int i = ChildIndex(w);
    const bool sizeable = kChildren[i].sizeable;
    if (child == nullptr) {
        pending_[i].x = rect.x;
        pending_[i].y = rect.y;
        if (sizeable) {
            pending_[i].width = rect.width;
            pending_[i].height = rect.height;
        }
        if (w == EditorWindow::GuiEditor) guiSize_ = {0, 0, rect.width, rect.height};
        return;
    }
    child->Place(QRect(rect.x - kSidePanelWidth, rect.y - kToolbarBand, rect.width, rect.height));
}

void MainWindow::Shell::ShowEditorWindow(EditorWindow w, bool visible) {
    ChildWindow* child = window_.Child(w);
    if (child == nullptr) {
        pendingVisible_[ChildIndex(w)] = visible;
    } else if (visible) {
        child->show();
    } else {
        child->hide();
    }
}

void MainWindow::Shell::BringEditorWindowToTop(EditorWindow w) {
    ChildWindow* child = window_.Child(w);
    if (child == nullptr) return;
    child->raise();
    if (!child->isHidden()) window_.WorkArea()->setActiveSubWindow(child);
}

void MainWindow::Shell::RebuildMenus() {
    window_.RebuildMenuBar();
}

void MainWindow::Shell::ShowPatchName(std::string_view name) {
    if (window_.toolbar_ != nullptr) window_.toolbar_->ShowPatchName(TextOfBytes(name));
}

void MainWindow::Shell::SelectZoom(int32_t zoom) {
    if (window_.toolbar_ != nullptr) window_.toolbar_->SelectZoom(zoom);
}

void MainWindow::Shell::RefreshProperties() {
    if (window_.properties_ != nullptr) window_.properties_->Refresh();
}

void MainWindow::Shell::StopAudio() {
    window_.StopAudio();
}

} // namespace tw
