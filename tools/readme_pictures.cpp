// tw_readme_pictures: draws the README's pictures of the program with the demo project
// (the main window, the canvas in its three cable styles, the panel in both modes and the
// Properties window) offscreen, as `make docs` asks.
//
//   tw_readme_pictures <staged application folder> <pictures folder>
//
// The program runs on a scratch copy of the application folder's projects and skins, with
// desktop services that answer without a screen and no sound server to open.
#include "app/main_window.h"
#include "editors/dsp_editor_widget.h"
#include "editors/gui_editor_widget.h"
#include "editors/properties_widget.h"
#include "platform/headless_platform.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

bool Save(QWidget* widget, const QDir& folder, const char* name) {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    const QImage picture = widget->grab().toImage();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (picture.isNull() || !picture.save(path)) {
        std::fprintf(stderr, "tw_readme_pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tw_readme_pictures <application folder> <pictures folder>\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("JACK_NO_START_SERVER", "1", 1);
    QApplication app(argc, argv);

    namespace fs = std::filesystem;
    QTemporaryDir scratch;
    const fs::path staged = argv[1];
    const fs::path folder = scratch.path().toStdString();
    std::error_code error;
    fs::create_directories(folder / "Resources", error);
    fs::copy(staged / "Projects", folder / "Projects", fs::copy_options::recursive, error);
    fs::copy(staged / "Skins", folder / "Skins", fs::copy_options::recursive, error);
    if (error || !scratch.isValid()) {
        std::fprintf(stderr, "tw_readme_pictures: cannot copy %s: %s\n", argv[1],
                     error.message().c_str());
        return 1;
    }

    tw::HeadlessPlatform services;
    tw::MainWindowOptions options;
    options.appFolder = folder.string();
    options.audioApi = tw::AudioApi::Jack;
    options.midiApi = tw::MidiApi::Jack;
    tw::MainWindow window(services, options);
    window.Start();
    // The size of a 1600 x 1000 screen less a panel, where the demo's own layout fits.
    window.showNormal();
    window.resize(1600, 960);
    QApplication::processEvents();
    // The windows were placed while the main window had the offscreen screen's size, which
    // held them within it; the demo's own places fit now.
    for (int i = 0; i < tw::kEditorWindowCount; ++i) {
        const tw::WindowPlacement& w = window.Context().project.windows[i];
        window.ShellPlatform().MoveEditorWindow(static_cast<tw::EditorWindow>(i),
                                                {w.x, w.y, w.width, w.height});
    }
    for (int i = 0; i < 5; ++i) QApplication::processEvents();

    const QDir docs(QString::fromLocal8Bit(argv[2]));
    bool ok = Save(&window, docs, "main_window.png");
    tw::Project& p = window.Context().project;
    const char* styles[] = {"dsp_canvas_straight.png", "dsp_canvas_curved.png",
                            "dsp_canvas_logic.png"};
    for (int32_t style = 0; style < 3; ++style) {
        p.cableStyle = style;
        ok = Save(window.DspEditor(), docs, styles[style]) && ok;
    }
    p.cableStyle = 1;
    p.guiEditMode = 0;
    ok = Save(window.GuiEditor(), docs, "gui_panel_mode.png") && ok;
    p.guiEditMode = 1;
    ok = Save(window.GuiEditor(), docs, "gui_edit_mode.png") && ok;
    p.guiEditMode = 0;

    // The Properties window showing the first Parameter of the demo.
    for (int32_t slot = 0; slot < tw::kSlotCount; ++slot) {
        if (p.slots[slot].type != tw::kTypeParameter) continue;
        p.currentSlot = slot;
        p.propertiesTarget = tw::kTargetParameter;
        break;
    }
    window.Properties()->Refresh();
    ok = Save(window.Properties(), docs, "properties_window.png") && ok;
    return ok ? 0 : 1;
}
