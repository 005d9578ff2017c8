#include "app/preferences_dialog.h"

#include "app/app_context.h"
#include "devices/preferences_host.h"
#include "model/lifecycle.h"
#include "model/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tw {

namespace {

// The plugin directory typed or shown in the field is taken on "Save" only at these
// lengths.
constexpr qsizetype kMinFolderLength = 1;
constexpr qsizetype kMaxFolderLength = 59;

class ProgramDeviceChoices final : public DeviceChoices {
public:
    ProgramDeviceChoices(AudioOutput& audio, MidiInput& midi, Platform& platform)
        : audio_(audio), midi_(midi), platform_(platform) {}

    uint32_t AudioCount() const override { return audio_.DeviceCount(); }
    std::string AudioName(uint32_t device) const override { return audio_.DeviceName(device); }
    uint32_t SelectedAudio() const override { return audio_.SelectedDevice(); }
    bool AudioRunning() const override { return audio_.IsRunning(); }
    void StopAudio() override { audio_.StopAudio(); }
    void SelectAudio(uint32_t device) override { audio_.SelectDevice(device); }
    bool StartAudio() override {
        audio_.StartAudio(audio_.SelectedDevice());
        if (audio_.IsRunning()) return true;
        platform_.StopAudio();
        return false;
    }
    uint32_t MidiCount() const override { return midi_.DeviceCount(); }
    std::string MidiName(uint32_t port) const override { return midi_.DeviceName(port); }
    uint32_t SelectedMidi() const override { return midi_.SelectedPort(); }
    void SwitchMidi(uint32_t port) override { midi_.SwitchMidiPort(port); }
    bool HasMidiSource() const override { return midi_.FollowedSource()[0] != '\0'; }
    void DropMidiSource() override { midi_.DropSource(); }

private:
    AudioOutput& audio_;
    MidiInput& midi_;
    Platform& platform_;
};

// The font the program draws its own texts with: a plain sans-serif face 14 pixels high.
QFont ProgramFont() {
    QFont font(QStringLiteral("sans-serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    return font;
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

std::unique_ptr<DeviceChoices> ProgramDevices(AudioOutput& audio, MidiInput& midi,
                                              Platform& platform) {
    return std::make_unique<ProgramDeviceChoices>(audio, midi, platform);
}

PreferencesDialog::PreferencesDialog(QWidget* parent, AppContext& ctx)
    : PreferencesDialog(parent, ctx, ProgramDevices(ctx.audio, ctx.midi, ctx.platform)) {}

PreferencesDialog::PreferencesDialog(QWidget* parent, AppContext& ctx,
                                     std::unique_ptr<DeviceChoices> devices)
    : QDialog(parent), ctx_(ctx), devices_(std::move(devices)) {
    setWindowTitle(QStringLiteral("Preferences"));
    setModal(true);
    setFixedSize(390, 356);
    AddControls();
    // Fill and select before connecting, so that showing the current choice changes
    // nothing.
    ShowCurrentValues();
    ConnectControls();
}

void PreferencesDialog::AddControls() {
    const QFont programFont = ProgramFont();
    auto* hardware = new QGroupBox(QStringLiteral("Hardware Devices"), this);
    hardware->setGeometry(10, 10, 370, 130);
    const auto addLabel = [this](const char* text, int y) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setGeometry(20, y, 78, 16);
    };
    const auto addList = [this, &programFont](int y) {
        auto* list = new QComboBox(this);
        list->setFont(programFont);
        list->setGeometry(100, y, 270, list->sizeHint().height());
        return list;
    };
    addLabel("Audio Device", 38);
    audioList_ = addList(35);
    addLabel("Sample Rate", 68);
    rateList_ = addList(65);
    addLabel("Midi Device", 98);
    midiList_ = addList(95);

    auto* target = new QGroupBox(QStringLiteral("Plugin Target Directory"), this);
    target->setGeometry(10, 155, 370, 90);
    folderField_ = new QLineEdit(this);
    folderField_->setFont(programFont);
    folderField_->setReadOnly(true);
    folderField_->setGeometry(20, 180, 350, 20);
    browseButton_ = new QPushButton(QStringLiteral("Browse"), this);
    browseButton_->setGeometry(300, 210, 61, 23);

    openLastBox_ = new QCheckBox(QStringLiteral("Open Last Project On Startup"), this);
    openLastBox_->setFont(programFont);
    openLastBox_->setGeometry(20, 260, 340, 25);

    saveButton_ = new QPushButton(QStringLiteral("Save"), this);
    saveButton_->setGeometry(220, 320, 61, 23);
    saveButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setGeometry(300, 320, 61, 23);
}

void PreferencesDialog::ShowCurrentValues() {
    DevicePreferences& prefs = ctx_.preferences;
    const uint32_t audioCount = devices_->AudioCount();
    for (uint32_t i = 0; i < audioCount; ++i) audioList_->addItem(Latin1(devices_->AudioName(i)));
    if (audioCount > 0) {
        // A saved name that matched no device gave way to device 0 when the devices were
        // listed; the preference follows what is really in use.
        const uint32_t selected =
            devices_->SelectedAudio() < audioCount ? devices_->SelectedAudio() : 0;
        audioList_->setCurrentIndex(static_cast<int>(selected));
        SetText(prefs.audioDevice, devices_->AudioName(selected));
    }

    // The list holds the rates in code order; a code of no entry shows the rate it names.
    for (const uint32_t rate : kSampleRates) rateList_->addItem(QString::number(rate));
    rateList_->setCurrentIndex(prefs.sampleRateCode < kSampleRateCodeCount ? prefs.sampleRateCode
                                                                           : 0);

    // "None" first: the program's own port is there either way, and a source chosen here
    // as well as wired to it would be heard twice.
    const uint32_t midiCount = devices_->MidiCount();
    midiList_->addItem(QStringLiteral("None"));
    for (uint32_t i = 0; i < midiCount; ++i) midiList_->addItem(Latin1(devices_->MidiName(i)));
    if (midiCount > 0 && devices_->HasMidiSource()) {
        const uint32_t selected =
            devices_->SelectedMidi() < midiCount ? devices_->SelectedMidi() : 0;
        midiList_->setCurrentIndex(static_cast<int>(selected) + 1);
        SetText(prefs.midiDevice, devices_->MidiName(selected));
    } else if (!devices_->HasMidiSource()) {
        SetText(prefs.midiDevice, "");
    }

    folderField_->setText(Latin1(GetText(ctx_.project.outputFolder)));
    openLastBox_->setChecked(ctx_.project.openLastProject == 1);
}

void PreferencesDialog::ConnectControls() {
    connect(audioList_, &QComboBox::currentIndexChanged, this, &PreferencesDialog::AudioChosen);
    connect(rateList_, &QComboBox::currentIndexChanged, this, &PreferencesDialog::RateChosen);
    connect(midiList_, &QComboBox::currentIndexChanged, this, &PreferencesDialog::MidiChosen);
    connect(browseButton_, &QPushButton::clicked, this, &PreferencesDialog::Browse);
    connect(openLastBox_, &QCheckBox::toggled, this,
            [this](bool on) { ctx_.project.openLastProject = on ? 1 : 0; });
    connect(saveButton_, &QPushButton::clicked, this, &PreferencesDialog::Save);
    connect(cancelButton_, &QPushButton::clicked, this, [this] { done(kPreferencesCancelled); });
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::AudioChosen(int index) {
    if (devices_->AudioCount() == 0 || index < 0) return;
    const auto device = static_cast<uint32_t>(index);
    SetText(ctx_.preferences.audioDevice, devices_->AudioName(device));
    if (device == devices_->SelectedAudio()) return;
    // Audio that was playing moves to the new device; audio that was stopped stays
    // stopped, so that the toolbar's "Start Audio" keeps telling the truth.
    const bool wasRunning = devices_->AudioRunning();
    devices_->StopAudio();
    devices_->SelectAudio(device);
    if (wasRunning) devices_->StartAudio();
}

void PreferencesDialog::RateChosen(int index) {
    // The stream and the engine take the rate at the next start of audio.
    if (index >= 0 && index < kSampleRateCodeCount)
        ctx_.preferences.sampleRateCode = static_cast<uint8_t>(index);
}

void PreferencesDialog::MidiChosen(int index) {
    if (index == 0) {
        SetText(ctx_.preferences.midiDevice, "");
        if (devices_->HasMidiSource()) devices_->DropMidiSource();
        return;
    }
    if (index < 0 || static_cast<uint32_t>(index) > devices_->MidiCount()) return;
    const auto port = static_cast<uint32_t>(index - 1);
    SetText(ctx_.preferences.midiDevice, devices_->MidiName(port));
    if (port != devices_->SelectedMidi() || !devices_->HasMidiSource()) devices_->SwitchMidi(port);
}

void PreferencesDialog::Browse() {
    const std::optional<std::string> folder =
        ctx_.platform.ChooseFolder("Select Plugin Target Directory");
    // A path that does not fit the field would be cut into another folder's name.
    if (!folder || folder->empty() || folder->size() >= sizeof(ctx_.project.outputFolder)) return;
    SetText(ctx_.project.outputFolder, *folder);
    folderField_->setText(Latin1(*folder));
}

void PreferencesDialog::Save() {
    const QByteArray typed = folderField_->text().toLatin1();
    if (typed.size() >= kMinFolderLength && typed.size() <= kMaxFolderLength)
        SetText(ctx_.project.outputFolder, std::string_view(typed.constData(), typed.size()));
    PlatformPreferencesHost host(ctx_.platform, ctx_.engine);
    SavePreferences(ctx_.project, ctx_.preferences, host);
    done(kPreferencesSaved);
}

int RunPreferencesDialog(QWidget* parent, AppContext& ctx) {
    PreferencesDialog dialog(parent, ctx);
    return dialog.exec() == kPreferencesSaved ? kPreferencesSaved : kPreferencesCancelled;
}

} // namespace tw
