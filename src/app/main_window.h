#pragma once

// The program's main window: it owns the project, the engine, the devices and the
// preferences, holds the toolbar, the menu bar and the five child windows, drives the
// periodic repaint and carries out the numbered commands.
#include "app/app_context.h"
#include "app/command_dispatch.h"
#include "app/recovery_writer.h"
#include "app/server_follower.h"
#include "devices/audio_device.h"
#include "devices/midi_device.h"
#include "devices/preferences_host.h"
#include "engine/engine.h"
#include "engine/live_events.h"
#include "platform/folder_lock.h"

#include <QBasicTimer>
#include <QList>
#include <QMainWindow>
#include <QStringList>

#include <string_view>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QMdiArea;
class QMdiSubWindow;

namespace tw {

class ChildWindow;
class DspEditorWidget;
class GuiEditorWidget;
class MainToolbar;
class MidiMonitorWidget;
class PropertiesWidget;
class VirtualKeyboardWidget;

// The width of the Properties panel at the left and the height of the toolbar band:
// editor window positions (as project files store them) count from the top-left corner of
// the main window below its menu bar, so the work area begins at this offset.
inline constexpr int32_t kSidePanelWidth = kEditorAreaLeft;
inline constexpr int32_t kToolbarBand = kEditorAreaTop;
inline constexpr int kRepaintMilliseconds = 40;

struct MainWindowOptions {
    // The application folder; empty means the working folder.
    std::string appFolder;
    // An installed program's settings and user folders (model/app_folders.h); empty when
    // the application folder holds everything.
    std::string settingsFolder;
    std::string userFolder;
    AudioApi audioApi = AudioApi::Default;
    MidiApi midiApi = MidiApi::Default;
    // How long after the first unsaved change the recovery copy is written.
    int recoveryDelayMs = 10000;
};

class MainWindow final : public QMainWindow, private CommandHost {
    Q_OBJECT
public:
    // Runs the window's creation: full reset, menu bar and toolbar, preferences (which may
    // open a project), MIDI then audio devices, the repaint timer. `services` answers the
    // desktop services (message boxes, file dialogs, help, bitmaps).
    explicit MainWindow(Platform& services, MainWindowOptions options = {});
    ~MainWindow() override;

    // The rest of the start-up: shows the window maximised, creates the child windows,
    // refreshes the Properties window and reads the preferences again so that a reopened
    // project shows in the windows.
    void Start();

    // Carries out one numbered command as a menu item or toolbar button sends it.
    void RunCommand(int32_t command);

    // The close procedure: asks "Save project first" and shuts the devices down. False
    // when the user chose to keep working.
    bool CloseProcedure();
    bool HasClosed() const { return closed_; }

    // Opens a project file as "Open Project..." does once the file is chosen.
    void OpenFile(const std::string& path);

    // The end of a desktop session (logout, or the program told to stop): preferences
    // saved, unsaved work kept in the recovery copy, devices shut, no question asked.
    void EndSession();

    // What the start-up found missing (devices, the last project), on the status line
    // instead of in boxes that would wait for a click; "" when nothing was.
    void ShowStartNotice(std::string_view text);
    QString StartNotice() const;

    AppContext& Context() { return *ctx_; }
    Platform& ShellPlatform();
    MainToolbar* Toolbar() const { return toolbar_; }
    QMdiArea* WorkArea() const { return workArea_; }
    ChildWindow* Child(EditorWindow window) const;
    PropertiesWidget* Properties() const { return properties_; }
    GuiEditorWidget* GuiEditor() const { return guiEditor_; }
    DspEditorWidget* DspEditor() const { return dspEditor_; }
    bool RepaintTimerActive() const { return repaintTimer_.isActive(); }
    EditHistory& History() { return history_; }
    // The recovery copy written last ("" when there is none), and its writer.
    const std::string& RecoveryCopyPath() const { return recoveryPath_; }
    RecoveryWriter& Recovery() { return recoveryWriter_; }

    // Shows the patch list at a screen point and returns the pick or -1. The program uses
    // the pop-up; tests put their own pick here.
    std::function<int32_t(const QPoint& globalPos)> choosePatch;

Q_SIGNALS:
    // The close procedure ran to its end: the program may quit.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    class Shell;

    void RestoreEditorWindow(EditorWindow window) override;
    void RunPreferences() override;
    void RunBuild() override;
    CanvasSession& Canvas() override { return canvas_; }

    bool HandleOwnCommand(int32_t command);
    void StartAudio();
    // Builds the engine's rate-dependent tables for the preferred sample rate, so that the
    // first note after start-up plays at its true pitch on a 48 kHz device.
    void AdoptPreferredSampleRate();
    void StopAudio();
    void ChoosePatchFromList();
    void RebuildMenuBar();
    void CreateChildWindows();
    // Stacks the child windows in the given order, bottom first; the top one is active.
    void RestoreStacking(const QList<QMdiSubWindow*>& bottomToTop);
    void ShutDownDevices();
    // Follows the history: starts the recovery timer when there are unsaved changes and
    // removes the copy when there are none.
    void WatchHistory();
    // Writes the copy now when there are unsaved changes, replacing an older one.
    void WriteRecoveryCopyNow();
    // The project has nothing unsaved (or is left by the user's choice): no copy.
    void DropRecoveryCopy();
    // The end of every close: preferences saved, devices shut, the program may quit.
    void FinishClosing();
    // Shows the title the flows set, marked with " *" while there are unsaved changes.
    void ShowTitle();
    // The sound server's line at the foot of the window; "" hides it.
    void ShowServerNotice(const std::string& text);

    std::unique_ptr<Project> project_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<Shell> shell_;
    // The engine as the audio callback runs it, with live MIDI at its own frames.
    std::unique_ptr<LivePlayer> player_;
    DevicePreferences preferences_;
    std::unique_ptr<MidiInput> midi_;
    std::unique_ptr<AudioOutput> audio_;
    std::unique_ptr<PlatformPreferencesHost> preferencesHost_;
    std::unique_ptr<ServerFollower> serverFollower_;
    QLabel* serverNotice_ = nullptr;
    std::unique_ptr<AppContext> ctx_;
    CanvasSession canvas_;
    EditHistory history_;
    uint64_t historySeen_ = 0;
    QBasicTimer recoveryTimer_;
    int recoveryDelayMs_ = 10000;
    std::string recoveryPath_;
    RecoveryWriter recoveryWriter_;
    // This program's own folder for its recovery copies, locked while it runs, so that
    // another program never takes them for a crashed one's.
    FolderLock recoveryLock_;
    std::string titleBase_;

    MainToolbar* toolbar_ = nullptr;
    QWidget* central_ = nullptr;
    QWidget* propertiesColumn_ = nullptr;
    QMdiArea* workArea_ = nullptr;
    ChildWindow* children_[kEditorWindowCount] = {};
    PropertiesWidget* properties_ = nullptr;
    GuiEditorWidget* guiEditor_ = nullptr;
    DspEditorWidget* dspEditor_ = nullptr;
    VirtualKeyboardWidget* keyboard_ = nullptr;
    MidiMonitorWidget* monitor_ = nullptr;
    QBasicTimer repaintTimer_;
    int ticks_ = 0;
    // The device's own rate is told once per run.
    bool rateNoticeShown_ = false;
    bool closed_ = false;
    QStringList startNotices_;
    QLabel* startLine_ = nullptr;
};

} // namespace tw
