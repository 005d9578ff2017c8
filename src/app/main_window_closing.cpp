// How the main window ends: the close procedure that offers to save, the end of a desktop
// session that asks nothing, and the recovery copy that keeps unsaved work meanwhile.
#include "app/main_window.h"
#include "app/main_window_shell.h"
#include "model/lifecycle.h"
#include "model/recovery.h"

#include <QCloseEvent>

namespace tw {

bool MainWindow::CloseProcedure() {
    if (closed_) return true;
    // A save that was asked for but did not happen keeps the program running, so that the
    // work is not lost to a cancelled file dialog or an unwritable folder.
    if (!OfferToSave(*project_, *shell_, "Save project first", &history_)) return false;
    // Saved, or left unsaved by the user's choice: the copy has nothing more to keep.
    DropRecoveryCopy();
    FinishClosing();
    return true;
}

void MainWindow::FinishClosing() {
    SavePreferences(*project_, preferences_, *preferencesHost_);
    // A close that leaves no copy behind leaves no folder either; a kept copy stays in the
    // folder, for the next start once this program is gone.
    if (recoveryPath_.empty()) {
        recoveryWriter_.Flush();
        recoveryLock_.RemoveAndRelease();
    }
    ShutDownDevices();
    closed_ = true;
    Q_EMIT Closed();
}

void MainWindow::EndSession() {
    if (closed_) return;
    // Nothing may be asked: the desktop is going away. Unsaved work stays in the recovery
    // copy, which the next start offers back.
    shell_->ending = true;
    WriteRecoveryCopyNow();
    recoveryWriter_.Flush();
    FinishClosing();
}

void MainWindow::ShutDownDevices() {
    repaintTimer_.stop();
    // MIDI first: its notes must not reach an engine whose output is going away.
    midi_->CloseMidi();
    StopAudio();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (CloseProcedure()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::WatchHistory() {
    ShowTitle();
    if (history_.Revision() == historySeen_) return;
    historySeen_ = history_.Revision();
    if (history_.Modified()) {
        // At most the delay after the first change since the last copy, never a write per
        // change.
        if (!recoveryTimer_.isActive()) recoveryTimer_.start(recoveryDelayMs_, this);
    } else {
        DropRecoveryCopy();
    }
}

void MainWindow::DropRecoveryCopy() {
    recoveryTimer_.stop();
    if (!recoveryPath_.empty()) recoveryWriter_.Remove(recoveryPath_);
    recoveryPath_.clear();
}

void MainWindow::WriteRecoveryCopyNow() {
    recoveryTimer_.stop();
    history_.Commit(*project_);
    if (!history_.Modified()) return;
    // Encoded here, written by the writer's thread: the disk never holds up the editors.
    RecoveryFiles files =
        EncodeRecoveryCopy(*project_, ReadSavedLayout(*shell_), recoveryLock_.Folder());
    // A project saved under another name since the last copy leaves its old copy behind.
    if (!recoveryPath_.empty() && files.copyPath != recoveryPath_)
        recoveryWriter_.Remove(recoveryPath_);
    recoveryPath_ = files.copyPath;
    recoveryWriter_.Write(std::move(files));
}

} // namespace tw
