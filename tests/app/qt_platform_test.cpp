// The Qt desktop services: message boxes, the help viewer, bitmaps and folder listing.
#include "app/qt_platform.h"

#include "support/files.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tw {
namespace {

TEST(HelpPages, TopicsNamePagesInTheHelpFolder) {
    EXPECT_EQ(HelpPagePath("/app", "Tonewright.chm"), "/app/Resources/help/index.htm");
    EXPECT_EQ(HelpPagePath("/app/", "Tonewright.chm::/adsr.htm"), "/app/Resources/help/adsr.htm");
    EXPECT_EQ(HelpPagePath("/app", "Tonewright.chm::/build_plugin.htm"),
              "/app/Resources/help/build_plugin.htm");
    // Nothing outside the help folder.
    EXPECT_EQ(HelpPagePath("/app", "Tonewright.chm::/../Tonewright_v0.414.cfg"), "");
    EXPECT_EQ(HelpPagePath("/app", "Tonewright.chm::/"), "");
}

TEST(FileDialogs, FilterLinesListTheirPatternOnce) {
    EXPECT_EQ(FileDialogFilter("Project Files (*.tw1)", "*.tw1"), "Project Files (*.tw1)");
    EXPECT_EQ(FileDialogFilter("Bitmaps", "*.bmp"), "Bitmaps (*.bmp)");
}

// Answers the next message box by the button with `text` and remembers how it looked.
struct BoxAnswerer {
    explicit BoxAnswerer(const char* button) : buttonText(QString::fromLatin1(button)) {}
    QString buttonText;
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool onTop = false;
    int buttons = 0;

    void Arm() {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            buttons = static_cast<int>(box->buttons().size());
            for (QAbstractButton* b : box->buttons()) {
                if (b->text().remove(QLatin1Char('&')) == buttonText) {
                    b->click();
                    return;
                }
            }
            box->reject();
        });
    }
};

TEST(MessageBoxes, ShowTheAskedButtonsOnTopAndReturnTheAnswer) {
    QtPlatform platform("/nowhere");
    BoxAnswerer answerer("No");
    answerer.Arm();
    EXPECT_EQ(platform.ShowMessage("Save project first", "Tonewright", MessageButtons::YesNoCancel,
                                   MessageIcon::Question),
              MessageAnswer::No);
    EXPECT_EQ(answerer.caption.toStdString(), "Tonewright");
    EXPECT_EQ(answerer.text.toStdString(), "Save project first");
    EXPECT_EQ(answerer.icon, QMessageBox::Question);
    EXPECT_TRUE(answerer.onTop);
    EXPECT_EQ(answerer.buttons, 3);

    BoxAnswerer ok("OK");
    ok.Arm();
    EXPECT_EQ(platform.ShowMessage("Can not open file to save", "Tonewright", MessageButtons::Ok,
                                   MessageIcon::Error),
              MessageAnswer::Ok);
    EXPECT_EQ(ok.icon, QMessageBox::Critical);

    // Closing a question box without a button counts as its cautious answer.
    BoxAnswerer closer("none");
    closer.Arm();
    EXPECT_EQ(platform.ShowMessage("Confirm Patch Copy", "Tonewright", MessageButtons::YesNo,
                                   MessageIcon::Information),
              MessageAnswer::No);
}

TEST(HelpViewer, ShowsTheIndexAndAPageAndSaysWhenOneIsMissing) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Resources" / "help");
    std::ofstream(dir.Path() / "Resources" / "help" / "index.htm")
        << "<html><body><h1>Contents</h1><a href=\"adsr.htm\">ADSR</a></body></html>";
    std::ofstream(dir.Path() / "Resources" / "help" / "adsr.htm")
        << "<html><body><h1>ADSR envelope</h1></body></html>";
    QtPlatform platform(dir.Path().string());
    QWidget owner;
    platform.SetOwner(&owner);
    EXPECT_EQ(platform.HelpBrowser(), nullptr);

    platform.ShowHelp("Tonewright.chm");
    QTextBrowser* browser = platform.HelpBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->window()->isVisible());
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Contents")));

    platform.ShowHelp("Tonewright.chm::/adsr.htm");
    EXPECT_EQ(platform.HelpBrowser(), browser); // one viewer for the run
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("ADSR envelope")));

    platform.ShowHelp("Tonewright.chm::/noise.htm");
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Help page missing")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("noise.htm")));
}

TEST(Files, BitmapsDecodeAndFoldersList) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("Knob.bmp"), test::MakeStripBmp(16, 3));
    std::ofstream(dir.File("notes.txt")) << "not a picture";
    QtPlatform platform(dir.Path().string());

    const BitmapHandle bitmap = platform.LoadBitmap(dir.File("Knob.bmp"));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->width, 16);
    EXPECT_EQ(bitmap->height, 48);
    EXPECT_EQ(platform.LoadBitmap(dir.File("notes.txt")), nullptr);
    EXPECT_EQ(platform.LoadBitmap(dir.File("missing.bmp")), nullptr);

    auto names = platform.ListFolder(dir.Path().string());
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"Knob.bmp", "notes.txt"}));
    EXPECT_FALSE(platform.ListFolder(dir.File("missing")));
}

TEST(WindowServices, WithoutAShellTheyAnswerEmptyAndDoNothing) {
    QtPlatform platform("/nowhere");
    EXPECT_EQ(platform.EditorWindowRect(EditorWindow::GuiEditor).width, 0);
    EXPECT_FALSE(platform.IsEditorWindowVisible(EditorWindow::DspEditor));
    EXPECT_EQ(platform.GuiEditorRecordedSize().width, 400);
    platform.MoveEditorWindow(EditorWindow::DspEditor, {0, 0, 10, 10});
    platform.RebuildMenus();
    platform.StopAudio();
}

} // namespace
} // namespace tw
