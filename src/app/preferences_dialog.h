#pragma once

// The "Preferences" dialog: audio device, sample rate, MIDI device, plugin target
// directory and whether the last project reopens at start-up. Every change goes straight
// into the preference values and the devices; "Save" also writes the preferences file.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tw {

struct AppContext;

// The dialog's results.
inline constexpr int kPreferencesSaved = 1;
inline constexpr int kPreferencesCancelled = 2;

class PreferencesDialog final : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(QWidget* parent, AppContext& ctx);

    QComboBox* AudioList() const { return audioList_; }
    QComboBox* RateList() const { return rateList_; }
    QComboBox* MidiList() const { return midiList_; }
    QLineEdit* FolderField() const { return folderField_; }
    QCheckBox* OpenLastBox() const { return openLastBox_; }
    QPushButton* BrowseButton() const { return browseButton_; }
    QPushButton* SaveButton() const { return saveButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

private:
    void AudioChosen(int index);
    void RateChosen(int index);
    void MidiChosen(int index);
    void Browse();
    void Save();

    AppContext& ctx_;
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
