// The README's pictures of the program with the demo project: the main window, the
// canvas in its three cable styles, the panel in both modes and the Properties window.
// Written only when TW_SCREENSHOT_DIR names a folder (make docs); otherwise skipped.
#include "app/main_window.h"
#include "app/shell_rig.h"
#include "editors/dsp_editor_widget.h"
#include "editors/gui_editor_widget.h"
#include "editors/properties_widget.h"

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
    const QDir docs(QString::fromLocal8Bit(folder));
    auto save = [&](QWidget* widget, const char* name) {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
        const QImage picture = widget->grab().toImage();
        ASSERT_FALSE(picture.isNull()) << name;
        EXPECT_TRUE(picture.save(docs.filePath(QString::fromLatin1(name)))) << name;
    };
    save(&w, "main_window.png");

    Project& p = rig.P();
    const char* styles[] = {"dsp_canvas_straight.png", "dsp_canvas_curved.png",
                            "dsp_canvas_logic.png"};
    for (int32_t style = 0; style < 3; ++style) {
        p.cableStyle = style;
        save(w.DspEditor(), styles[style]);
    }
    p.cableStyle = 1;

    p.guiEditMode = 0;
    save(w.GuiEditor(), "gui_panel_mode.png");
    p.guiEditMode = 1;
    save(w.GuiEditor(), "gui_edit_mode.png");
    p.guiEditMode = 0;

    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (p.slots[slot].type != kTypeParameter) continue;
        p.currentSlot = slot;
        p.propertiesTarget = kTargetParameter;
        break;
    }
    w.Properties()->Refresh();
    save(w.Properties(), "properties_window.png");
}

} // namespace
} // namespace tw
