// How the main window carries out a numbered command: the shared dispatch first, then what
// only the window can do (the patch list and the patch steps, starting and stopping audio,
// the Preferences and Build dialogs); the menu bar that sends the commands, and a file
// named on the command line opened as "Open Project..." would open it.
#include "app/build_dialog.h"
#include "app/child_window.h"
#include "app/commands.h"
#include "app/copy_patch_dialog.h"
#include "app/main_window.h"
#include "app/main_window_shell.h"
#include "app/menus.h"
#include "app/preferences_dialog.h"
#include "app/toolbar.h"
#include "editors/gui_editor_widget.h"
#include "model/lifecycle.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

#include <cstdio>

namespace tw {

void MainWindow::RebuildMenuBar() {
    // Menu items deliver their command after the click has finished, so that the menu
    // being replaced is never deleted under its own feet.
    BuildMenuBar(*menuBar(), *project_, history_, [this](int32_t command) {
        QMetaObject::invokeMethod(
            this, [this, command] { RunCommand(command); }, Qt::QueuedConnection);
    });
}

void MainWindow::RestoreStacking(const QList<QMdiSubWindow*>& bottomToTop) {
    // The work area keeps the active window on top, so each is activated in turn: the last
    // one, on top, stays active.
    for (QMdiSubWindow* child : bottomToTop) {
        if (child->isHidden()) {
            child->raise();
        } else {
            workArea_->setActiveSubWindow(child);
        }
    }
}

void MainWindow::RunCommand(int32_t command) {
    if (closed_) return;
    // The build hides and shows editor windows around its dialog; showing a window puts it
    // on top, so the order the user left them in is put back afterwards.
    const QList<QMdiSubWindow*> stacking = workArea_->subWindowList(QMdiArea::StackingOrder);
    DispatchCommand(*ctx_, *this, command);
    if (command == kCmdBuild) RestoreStacking(stacking);
    if (HandleOwnCommand(command)) RebuildMenuBar();
    ShowTitle();
}

bool MainWindow::HandleOwnCommand(int32_t command) {
    switch (command) {
    case kCmdExit:
        close();
        return false;
    case kCmdPatchSelect:
        ChoosePatchFromList();
        return true;
    case kCmdCopyPatch:
        RunCopyPatchDialog(this, *ctx_);
        history_.Commit(*project_, "Copy Patch");
        return true;
    case kCmdPreviousPatch:
        PreviousPatch(*project_, *engine_, *shell_);
        return true;
    case kCmdNextPatch:
        NextPatch(*project_, *engine_, *shell_);
        return true;
    case kCmdStartAudio:
        StartAudio();
        return true;
    case kCmdStopAudio:
        StopAudio();
        return true;
    default:
        return false;
    }
}

void MainWindow::ChoosePatchFromList() {
    // Opening the list silences the delay line whether or not a patch is then picked.
    PatchListOpened(*engine_);
    const QPoint at = toolbar_->mapToGlobal(QPoint(10, 10));
    const int32_t picked = choosePatch ? choosePatch(at) : -1;
    if (IsPatch(picked)) SelectPatch(*project_, *shell_, picked);
}

void MainWindow::StartAudio() {
    // Wanted even when it cannot start now: it starts once a sound server is there.
    serverFollower_->SetAudioWanted(true);
    toolbar_->ShowAudioRunning(true);
    // The Preferences dialog changes only the code, which the stream follows from the next
    // start of audio; the engine's tables follow the rate the device then runs at.
    const uint32_t rate = SampleRateOfCode(preferences_.sampleRateCode);
    if (!audio_->IsRunning()) audio_->SetSampleRate(rate);
    audio_->StartAudio(audio_->SelectedDevice());
    project_->RebuildRoutes();
    if (audio_->IsRunning()) {
        // A JACK server runs at its own rate; the preference stays for devices that follow it.
        if (audio_->StreamRate() != rate && !rateNoticeShown_) {
            rateNoticeShown_ = true;
            char text[192];
            std::snprintf(text, sizeof text,
                          "The audio device runs at %u Hz, so Tonewright plays at %u Hz.\n\n"
                          "The sample rate of the preferences (%u Hz) is kept.",
                          audio_->StreamRate(), audio_->StreamRate(), rate);
            shell_->ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Information);
        }
        return;
    }
    // No stream: say so, rather than leave the user wondering why nothing sounds.
    toolbar_->ShowAudioRunning(false);
    std::string text;
    if (audio_->DeviceCount() == 0) {
        text = "There is no audio output device to play on.";
    } else {
        text = std::string("Audio could not be started on\n") +
               audio_->DeviceName(audio_->SelectedDevice()) + "\n\n" + audio_->StartProblem() +
               "\n\nChoose another device in Setup -> Preferences, or check that the sound "
               "server runs.";
    }
    shell_->ShowMessage(text, kProductName, MessageButtons::Ok, MessageIcon::Error);
}

void MainWindow::StopAudio() {
    serverFollower_->SetAudioWanted(false);
    if (toolbar_ != nullptr) toolbar_->ShowAudioRunning(false);
    audio_->StopAudio();
    StopLivePlayer(*player_);
}

void MainWindow::RestoreEditorWindow(EditorWindow window) {
    ChildWindow* child = Child(window);
    if (child == nullptr) return;
    child->showNormal();
    shell_->BringEditorWindowToTop(window);
}

void MainWindow::RunPreferences() {
    RunPreferencesDialog(this, *ctx_);
}

void MainWindow::RunBuild() {
    RunBuildDialog(this, *ctx_, [this] {
        return guiEditor_ != nullptr ? guiEditor_->grab().toImage() : QImage();
    });
}

void MainWindow::OpenFile(const std::string& path) {
    // The same path as "Open Project...", with the file already chosen: the unsaved work is
    // offered for saving first.
    shell_->givenFile = path;
    RunCommand(kCmdOpenProject);
    shell_->givenFile.reset();
}

} // namespace tw
