#include "app/main_window.h"

#include "app/build_dialog.h"
#include "app/child_window.h"
#include "app/commands.h"
#include "app/copy_patch_dialog.h"
#include "app/menus.h"
#include "app/patch_menu.h"
#include "app/preferences_dialog.h"
#include "app/toolbar.h"
#include "app/toolbar_icons.h"
#include "editors/dsp_editor_widget.h"
#include "editors/gui_editor_widget.h"
#include "editors/midi_monitor_widget.h"
#include "editors/properties_widget.h"
#include "editors/virtual_keyboard_widget.h"
#include "engine/voices.h"
#include "model/app_folders.h"
#include "model/lifecycle.h"
#include "model/recovery.h"
#include "model/text.h"
#include "paint/qt_bitmap.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <cstdio>
#include <map>

namespace tw {

namespace {

struct ChildShape {
    const char* title;
    WindowRect start; // client coordinates, as project files store them
    bool sizeable;
};

// In EditorWindow order.
constexpr ChildShape kChildren[kEditorWindowCount] = {
    {"Dsp Editor", {160, 39, 800, 600}, true},
    {"Gui Editor", {500, 200, 400, 300}, true},
    {"Virtual Keyboard", {160, 100, kKeyboardWidth, kKeyboardHeight}, false},
    {"Midi Monitor", {640, 128, kMonitorWidth, kMonitorHeight}, false},
};

const QColor kMainBackground(128, 128, 128);
const QColor kEditorBackground(206, 206, 200);
const QColor kPropertiesBackground(240, 240, 240);

// The MIDI source is looked for every half second: listing sources asks the sound server.
constexpr int kTicksPerSourceLook = 12;
// The sound server is looked for every second: a look that finds none costs one failed
// connection attempt.
constexpr int kTicksPerServerLook = 25;

void AdoptRate(void* player, uint32_t rate) {
    AdoptSampleRate(static_cast<LivePlayer*>(player)->engine, rate);
}

int64_t JackBlockClock(void* midi, uint32_t frames, uint32_t /*rate*/) noexcept {
    return static_cast<MidiInput*>(midi)->AudioBlockFrame(frames);
}

int Index(EditorWindow w) {
    const int i = static_cast<int>(w);
    return i >= 0 && i < kEditorWindowCount ? i : 0;
}

void PlayNote(void* engine, int32_t status, int32_t note, int32_t velocity) {
    HandleMidiMessage(*static_cast<Engine*>(engine), status, note, velocity);
}

} // namespace

// The Platform the rest of the program talks to: desktop services come from the injected
// platform, everything about windows and toolbar views from this main window.
class MainWindow::Shell final : public Platform {
public:
    Shell(MainWindow& window, Platform& services) : window_(window), services_(services) {
        for (int i = 0; i < kEditorWindowCount; ++i) {
            pending_[i] = kChildren[i].start;
            pendingVisible_[i] = true;
        }
    }

    // While the program starts, the preferences are read twice and a project may be opened
    // more than once; each distinct message is shown only the first time.
    bool starting = true;
    // While the session ends nothing may wait for the user: what would be a box (a
    // preferences file that cannot be written) goes to standard error, answered cautiously.
    bool ending = false;

    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override {
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
        if (const auto seen = shownAtStart_.find(key); seen != shownAtStart_.end())
            return seen->second;
        const MessageAnswer answer = Asked(text, caption, buttons, icon);
        shownAtStart_.emplace(key, answer);
        return answer;
    }
    // A question nobody answered: neither Yes nor No, so that nothing is decided for the
    // user ("No" to the recovery question would set the copy aside).
    static MessageAnswer Unanswered(MessageButtons buttons) {
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    // A box the session's end closed was not answered, whatever the box returned.
    MessageAnswer Asked(std::string_view text, std::string_view caption, MessageButtons buttons,
                        MessageIcon icon) {
        const MessageAnswer answer = services_.ShowMessage(text, caption, buttons, icon);
        return ending ? Unanswered(buttons) : answer;
    }
    // A file named on the command line answers the open dialog once.
    std::optional<std::string> givenFile;

    std::optional<std::string> ChooseOpenFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view extension) override {
        if (givenFile) return std::exchange(givenFile, std::nullopt);
        return services_.ChooseOpenFile(filterName, pattern, extension);
    }
    std::optional<std::string> ChooseSaveFile(std::string_view filterName, std::string_view pattern,
                                              std::string_view extension) override {
        return services_.ChooseSaveFile(filterName, pattern, extension);
    }
    std::optional<std::string> ChooseFolder(std::string_view title) override {
        return services_.ChooseFolder(title);
    }
    std::optional<uint32_t> ChooseColour(uint32_t initial) override {
        return services_.ChooseColour(initial);
    }
    void ShowHelp(std::string_view topic) override { services_.ShowHelp(topic); }
    void SetClipboardText(std::string_view text) override { services_.SetClipboardText(text); }
    std::string ClipboardText() override { return services_.ClipboardText(); }
    BitmapHandle LoadBitmap(std::string_view path) override { return services_.LoadBitmap(path); }
    std::optional<std::vector<std::string>> ListFolder(std::string_view folder) override {
        return services_.ListFolder(folder);
    }

    WindowRect MainWindowRect() override {
        const QRect r = window_.frameGeometry();
        return {r.x(), r.y(), r.width(), r.height()};
    }
    void SetMainTitle(std::string_view title) override {
        window_.titleBase_ = title;
        window_.ShowTitle();
    }
    WindowRect EditorWindowRect(EditorWindow w) override {
        const ChildWindow* child = window_.Child(w);
        if (child == nullptr) return pending_[Index(w)];
        // The place the project keeps, not what a small work area squeezes on screen.
        const QRect r = child->Placed();
        return {r.x() + kSidePanelWidth, r.y() + kToolbarBand, r.width(), r.height()};
    }
    bool IsEditorWindowVisible(EditorWindow w) override {
        const ChildWindow* child = window_.Child(w);
        return child != nullptr ? !child->isHidden() : pendingVisible_[Index(w)];
    }
    void MoveEditorWindow(EditorWindow w, const WindowRect& rect) override {
        ChildWindow* child = window_.Child(w);
        const int i = Index(w);
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
        child->Place(
            QRect(rect.x - kSidePanelWidth, rect.y - kToolbarBand, rect.width, rect.height));
    }
    void ShowEditorWindow(EditorWindow w, bool visible) override {
        ChildWindow* child = window_.Child(w);
        if (child == nullptr) {
            pendingVisible_[Index(w)] = visible;
        } else if (visible) {
            child->show();
        } else {
            child->hide();
        }
    }
    void BringEditorWindowToTop(EditorWindow w) override {
        ChildWindow* child = window_.Child(w);
        if (child == nullptr) return;
        child->raise();
        if (!child->isHidden()) window_.WorkArea()->setActiveSubWindow(child);
    }
    WindowRect GuiEditorRecordedSize() override { return guiSize_; }
    void RecordGuiSize(const QSize& size) { guiSize_ = {0, 0, size.width(), size.height()}; }
    void RebuildMenus() override { window_.RebuildMenuBar(); }
    void ShowPatchName(std::string_view name) override {
        if (window_.toolbar_ != nullptr) window_.toolbar_->ShowPatchName(TextOfBytes(name));
    }
    void SelectZoom(int32_t zoom) override {
        if (window_.toolbar_ != nullptr) window_.toolbar_->SelectZoom(zoom);
    }
    void RefreshProperties() override {
        if (window_.properties_ != nullptr) window_.properties_->Refresh();
    }
    void StopAudio() override { window_.StopAudio(); }

    WindowRect Pending(int i) const { return pending_[i]; }
    bool PendingVisible(int i) const { return pendingVisible_[i]; }

private:
    MainWindow& window_;
    Platform& services_;
    std::map<std::string, MessageAnswer> shownAtStart_;
    WindowRect pending_[kEditorWindowCount];
    bool pendingVisible_[kEditorWindowCount] = {};
    WindowRect guiSize_{0, 0, 400, 300};
};

MainWindow::MainWindow(Platform& services, MainWindowOptions options)
    : project_(std::make_unique<Project>()), engine_(std::make_unique<Engine>(*project_)),
      shell_(std::make_unique<Shell>(*this, services)) {
    Project& project = *project_;
    project.zoom = kDefaultZoom;
    recoveryDelayMs_ = options.recoveryDelayMs;
    const std::string folder =
        options.appFolder.empty() ? QDir::currentPath().toStdString() : options.appFolder;
    ApplyAppFolders(project, AppFolders{folder, options.settingsFolder, options.userFolder,
                                        !options.settingsFolder.empty()});
    project.SetDefaultSkinFileNames();

    // The devices exist before the window is created and live until it is gone.
    player_ = std::make_unique<LivePlayer>(*engine_);
    midi_ = std::make_unique<MidiInput>(*shell_, &PlayNote, engine_.get(), options.midiApi);
    midi_->SetTimedHandler(&PostLiveMessage, player_.get());
    audio_ =
        std::make_unique<AudioOutput>(*shell_, &ProcessLiveAudio, player_.get(), options.audioApi);
    audio_->SetRateHandler(&AdoptRate);
    // On JACK the audio outputs join the MIDI input on the program's one client.
    audio_->UseOwnClient(midi_.get());
    // On JACK the server's clock places each message on its frame; elsewhere a message plays
    // at the start of the next block.
    if (audio_->OnJack()) {
        player_->clock = &JackBlockClock;
        player_->clockData = midi_.get();
    }
    preferencesHost_ = std::make_unique<PlatformPreferencesHost>(*shell_, *engine_);
    serverFollower_ = std::make_unique<ServerFollower>(
        *audio_, *midi_, preferences_,
        ServerFollower::Hooks{[this](bool running) {
                                  toolbar_->ShowAudioRunning(running);
                                  // A stream its server took away runs no more blocks.
                                  if (!running) StopLivePlayer(*player_);
                              },
                              [this](const std::string& text) { ShowServerNotice(text); },
                              [this] { project_->RebuildRoutes(); }});
    ctx_ = std::make_unique<AppContext>(
        AppContext{project, *engine_, *shell_, *audio_, *midi_, preferences_, history_});

    titleBase_ = kProductName;
    setWindowTitle(QString::fromLatin1(kProductName));
    setWindowIcon(ProgramIcon());
    setObjectName(QStringLiteral("MainWindow"));

    // The window's creation, in order.
    ResetEngine(*engine_);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    RebuildMenuBar();
    toolbar_ = new MainToolbar(this);
    addToolBar(Qt::TopToolBarArea, toolbar_);
    connect(toolbar_, &MainToolbar::CommandSent, this, &MainWindow::RunCommand);
    connect(toolbar_, &MainToolbar::PatchNameEdited, this, [this](const QString& text) {
        // The Edit menu names the step at once: Undo takes back the whole rename.
        if (SetPatchName(*project_, text.toUtf8().toStdString()) &&
            history_.Commit(*project_, "Rename Patch", StepKind::Merge))
            RebuildMenuBar();
    });
    connect(toolbar_, &MainToolbar::ZoomChosen, this, [this](int32_t level) {
        project_->zoom = level;
        project_->Relayout();
        // The new screen positions are no step; the history takes them as they are now.
        history_.Commit(*project_);
        RebuildMenuBar();
    });
    toolbar_->ShowPatchName(TextOfBytes(GetText(project.patchNames[project.currentPatch])));
    toolbar_->SelectZoom(project.zoom);

    central_ = new QWidget(this);
    auto* row = new QHBoxLayout(central_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    workArea_ = new QMdiArea(central_);
    workArea_->setObjectName(QStringLiteral("WorkArea"));
    workArea_->setBackground(kMainBackground);
    workArea_->setFrameShape(QFrame::NoFrame);
    // The Properties window fills this column once the child windows are made.
    propertiesColumn_ = new QWidget(central_);
    propertiesColumn_->setFixedWidth(kSidePanelWidth);
    auto* column = new QVBoxLayout(propertiesColumn_);
    column->setContentsMargins(0, 0, 0, 0);
    row->addWidget(propertiesColumn_);
    row->addWidget(workArea_, 1);
    setCentralWidget(central_);

    LoadPreferences(project, preferences_, *preferencesHost_);
    AdoptPreferredSampleRate();
    midi_->InitMidiDevices(GetText(preferences_.midiDevice));
    audio_->InitAudioDevices(GetText(preferences_.audioDevice));
    repaintTimer_.start(kRepaintMilliseconds, this);

    qApp->installEventFilter(this);
    choosePatch = [this](const QPoint& at) {
        PatchMenu menu(*project_, this);
        return menu.Run(at);
    };
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    if (!closed_) ShutDownDevices();
    // The editors refer to the project; they go before it does.
    delete central_;
    central_ = nullptr;
}

Platform& MainWindow::ShellPlatform() {
    return *shell_;
}

ChildWindow* MainWindow::Child(EditorWindow window) const {
    return children_[Index(window)];
}

void MainWindow::Start() {
    showMaximized();
    CreateChildWindows();
    shell_->RefreshProperties();
    LoadPreferences(*project_, preferences_, *preferencesHost_);
    AdoptPreferredSampleRate();
    history_.Reset(*project_);
    // Work a crash or a killed program left unsaved is offered before anything else. The
    // program's own folder is taken first, so that a restored copy moves into it at once.
    recoveryLock_.TakeNew(RecoveryFolder(*project_), RecoverySessionPrefix());
    if (const std::optional<std::string> restored =
            OfferRecovery(*project_, *engine_, *shell_, history_, recoveryLock_.Folder())) {
        recoveryPath_ = *restored;
        ForgetReplacedProject(canvas_);
        shell_->ShowPatchName(GetText(project_->patchNames[project_->currentPatch]));
        shell_->RefreshProperties();
    }
    historySeen_ = history_.Revision();
    RebuildMenuBar();
    shell_->starting = false;
}

void MainWindow::ShowStartNotice(std::string_view text) {
    // One line: the message's lines joined, and what to do where the message does not say.
    QString line = TextOfBytes(text).simplified();
    if (text.starts_with("Unable To Open Project"))
        line +=
            QStringLiteral(" - it is gone or unreadable; File > Open Project... opens another.");
    if (startNotices_.contains(line)) return;
    startNotices_ << line;
    // A label of its own, not the bar's passing message, which a menu's tips would wipe.
    if (startLine_ == nullptr) {
        startLine_ = new QLabel(this);
        startLine_->setObjectName(QStringLiteral("StartNotice"));
        statusBar()->addWidget(startLine_, 1);
    }
    startLine_->setText(startNotices_.join(QStringLiteral("  |  ")));
}

QString MainWindow::StartNotice() const {
    return startNotices_.join(QStringLiteral("  |  "));
}

void MainWindow::AdoptPreferredSampleRate() {
    const uint32_t rate = SampleRateOfCode(preferences_.sampleRateCode);
    audio_->SetSampleRate(rate);
    // The window's creation reset the engine before the preferences were read; its tables
    // (note frequencies, oscillator increments, PolyWave scales) still hold the old rate.
    // Only the DSP state is rebuilt: a project the preferences just opened stays as it is.
    if (!audio_->IsRunning()) AdoptSampleRate(*engine_, rate);
}

void MainWindow::CreateChildWindows() {
    Project& project = *project_;
    Platform& platform = *shell_;
    properties_ = new PropertiesWidget(project, platform, propertiesColumn_);
    properties_->setObjectName(QStringLiteral("PropertiesWindow"));
    properties_->SetHistory(&history_);
    properties_->setFixedWidth(kSidePanelWidth);
    QPalette palette = properties_->palette();
    palette.setColor(QPalette::Window, kPropertiesBackground);
    properties_->setPalette(palette);
    properties_->setAutoFillBackground(true);
    propertiesColumn_->layout()->addWidget(properties_);
    // The work area must have its final size before the windows are placed in it, since
    // their positions are limited to it.
    layout()->activate();
    central_->layout()->activate();

    guiEditor_ = new GuiEditorWidget(project, platform);
    guiEditor_->SetHistory(&history_);
    guiEditor_->SetMidiLearn({[this](int32_t slot) { StartMidiLearn(*engine_, slot); },
                              [this] { CancelMidiLearn(*engine_); },
                              [this] { return MidiLearnSlot(*engine_); }});
    keyboard_ =
        new VirtualKeyboardWidget(project, [this](int32_t status, int32_t note, int32_t velocity) {
            HandleNoteEvent(*engine_, status, note, velocity);
        });
    MidiInput* midi = midi_.get();
    monitor_ = new MidiMonitorWidget([midi] { return midi->MonitorWords(); },
                                     [midi] { return midi->SourceNotice(); });
    dspEditor_ = new DspEditorWidget(project, canvas_, platform);
    dspEditor_->SetHistory(&history_);
    dspEditor_->SetLiveSources(&engine_->utility, [midi] { return midi->AnyPortOpen(); });
    // The Dsp Editor's own 40 ms timer repaints the panel too, so that knobs moved by
    // patch changes show at the canvas's pace.
    connect(dspEditor_, &DspEditorWidget::Ticked, guiEditor_, &GuiEditorWidget::Refresh);

    // Created in the order Gui Editor, Virtual Keyboard, Midi Monitor, Dsp Editor.
    constexpr EditorWindow kOrder[] = {EditorWindow::GuiEditor, EditorWindow::VirtualKeyboard,
                                       EditorWindow::MidiMonitor, EditorWindow::DspEditor};
    QWidget* contents[kEditorWindowCount] = {dspEditor_, guiEditor_, keyboard_, monitor_};
    for (const EditorWindow w : kOrder) {
        const int i = Index(w);
        const ChildShape& shape = kChildren[i];
        const WindowRect at = shell_->Pending(i);
        auto* child =
            new ChildWindow(contents[i], QString::fromLatin1(shape.title), kEditorBackground,
                            shape.sizeable, QSize(shape.start.width, shape.start.height));
        child->setObjectName(QString::fromLatin1(shape.title).remove(QLatin1Char(' ')));
        child->setWindowIcon(windowIcon());
        workArea_->addSubWindow(child);
        children_[i] = child;
        connect(child, &ChildWindow::Hidden, this, &MainWindow::RebuildMenuBar);
        if (w == EditorWindow::GuiEditor) {
            // The panel's size follows the window's placed size only: the user's resize or
            // a loaded project, never a work area too small to show it whole.
            connect(child, &ChildWindow::Resized, this,
                    [this](const QSize& size) { shell_->RecordGuiSize(size); });
        }
        child->Place(QRect(at.x - kSidePanelWidth, at.y - kToolbarBand, at.width, at.height));
        if (shell_->PendingVisible(i)) child->show();
    }
}

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

void MainWindow::OpenFile(const std::string& path) {
    // The same path as "Open Project...", with the file already chosen: the unsaved work is
    // offered for saving first.
    shell_->givenFile = path;
    RunCommand(kCmdOpenProject);
    shell_->givenFile.reset();
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

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Shift) canvas_.shiftHeld = event->type() == QEvent::KeyPress;
        break;
    }
    case QEvent::Resize:
        // A smaller work area must not leave a window's caption out of reach.
        if (workArea_ != nullptr && watched == workArea_->viewport()) {
            for (ChildWindow* child : children_) {
                if (child != nullptr) child->KeepInside();
            }
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ShowTitle() {
    const std::string title = history_.Modified() ? titleBase_ + " *" : titleBase_;
    const QString shown = TextOfBytes(title);
    if (windowTitle() != shown) setWindowTitle(shown);
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

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == recoveryTimer_.timerId()) {
        WriteRecoveryCopyNow();
        return;
    }
    if (event->timerId() != repaintTimer_.timerId()) {
        QMainWindow::timerEvent(event);
        return;
    }
    // Controllers that arrived since the last tick move their controls here, on the thread
    // that owns the patch values; the repaint below shows them. A controller swept is one
    // step, as a knob turned is, and a controller learnt is one too.
    if (TakeControlChanges(*engine_)) history_.Commit(*project_, {}, StepKind::Merge);
    // Voices are made here, on this thread, as soon as the design asks for more (an edit,
    // an undo or an opened file); the audio thread plays the ones that are ready.
    PrepareVoices(*engine_, project_->voiceCount);
    WatchHistory();
    // The editors repaint what changed; the main window's own picture never does.
    if (guiEditor_ != nullptr) guiEditor_->Refresh();
    if (keyboard_ != nullptr) keyboard_->Refresh();
    // The Midi Monitor tells what became of the source.
    if (++ticks_ % kTicksPerSourceLook == 0) midi_->FollowSource();
    if (ticks_ % kTicksPerServerLook == 0) serverFollower_->Look();
}

void MainWindow::ShowServerNotice(const std::string& text) {
    // Made on first use, so that a window that never loses its server keeps its full height.
    if (serverNotice_ == nullptr) {
        serverNotice_ = new QLabel(this);
        serverNotice_->setObjectName(QStringLiteral("ServerNotice"));
        statusBar()->addPermanentWidget(serverNotice_, 1);
    }
    serverNotice_->setText(QString::fromStdString(text));
    serverNotice_->setVisible(!text.empty());
}

} // namespace tw
