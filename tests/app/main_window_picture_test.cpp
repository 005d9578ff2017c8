// The README's picture of the main window with the demo project. Written only when
// TW_SCREENSHOT_DIR names a folder; otherwise the test is skipped.
#include "app/main_window.h"
#include "app/shell_rig.h"

#include <QDir>
#include <QImage>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tw {
namespace {

TEST(MainWindowPicture, DemoProjectOnScreen) {
    const char* folder = std::getenv("TW_SCREENSHOT_DIR");
    if (folder == nullptr) GTEST_SKIP() << "TW_SCREENSHOT_DIR is not set";
    test::ShellRig rig;
    MainWindow& w = rig.Open(false);
    w.Start();
    w.showNormal();
    w.resize(1280, 860);
    w.RunCommand(1039); // Default Layout for the bigger window
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QImage picture = w.grab().toImage();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.save(QDir(QString::fromLocal8Bit(folder)).filePath("main_window.png")));
}

} // namespace
} // namespace tw
