#pragma once

// The "Preferences" dialog: audio device, sample rate, MIDI device, plugin target
// directory and whether the last project reopens at start-up. Every change goes straight
// into the preference values and the devices; "Save" also writes the preferences file.
#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tw {

struct AppContext;
class AudioOutput;
class MidiInput;
class Platform;

// The dialog's results.
inline constexpr int kPreferencesSaved = 1;
inline constexpr int kPreferencesCancelled = 2;

// What the dialog needs from the audio output and the MIDI input. The program's comes from
// AudioOutput and MidiInput; tests give lists of their own.
class DeviceChoices {
public:
    virtual ~DeviceChoices() = default;
    virtual uint32_t AudioCount() const = 0;
    virtual std::string AudioName(uint32_t device) const = 0;
    virtual uint32_t SelectedAudio() const = 0;
    virtual bool AudioRunning() const = 0;
    virtual void StopAudio() = 0;
    virtual void SelectAudio(uint32_t device) = 0;
    // Starts the stream on the selected device; false when it did not start.
    virtual bool StartAudio() = 0;
    virtual uint32_t MidiCount() const = 0;
    virtual std::string MidiName(uint32_t port) const = 0;
    virtual uint32_t SelectedMidi() const = 0;
    // Closes the open port and opens `port`.
    virtual void SwitchMidi(uint32_t port) = 0;
    // Whether a source is chosen at all; without one only the program's own port listens.
    virtual bool HasMidiSource() const = 0;
    // Closes the chosen source and chooses none ("None" in the list).
    virtual void DropMidiSource() = 0;
};

// The program's devices. A failed restart puts the toolbar into its stopped state through
// the platform so that it never shows "Stop Audio" over silence.
std::unique_ptr<DeviceChoices> ProgramDevices(AudioOutput& audio, MidiInput& midi,
                                              Platform& platform);

class PreferencesDialog final : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(QWidget* parent, AppContext& ctx);
    PreferencesDialog(QWidget* parent, AppContext& ctx, std::unique_ptr<DeviceChoices> devices);
    ~PreferencesDialog() override;

    QComboBox* AudioList() const { return audioList_; }
    QComboBox* RateList() const { return rateList_; }
    QComboBox* MidiList() const { return midiList_; }
    QLineEdit* FolderField() const { return folderField_; }
    QCheckBox* OpenLastBox() const { return openLastBox_; }
    QPushButton* BrowseButton() const { return browseButton_; }
    QPushButton* SaveButton() const { return saveButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

private:
    // The dialog's making, in this order.
    void AddControls();
    void ShowCurrentValues();
    void ConnectControls();

    void AudioChosen(int index);
    void RateChosen(int index);
    void MidiChosen(int index);
    void Browse();
    void Save();

    AppContext& ctx_;
    std::unique_ptr<DeviceChoices> devices_;
    QComboBox* audioList_ = nullptr;
    QComboBox* rateList_ = nullptr;
    QComboBox* midiList_ = nullptr;
    QLineEdit* folderField_ = nullptr;
    QCheckBox* openLastBox_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

// Runs the dialog modally; kPreferencesSaved after "Save", kPreferencesCancelled after
// "Cancel" or the close box.
int RunPreferencesDialog(QWidget* parent, AppContext& ctx);

} // namespace tw
