#include "app/main_window.h"

#include "app/child_window.h"
#include "app/main_window_shell.h"
#include "app/patch_menu.h"
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
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QScreen>
#include <QStatusBar>
#include <QTimerEvent>
#include <QVBoxLayout>

namespace tw {

namespace {

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

void PlayNote(void* engine, int32_t status, int32_t note, int32_t velocity) {
    HandleMidiMessage(*static_cast<Engine*>(engine), status, note, velocity);
}

} // namespace

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
    return children_[ChildIndex(window)];
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
        const int i = ChildIndex(w);
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
