#include "app/preferences_dialog.h"

#include "app/dialog_rig.h"
#include "devices/preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tw {
namespace {

using test::DialogRig;

// Device lists of the test's choosing, recording what the dialog asks of them.
struct FakeDevices final : DeviceChoices {
    std::vector<std::string> audio;
    std::vector<std::string> midi;
    uint32_t audioSelected = 0;
    uint32_t midiSelected = 0;
    bool running = false;
    std::vector<std::string> calls;

    uint32_t AudioCount() const override { return static_cast<uint32_t>(audio.size()); }
    std::string AudioName(uint32_t d) const override { return d < audio.size() ? audio[d] : ""; }
    uint32_t SelectedAudio() const override { return audioSelected; }
    bool AudioRunning() const override { return running; }
    void StopAudio() override {
        calls.push_back("stop");
        running = false;
    }
    void SelectAudio(uint32_t d) override {
        calls.push_back("select " + std::to_string(d));
        audioSelected = d;
    }
    bool StartAudio() override {
        calls.push_back("start " + std::to_string(audioSelected));
        running = true;
        return true;
    }
    uint32_t MidiCount() const override { return static_cast<uint32_t>(midi.size()); }
    std::string MidiName(uint32_t p) const override { return p < midi.size() ? midi[p] : ""; }
    uint32_t SelectedMidi() const override { return midiSelected; }
    void SwitchMidi(uint32_t p) override {
        calls.push_back("midi " + std::to_string(p));
        midiSelected = p;
    }
};

class PreferencesDialogTest : public ::testing::Test {
protected:
    PreferencesDialogTest() {
        devices->audio = {"Speakers", "Headphones", "Studio Out"};
        devices->midi = {"Keys", "Pads"};
    }

    // The dialog takes the fake; `devices` stays readable through the raw pointer.
    std::unique_ptr<PreferencesDialog> Open() {
        auto dialog = std::make_unique<PreferencesDialog>(nullptr, rig.ctx, std::move(owned));
        return dialog;
    }

    DialogRig rig;
    std::unique_ptr<FakeDevices> owned = std::make_unique<FakeDevices>();
    FakeDevices* devices = owned.get();
};

std::vector<std::string> Items(const QComboBox* list) {
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i) items.push_back(list->itemText(i).toStdString());
    return items;
}

TEST_F(PreferencesDialogTest, OpeningShowsTheDevicesInUseAndAdoptsTheirNames) {
    // The saved names matched nothing when the devices were listed, so device 0 and port 1
    // are the ones in use; the preferences take their names.
    SetText(rig.preferences.audioDevice, "Unplugged Card");
    SetText(rig.preferences.midiDevice, "Old Keys");
    devices->midiSelected = 1;
    rig.preferences.sampleRateCode = 1;
    SetText(rig.P().outputFolder, "/home/me/plugins");
    rig.P().openLastProject = 0;

    const auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Preferences");
    EXPECT_EQ(Items(dialog->AudioList()), devices->audio);
    EXPECT_EQ(Items(dialog->MidiList()), devices->midi);
    EXPECT_EQ(Items(dialog->RateList()), (std::vector<std::string>{"44100", "48000"}));
    EXPECT_EQ(dialog->AudioList()->currentIndex(), 0);
    EXPECT_EQ(dialog->MidiList()->currentIndex(), 1);
    EXPECT_EQ(dialog->RateList()->currentIndex(), 1);
    EXPECT_EQ(GetText(rig.preferences.audioDevice), "Speakers");
    EXPECT_EQ(GetText(rig.preferences.midiDevice), "Pads");
    EXPECT_EQ(dialog->FolderField()->text(), "/home/me/plugins");
    EXPECT_TRUE(dialog->FolderField()->isReadOnly());
    EXPECT_FALSE(dialog->OpenLastBox()->isChecked());
    // Showing the current choice switched nothing.
    EXPECT_TRUE(devices->calls.empty());
}

TEST_F(PreferencesDialogTest, WithoutMidiDevicesTheListIsEmptyAndTheNameCleared) {
    devices->midi.clear();
    SetText(rig.preferences.midiDevice, "Keys");
    const auto dialog = Open();
    EXPECT_EQ(dialog->MidiList()->count(), 0);
    EXPECT_EQ(GetText(rig.preferences.midiDevice), "");
}

TEST_F(PreferencesDialogTest, PlayingAudioMovesToTheChosenDeviceAndStaysThereAfterCancel) {
    devices->running = true;
    const auto dialog = Open();
    dialog->AudioList()->setCurrentIndex(2);
    EXPECT_EQ(devices->calls, (std::vector<std::string>{"stop", "select 2", "start 2"}));
    EXPECT_EQ(GetText(rig.preferences.audioDevice), "Studio Out");

    dialog->CancelButton()->click();
    EXPECT_EQ(dialog->result(), kPreferencesCancelled);
    EXPECT_TRUE(devices->running);
    EXPECT_EQ(devices->audioSelected, 2u);
    EXPECT_FALSE(std::filesystem::exists(PreferencesPath(GetText(rig.P().appFolder))));
}

TEST_F(PreferencesDialogTest, StoppedAudioIsNotStartedByChoosingADevice) {
    const auto dialog = Open();
    dialog->AudioList()->setCurrentIndex(1);
    EXPECT_EQ(devices->calls, (std::vector<std::string>{"stop", "select 1"}));
    EXPECT_FALSE(devices->running);
    EXPECT_EQ(GetText(rig.preferences.audioDevice), "Headphones");
}

TEST_F(PreferencesDialogTest, MidiSwitchesOnlyToAnotherPortAndRateOnlyStoresTheCode) {
    const auto dialog = Open();
    dialog->MidiList()->setCurrentIndex(1);
    EXPECT_EQ(devices->calls, std::vector<std::string>{"midi 1"});
    EXPECT_EQ(GetText(rig.preferences.midiDevice), "Pads");

    // The preferences name the chosen rate at once; the devices take it at the next start.
    dialog->RateList()->setCurrentIndex(1);
    EXPECT_EQ(SampleRateOfCode(rig.preferences.sampleRateCode), 48000u);
    dialog->RateList()->setCurrentIndex(0);
    EXPECT_EQ(SampleRateOfCode(rig.preferences.sampleRateCode), 44100u);
    EXPECT_EQ(devices->calls.size(), 1u);
}

TEST_F(PreferencesDialogTest, BrowseTakesTheChosenFolderAndCancelKeepsTheOldOne) {
    SetText(rig.P().outputFolder, "/old");
    const auto dialog = Open();
    rig.platform.folderPaths.push_back(std::nullopt);
    dialog->BrowseButton()->click();
    EXPECT_EQ(GetText(rig.P().outputFolder), "/old");
    EXPECT_EQ(dialog->FolderField()->text(), "/old");

    rig.platform.folderPaths.push_back("/srv/vst");
    dialog->BrowseButton()->click();
    EXPECT_EQ(GetText(rig.P().outputFolder), "/srv/vst");
    EXPECT_EQ(dialog->FolderField()->text(), "/srv/vst");
}

TEST_F(PreferencesDialogTest, SaveWritesEveryValueToTheFileAndClosesWithOne) {
    std::filesystem::create_directories(rig.dir.Path() / "Resources");
    rig.P().openLastProject = 1;
    const auto dialog = Open();
    EXPECT_TRUE(dialog->OpenLastBox()->isChecked());
    dialog->AudioList()->setCurrentIndex(1);
    dialog->MidiList()->setCurrentIndex(1);
    dialog->RateList()->setCurrentIndex(1);
    dialog->OpenLastBox()->click();
    EXPECT_EQ(rig.P().openLastProject, 0);
    dialog->FolderField()->setText("/srv/plugins");
    SetText(rig.P().projectPath, "/home/me/song.tw1");
    dialog->SaveButton()->click();
    EXPECT_EQ(dialog->result(), kPreferencesSaved);

    const auto bytes = test::ReadFileBytes(PreferencesPath(GetText(rig.P().appFolder)));
    ASSERT_FALSE(bytes.empty());
    auto read = test::MakeProject();
    DevicePreferences readDevices;
    ASSERT_EQ(DecodePreferences(
                  std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                  *read, readDevices),
              PreferencesRead::Loaded);
    EXPECT_EQ(GetText(read->outputFolder), "/srv/plugins");
    EXPECT_EQ(GetText(readDevices.audioDevice), "Headphones");
    EXPECT_EQ(GetText(readDevices.midiDevice), "Pads");
    EXPECT_EQ(readDevices.sampleRateCode, 1);
    EXPECT_EQ(read->openLastProject, 0);
    EXPECT_EQ(GetText(read->projectPath), "/home/me/song.tw1");
    EXPECT_TRUE(rig.platform.messages.empty());
}

TEST_F(PreferencesDialogTest, SaveTakesTheFieldOnlyAtOneToFiftyNineCharacters) {
    std::filesystem::create_directories(rig.dir.Path() / "Resources");
    SetText(rig.P().outputFolder, "/kept");
    {
        const auto dialog = Open();
        dialog->FolderField()->setText(QString(60, QChar('a')));
        dialog->SaveButton()->click();
        EXPECT_EQ(GetText(rig.P().outputFolder), "/kept");
    }
    owned = std::make_unique<FakeDevices>();
    {
        const auto dialog = Open();
        dialog->FolderField()->setText(QString());
        dialog->SaveButton()->click();
        EXPECT_EQ(GetText(rig.P().outputFolder), "/kept");
    }
    owned = std::make_unique<FakeDevices>();
    {
        const auto dialog = Open();
        const QString longest(59, QChar('b'));
        dialog->FolderField()->setText(longest);
        dialog->SaveButton()->click();
        EXPECT_EQ(GetText(rig.P().outputFolder), longest.toStdString());
    }
}

TEST_F(PreferencesDialogTest, AFailedWriteIsReportedAndTheDialogStillCloses) {
    // No Resources folder: the file cannot be created.
    const auto dialog = Open();
    dialog->SaveButton()->click();
    ASSERT_EQ(rig.platform.messages.size(), 1u);
    EXPECT_EQ(rig.platform.messages[0].text.rfind("Can not save to\n", 0), 0u);
    EXPECT_EQ(rig.platform.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialog->result(), kPreferencesSaved);
}

} // namespace
} // namespace tw
