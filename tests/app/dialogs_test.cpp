// The program's dialogs (Build Project, Preferences) on scripted desktop services and devices
// never opened; the Qt desktop services' message boxes, help and file dialogs; help pages.
#include "app/app_context.h"
#include "app/build_dialog.h"
#include "app/preferences_dialog.h"
#include "app/qt_platform.h"
#include "devices/preferences.h"
#include "engine/engine.h"
#include "export/plugin_build.h"
#include "model/catalogue.h"
#include "model/text.h"
#include "platform/headless_platform.h"
#include "support/builders.h"
#include "support/files.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

namespace tw {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// A project on a scratch application folder, desktop services that answer from a script,
// and devices (one pair for the run) created without listing any, so that none opens.
struct Rig {
    test::TempDir dir;
    std::unique_ptr<Project> project = test::MakeProject();
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(*project);
    HeadlessPlatform platform;
    DevicePreferences preferences;
    EditHistory history;
    AppContext ctx{*project, *engine, platform, Audio(), Midi(), preferences, history};

    static AudioOutput& Audio() {
        static HeadlessPlatform quiet;
        static AudioOutput audio(quiet, nullptr, nullptr);
        return audio;
    }
    static void Ignore(void*, int32_t, int32_t, int32_t) {}
    static MidiInput& Midi() {
        static HeadlessPlatform quiet;
        static MidiInput midi(quiet, &Ignore, nullptr);
        return midi;
    }

    Rig() { SetText(project->appFolder, dir.Path().string()); }
    Project& P() { return *project; }
};

// An application folder with a plugin template and a skin, and a project whose panel has
// one control.
class BuildDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path app = rig.dir.Path();
        fs::create_directories(app / "Resources");
        fs::create_directories(app / "Skins" / "Default");
        std::ofstream(app / "Resources" / "64Bit.dat") << "TEMPLATE64";
        for (const char* name : kPluginSkinBitmaps)
            std::ofstream(app / "Skins" / "Default" / name) << name;
        SetText(rig.P().pluginName, "Synth");
        SetText(rig.P().author, "A Writer");
        SetText(rig.P().versionText, "1000");
        SetText(rig.P().uniqueId, "DfLt");
        SetText(rig.P().skinName, "Default");
        SetText(rig.P().outputFolder, app.string());
        test::AddModule(rig.P(), kTypeParameter);
    }
    QStringList Log(const BuildDialog& d) { return d.LogPane()->toPlainText().split('\n'); }
    bool AllFlags(uint8_t flag) {
        for (const ModuleSlot& s : rig.P().slots)
            if (s.renderOnBackground != flag) return false;
        return true;
    }
    Rig rig;
};

TEST_F(BuildDialogTest, OpensSettingEveryFlagAndKeepsFieldsToTheirLengths) {
    SetRenderOnBackground(rig.P(), 0);
    rig.P().targetPlatform = 1234; // unknown: mended to 64 bit
    BuildDialog dialog(nullptr, rig.ctx, {});
    EXPECT_TRUE(AllFlags(1) && dialog.RenderBox()->isChecked());
    EXPECT_EQ(rig.P().targetPlatform, kTarget64Bit);
    // The version takes 8 characters, the id 4; only the name is taken as it is typed.
    for (QLineEdit* field : {dialog.VersionField(), dialog.IdField(), dialog.NameField()}) {
        field->clear();
        QTest::keyClicks(field, QString(30, 'x'));
    }
    EXPECT_EQ(dialog.VersionField()->text().size() + dialog.IdField()->text().size(), 12);
    EXPECT_EQ(GetText(rig.P().pluginName), std::string(23, 'x'));
    // The field's limit counts UTF-16 units and can cut a character outside the Basic
    // Multilingual Plane in two: the name keeps whole characters only.
    const QString keyboard = QString::fromUcs4(U"\U0001F3B9");
    dialog.NameField()->setText(QString(21, QChar('a')) + keyboard);
    EXPECT_EQ(GetText(rig.P().pluginName), std::string(21, 'a') + "\xF0\x9F\x8E\xB9");
    dialog.NameField()->setText(QString(22, QChar('a')) + keyboard);
    EXPECT_EQ(GetText(rig.P().pluginName), std::string(22, 'a'));
    EXPECT_EQ(GetText(rig.P().versionText), "1000");
}

TEST_F(BuildDialogTest, TheBoxSetsEveryFlagAndLeavingEitherWaySetsThemBackAndKeepsThePlatform) {
    for (const bool byCloseBox : {false, true}) {
        BuildDialog dialog(nullptr, rig.ctx, {});
        dialog.show();
        dialog.RenderBox()->click();
        EXPECT_TRUE(AllFlags(0));
        dialog.PlatformList()->setCurrentIndex(1);
        byCloseBox ? (void)dialog.close() : dialog.ExitButton()->click();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(AllFlags(1));
        EXPECT_EQ(rig.P().targetPlatform, kTarget32Bit); // the choice is kept without a build
    }
}

TEST_F(BuildDialogTest, ABuildWritesThePluginWithTheCapturedPanelAndLogsEveryLine) {
    BuildDialog dialog(nullptr, rig.ctx, [] {
        QImage panel(384, 261, QImage::Format_RGB32);
        panel.fill(QColor(200, 30, 40));
        return panel;
    });
    dialog.VersionField()->setText("1200");
    dialog.RenderBox()->click(); // the panel is captured, and stays, without controls
    dialog.BuildButton()->click();
    EXPECT_GT(test::ReadFileBytes(PluginFilePath(rig.P())).size(), 10u);
    EXPECT_EQ(GetText(rig.P().versionText), "1200");
    const QImage background(QString::fromStdString(PluginFolderPath(rig.P()) + "/Background.bmp"));
    EXPECT_EQ(background.pixelColor(10, 10), QColor(200, 30, 40));
    const QStringList log = Log(dialog);
    EXPECT_TRUE(log.contains(">Linking Object Library 64Bit "));
    EXPECT_EQ(log.last(), "** Build Process Finished ** ");
    EXPECT_TRUE(AllFlags(0));
    dialog.BuildButton()->click(); // a second build adds its lines below the first one's
    EXPECT_EQ(Log(dialog).size(), 2 * log.size() - 4);
    // Ticked, the box makes a build install the same plugin for LV2 hosts, in ~/.lv2.
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", rig.dir.Path().c_str(), 1);
    dialog.Lv2Box()->click();
    dialog.BuildButton()->click();
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(test::ReadFileBytes(rig.dir.File(".lv2/Synth.lv2/Synth.so")),
              test::ReadFileBytes(PluginFilePath(rig.P())));
    EXPECT_EQ(Log(dialog).last(), "** Build Process Finished ** ");
}

// Device lists of the test's choosing, recording what the dialog asks of them.
struct FakeDevices final : DeviceChoices {
    Texts audio = {"Speakers", "Headphones", "Studio Out"}, midi = {"Keys", "Pads"}, calls;
    uint32_t audioSelected = 0, midiSelected = 0;
    bool running = false;

    uint32_t AudioCount() const override { return uint32_t(audio.size()); }
    std::string AudioName(uint32_t d) const override { return audio.at(d); }
    uint32_t SelectedAudio() const override { return audioSelected; }
    bool AudioRunning() const override { return running; }
    void StopAudio() override { running = !Call("stop"); }
    void SelectAudio(uint32_t d) override { Call("select " + audio.at(audioSelected = d)); }
    bool StartAudio() override { return running = Call("start"); }
    uint32_t MidiCount() const override { return uint32_t(midi.size()); }
    std::string MidiName(uint32_t p) const override { return midi.at(p); }
    uint32_t SelectedMidi() const override { return midiSelected; }
    void SwitchMidi(uint32_t p) override {
        chosen = true;
        Call("midi " + midi.at(midiSelected = p));
    }
    bool chosen = true;
    bool HasMidiSource() const override { return chosen; }
    void DropMidiSource() override { chosen = !Call("no midi"); }
    bool Call(const std::string& what) {
        calls.push_back(what);
        return true;
    }
};

class PreferencesDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<PreferencesDialog> Open() {
        auto owned = std::make_unique<FakeDevices>();
        devices = owned.get();
        return std::make_unique<PreferencesDialog>(nullptr, rig.ctx, std::move(owned));
    }
    Rig rig;
    FakeDevices* devices = nullptr;
};

TEST_F(PreferencesDialogTest, ShowsTheDevicesInUseAndMovesPlayingAudioToTheChosenDevice) {
    // The saved name matched nothing when the devices were listed, so device 0 is in use.
    SetText(rig.preferences.audioDevice, "Unplugged Card");
    rig.preferences.sampleRateCode = 1;
    const auto dialog = Open();
    EXPECT_EQ(dialog->AudioList()->count(), 3);
    EXPECT_EQ(dialog->RateList()->currentText(), "48000");
    EXPECT_EQ(GetText(rig.preferences.audioDevice), "Speakers");
    EXPECT_TRUE(devices->calls.empty());
    devices->running = true;
    dialog->AudioList()->setCurrentIndex(2);
    dialog->MidiList()->setCurrentIndex(2);
    dialog->RateList()->setCurrentIndex(0);
    EXPECT_EQ(devices->calls, (Texts{"stop", "select Studio Out", "start", "midi Pads"}));
    EXPECT_EQ(GetText(rig.preferences.audioDevice), "Studio Out");
    EXPECT_EQ(GetText(rig.preferences.midiDevice), "Pads");
    // "None" closes the source and forgets its name; choosing it again opens it again.
    EXPECT_EQ(dialog->MidiList()->itemText(0), "None");
    dialog->MidiList()->setCurrentIndex(0);
    EXPECT_EQ(GetText(rig.preferences.midiDevice), "");
    dialog->MidiList()->setCurrentIndex(2);
    EXPECT_EQ(devices->calls.back(), "midi Pads");
    EXPECT_EQ(devices->calls.at(devices->calls.size() - 2), "no midi");
    // The preferences name the chosen rate at once; the devices take it at the next start.
    EXPECT_EQ(SampleRateOfCode(rig.preferences.sampleRateCode), 44100u);
    // The higher rates a 96 kHz session runs at are offered too.
    ASSERT_EQ(dialog->RateList()->count(), 4);
    dialog->RateList()->setCurrentIndex(3);
    EXPECT_EQ(SampleRateOfCode(rig.preferences.sampleRateCode), 96000u);
    dialog->RateList()->setCurrentIndex(0);
    // Cancel keeps the devices switched and writes no file.
    dialog->CancelButton()->click();
    EXPECT_EQ(dialog->result(), kPreferencesCancelled);
    EXPECT_TRUE(devices->running);
    EXPECT_FALSE(fs::exists(PreferencesPath(GetText(rig.P().appFolder))));
}

TEST_F(PreferencesDialogTest, SaveWritesTheValuesAndTakesAFolderOfOneToFiftyNineCharacters) {
    // Without a Resources folder the file cannot be written: said, and the dialog closes.
    Open()->SaveButton()->click();
    EXPECT_TRUE(rig.platform.MessageTexts().at(0).starts_with("Can not save to\n"));
    rig.platform.ClearRecord();
    fs::create_directories(rig.dir.Path() / "Resources");
    SetText(rig.P().outputFolder, "/kept");
    const std::pair<QString, std::string> folders[] = {{QString(60, 'a'), "/kept"},
                                                       {QString(), "/kept"},
                                                       {QString(59, 'b'), std::string(59, 'b')}};
    for (const auto& [typed, kept] : folders) {
        const auto dialog = Open();
        dialog->FolderField()->setText(typed);
        dialog->SaveButton()->click();
        EXPECT_EQ(GetText(rig.P().outputFolder), kept);
    }
    rig.P().openLastProject = 1;
    const auto dialog = Open();
    rig.platform.folderPaths = {std::nullopt, "/srv/vst"}; // Browse: cancelled, then chosen
    dialog->BrowseButton()->click();
    dialog->BrowseButton()->click();
    dialog->MidiList()->setCurrentIndex(2);
    dialog->OpenLastBox()->click();
    dialog->SaveButton()->click();
    EXPECT_EQ(GetText(rig.P().outputFolder), "/srv/vst");
    EXPECT_EQ(GetText(rig.preferences.midiDevice), "Pads");
    EXPECT_EQ(rig.P().openLastProject, 0);
    const std::string saved = EncodePreferences(rig.P(), rig.preferences);
    EXPECT_EQ(test::ReadFileBytes(PreferencesPath(GetText(rig.P().appFolder))),
              std::vector<uint8_t>(saved.begin(), saved.end()));
}

TEST(MessageBoxes, ShowTheAskedButtonsAndReturnTheAnswer) {
    QtPlatform platform("/nowhere");
    const struct {
        MessageButtons buttons;
        const char* press; // a button's text, or nothing to close the box
        MessageAnswer answer;
        int shown;
    } rows[] = {{MessageButtons::YesNoCancel, "No", MessageAnswer::No, 3},
                {MessageButtons::Ok, "OK", MessageAnswer::Ok, 1},
                // Closing a question box without a button counts as its cautious answer.
                {MessageButtons::YesNo, "", MessageAnswer::No, 2}};
    for (const auto& row : rows) {
        int shown = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            shown = int(box->buttons().size());
            for (QAbstractButton* b : box->buttons())
                if (b->text().remove('&') == row.press) return b->click();
            box->reject();
        });
        EXPECT_EQ(platform.ShowMessage("Save project first", "Tonewright", row.buttons,
                                       MessageIcon::Question),
                  row.answer);
        EXPECT_EQ(shown, row.shown);
    }
}

// Tabbed lines become right-aligned columns, other texts stay plain; help asked for by a
// modal dialog belongs to it while it runs, then to the main window, and Escape or its
// Close button hide it; file dialogs start where the project lies, else in Projects.
TEST(DesktopServices, ColumnsHelpAboveItsDialogAndFileDialogsInTheProjectsFolder) {
    EXPECT_EQ(MessageBoxText("Save project first"), "Save project first");
    EXPECT_TRUE(
        MessageBoxText("DSP\nA < B\t\t1024").contains("<td>A &lt; B</td><td align=\"right\">"));
    test::TempDir dir;
    const std::string app = dir.Path().string(), mine = app + "/Mine";
    EXPECT_EQ(DialogStartFolder(app, mine + "/a.tw1"), app + "/Projects"); // no such folder
    fs::create_directories(mine);
    QWidget owner;
    owner.show();
    QtPlatform platform(app);
    platform.SetOwner(&owner);
    platform.SetProjectPath([&mine] { return mine + "/a.tw1"; });
    QDialog dialog(&owner);
    QWidget* during = nullptr;
    QString folder;
    QTimer::singleShot(0, [&] {
        platform.ShowHelp("Tonewright.chm");
        during = platform.HelpBrowser()->window()->parentWidget();
        dialog.accept();
    });
    dialog.exec();
    QTimer::singleShot(0, [&folder] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        folder = files->directory().path();
        files->reject();
    });
    EXPECT_EQ(platform.ChooseSaveFile("Project Files (*.tw1)", "*.tw1", "tw1"), std::nullopt);
    EXPECT_EQ(folder.toStdString(), mine);
    QWidget* help = platform.HelpBrowser()->window();
    EXPECT_TRUE(during == &dialog && help->parentWidget() == &owner && help->isVisible());
    QTest::keyClick(platform.HelpBrowser(), Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
    platform.ShowHelp("Tonewright.chm");
    help->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
    EXPECT_FALSE(help->isVisible());
}

TEST(HelpPages, EveryPageTheProgramOpensIsListedAndEveryLinkLeadsToAPage) {
    const fs::path folder = fs::path(TW_SOURCE_DIR) / "resources" / "Resources" / "help";
    const std::regex href(R"re(href="([^"#]+))re");
    std::set<std::string> linked, opened = {"comment.htm", "build_plugin.htm"};
    for (const ModuleTypeInfo& type : ModuleTypes())
        if (type.helpPage != nullptr) opened.insert(type.helpPage);
    for (const fs::directory_entry& page : fs::directory_iterator(folder)) {
        std::ifstream in(page.path());
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        EXPECT_NE(text.find("<title>"), std::string::npos) << page.path();
        for (auto it = std::sregex_iterator(text.begin(), text.end(), href);
             it != std::sregex_iterator(); ++it) {
            EXPECT_TRUE(fs::is_regular_file(folder / (*it)[1].str()))
                << page.path() << " links to " << (*it)[1];
            if (page.path().filename() == "index.htm") linked.insert((*it)[1]);
        }
    }
    EXPECT_GT(opened.size(), 30u);
    for (const std::string& page : opened) EXPECT_TRUE(linked.contains(page)) << page;
    // Topics name pages of the help folder and nothing outside it.
    EXPECT_EQ(HelpPagePath("/app/", "Tonewright.chm::/adsr.htm"), "/app/Resources/help/adsr.htm");
    EXPECT_EQ(HelpPagePath("/app", "Tonewright.chm::/../Tonewright_v0.414.cfg"), "");
}

} // namespace
} // namespace tw
