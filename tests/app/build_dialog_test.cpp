#include "app/build_dialog.h"

#include "app/dialog_rig.h"
#include "export/plugin_build.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::DialogRig;

const char* const kSkinFiles[] = {"Knob_0to10.bmp", "Knob_0to100.bmp", "Knob_Plus_Minus.bmp",
                                  "Knob_1234.bmp",  "Knob_Wave.bmp",   "Switch_OnOff.bmp",
                                  "LED_Red.bmp"};

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool AllFlags(const Project& p, uint8_t flag) {
    for (const ModuleSlot& s : p.slots)
        if (s.renderOnBackground != flag) return false;
    return true;
}

// An application folder with a template and a skin, a target folder, and a project whose
// panel has one control.
class BuildDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(rig.dir.Path() / "Resources");
        fs::create_directories(rig.dir.Path() / "Skins" / "Default");
        fs::create_directories(Target());
        WriteFile(rig.dir.Path() / "Resources" / "64Bit.dat", "TEMPLATE64");
        WriteFile(rig.dir.Path() / "Resources" / "32Bit.dat", "TEMPLATE32");
        for (const char* name : kSkinFiles)
            WriteFile(rig.dir.Path() / "Skins" / "Default" / name, name);
        Project& p = rig.P();
        SetText(p.pluginName, "Synth");
        SetText(p.author, "A Writer");
        SetText(p.versionText, "1000");
        SetText(p.uniqueId, "DfLt");
        SetText(p.skinName, "Default");
        SetText(p.outputFolder, Target().string());
        ASSERT_GE(test::AddModule(p, kTypeParameter), 0);
        rig.platform.guiRecordedSize = {0, 0, 400, 300};
    }

    fs::path Target() const { return rig.dir.Path() / "target"; }
    QStringList Log(const BuildDialog& dialog) const {
        return dialog.LogPane()->toPlainText().split(QLatin1Char('\n'));
    }

    DialogRig rig;
};

TEST_F(BuildDialogTest, OpeningDrawsEveryControlShowsTheIdentityAndTheBanner) {
    SetRenderOnBackground(rig.P(), 0);
    BuildDialog dialog(nullptr, rig.ctx, {});
    EXPECT_EQ(dialog.windowTitle(), "Build Project");
    EXPECT_TRUE(AllFlags(rig.P(), 1));
    EXPECT_TRUE(dialog.RenderBox()->isChecked());
    EXPECT_EQ(dialog.NameField()->text(), "Synth");
    EXPECT_EQ(dialog.AuthorField()->text(), "A Writer");
    EXPECT_EQ(dialog.VersionField()->text(), "1000");
    EXPECT_EQ(dialog.IdField()->text(), "DfLt");
    EXPECT_EQ(dialog.FolderField()->text().toStdString(), Target().string());
    EXPECT_FALSE(dialog.FolderField()->isEnabled());
    const QStringList log = Log(dialog);
    ASSERT_EQ(log.size(), 4);
    EXPECT_TRUE(log[0].startsWith("Tonewright DSP/C Object Compiler"));
    EXPECT_EQ(log[1], " ");
    EXPECT_EQ(log[2], "Ready to build plugin... ");
    EXPECT_EQ(log[3], " ");
}

TEST_F(BuildDialogTest, ThePlatformListShowsTheProjectsTargetAndMendsUnknownOnes) {
    rig.P().targetPlatform = kTarget32Bit;
    {
        BuildDialog dialog(nullptr, rig.ctx, {});
        EXPECT_EQ(dialog.PlatformList()->currentIndex(), 1);
        EXPECT_EQ(dialog.PlatformList()->itemText(0), "64Bit Plugin");
        EXPECT_EQ(dialog.PlatformList()->itemText(1), "32Bit Plugin");
    }
    rig.P().targetPlatform = 1234;
    BuildDialog dialog(nullptr, rig.ctx, {});
    EXPECT_EQ(dialog.PlatformList()->currentIndex(), 0);
    EXPECT_EQ(rig.P().targetPlatform, kTarget64Bit);

    // Choosing 32-bit and leaving without a build keeps the choice.
    dialog.PlatformList()->setCurrentIndex(1);
    dialog.ExitButton()->click();
    EXPECT_EQ(rig.P().targetPlatform, kTarget32Bit);
}

TEST_F(BuildDialogTest, TypedFieldsKeepToTheirLengthsAndTheNameIsTakenAtOnce) {
    BuildDialog dialog(nullptr, rig.ctx, {});
    dialog.VersionField()->clear();
    QTest::keyClicks(dialog.VersionField(), "123456789");
    EXPECT_EQ(dialog.VersionField()->text(), "12345678");
    dialog.IdField()->clear();
    QTest::keyClicks(dialog.IdField(), "ABCDE");
    EXPECT_EQ(dialog.IdField()->text(), "ABCD");

    dialog.NameField()->clear();
    QTest::keyClicks(dialog.NameField(), "Bass");
    EXPECT_EQ(GetText(rig.P().pluginName), "Bass");
    QTest::keyClicks(dialog.NameField(), QString(30, QChar('x')));
    EXPECT_EQ(GetText(rig.P().pluginName).size(), 23u);
    // The other fields are read only when "Build" is pressed.
    EXPECT_EQ(GetText(rig.P().versionText), "1000");
}

TEST_F(BuildDialogTest, TheBoxSetsEveryFlagAndLeavingSetsThemBack) {
    for (const bool byCloseBox : {false, true}) {
        BuildDialog dialog(nullptr, rig.ctx, {});
        dialog.show();
        dialog.RenderBox()->click();
        EXPECT_TRUE(AllFlags(rig.P(), 0));
        dialog.RenderBox()->click();
        EXPECT_TRUE(AllFlags(rig.P(), 1));
        dialog.RenderBox()->click();
        if (byCloseBox)
            dialog.close();
        else
            dialog.ExitButton()->click();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(AllFlags(rig.P(), 1));
    }
}

TEST_F(BuildDialogTest, RefusedFieldsShowTheirMessagesAndLogNothing) {
    SetText(rig.P().outputFolder, "/t");
    BuildDialog dialog(nullptr, rig.ctx, {});
    dialog.AuthorField()->clear();
    dialog.BuildButton()->click();
    EXPECT_EQ(rig.platform.MessageTexts(),
              (std::vector<std::string>{"Invalid Plugin Directory.\nSee:- Setup -> Preferences.",
                                        "Plugin must have an author."}));
    EXPECT_EQ(rig.platform.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(Log(dialog).size(), 4);
    EXPECT_FALSE(fs::exists(PluginFilePath(rig.P())));
}

TEST_F(BuildDialogTest, ABuildWritesThePluginWithTheCapturedPanelAndLogsEveryLine) {
    BuildDialog dialog(nullptr, rig.ctx, [] {
        QImage panel(384, 261, QImage::Format_RGB32);
        panel.fill(QColor(200, 30, 40));
        return panel;
    });
    dialog.VersionField()->setText("1200");
    // The box cleared: the capture is taken without controls, and the panel stays without
    // them afterwards because the box still says so.
    dialog.RenderBox()->click();
    dialog.BuildButton()->click();

    const std::string plugin = PluginFilePath(rig.P());
    const auto bytes = test::ReadFileBytes(plugin);
    ASSERT_GT(bytes.size(), 10u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 10), "TEMPLATE64");
    EXPECT_EQ(GetText(rig.P().versionText), "1200");
    for (const char* name : kPluginSkinBitmaps)
        EXPECT_TRUE(fs::exists(PluginFolderPath(rig.P()) + "/" + name)) << name;
    const QImage background(QString::fromStdString(PluginFolderPath(rig.P()) + "/Background.bmp"));
    ASSERT_EQ(background.size(), QSize(384, 261));
    EXPECT_EQ(background.pixelColor(10, 10), QColor(200, 30, 40));

    QStringList log = Log(dialog);
    EXPECT_TRUE(log.contains(QStringLiteral(">Linking Object Library 64Bit ")));
    EXPECT_TRUE(log.contains(QString::fromStdString(">Compiling " + plugin + " ")));
    EXPECT_EQ(log.last(), "** Build Process Finished ** ");
    EXPECT_TRUE(AllFlags(rig.P(), 0));
    EXPECT_TRUE(dialog.BuildButton()->isEnabled());

    // A second build adds its lines below the first one's.
    const qsizetype firstLength = log.size();
    dialog.BuildButton()->click();
    log = Log(dialog);
    EXPECT_EQ(log.size(), firstLength + (firstLength - 4));
    EXPECT_EQ(log.count(QStringLiteral("** Build Process Finished ** ")), 2);
}

TEST_F(BuildDialogTest, WithoutACaptureThePanelIsDrawnFromTheProject) {
    BuildDialog dialog(nullptr, rig.ctx, [] { return QImage(); });
    dialog.BuildButton()->click();
    const QImage background(QString::fromStdString(PluginFolderPath(rig.P()) + "/Background.bmp"));
    EXPECT_EQ(background.size(), QSize(384, 261));
}

TEST_F(BuildDialogTest, AMissingSkinFailsTheBuildWithoutABackground) {
    fs::remove_all(rig.dir.Path() / "Skins" / "Default");
    BuildDialog dialog(nullptr, rig.ctx, {});
    dialog.BuildButton()->click();
    const QStringList log = Log(dialog);
    EXPECT_EQ(log.filter(QStringLiteral(">ERROR 7:")).size(), 7);
    EXPECT_EQ(log[log.size() - 2], ">Build Process Failed ");
    EXPECT_EQ(log.last(), "7  Error(s) ");
    EXPECT_FALSE(fs::exists(PluginFolderPath(rig.P()) + "/Background.bmp"));
    EXPECT_TRUE(AllFlags(rig.P(), 1));
}

TEST_F(BuildDialogTest, AnEmptyProjectHasNothingToSaveButTheLogStillFinishes) {
    auto empty = test::MakeProject();
    SetText(empty->appFolder, rig.dir.Path().string());
    SetText(empty->outputFolder, Target().string());
    SetText(empty->pluginName, "Empty");
    SetText(empty->author, "Me");
    SetText(empty->versionText, "1");
    SetText(empty->uniqueId, "EMPT");
    AppContext ctx{*empty,        rig.ctx.engine, rig.platform,
                   rig.ctx.audio, rig.ctx.midi,   rig.preferences};
    BuildDialog dialog(nullptr, ctx, {});
    dialog.BuildButton()->click();
    ASSERT_EQ(rig.platform.MessageTexts(), std::vector<std::string>{"Nothing to save"});
    EXPECT_EQ(rig.platform.messages[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(fs::exists(PluginFilePath(*empty)));
    EXPECT_EQ(Log(dialog).last(), "** Build Process Finished ** ");
}

TEST_F(BuildDialogTest, OpensLeftOfAndAboveTheMainWindowsCentreButOnTheScreen) {
    QWidget main;
    // The test screen is 800 x 800 pixels: room for the dialog beside this window.
    main.setGeometry(50, 50, 700, 750);
    main.show();
    const QPoint centre = main.frameGeometry().center();
    {
        BuildDialog dialog(&main, rig.ctx, {});
        EXPECT_EQ(dialog.pos(), QPoint(centre.x() - 230, centre.y() - 375));
    }
    main.setGeometry(0, 0, 300, 200);
    BuildDialog dialog(&main, rig.ctx, {});
    EXPECT_EQ(dialog.pos(), main.screen()->availableGeometry().topLeft());
}

TEST_F(BuildDialogTest, HelpOpensTheBuildPage) {
    BuildDialog dialog(nullptr, rig.ctx, {});
    dialog.HelpButton()->click();
    EXPECT_EQ(rig.platform.helpTopics,
              std::vector<std::string>{"Tonewright.chm::/build_plugin.htm"});
}

} // namespace
} // namespace tw
