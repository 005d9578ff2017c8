// tonewright: the desktop program. Run from a build's staged folder, the working folder is
// the application folder; installed, the program finds its data in its installation and
// keeps the user's files in the user's folders (model/app_folders.h).
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/stop_signals.h"
#include "model/app_folders.h"
#include "model/text.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: tonewright [FILE.tw1]\n"
    "\n"
    "Opens the Tonewright synthesizer designer, with FILE.tw1 when one is given.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  --version      show the program's version\n"
    "\n"
    "Qt's own options (such as -platform offscreen) are accepted as well.\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s v0.%d\n", tw::kProductName, static_cast<int>(tw::kProgramVersion));
            return 0;
        }
    }

    // From here on SIGTERM and SIGINT wait for the event loop rather than end the program.
    tw::StopSignals::Install();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tw::kProductName));
    // The desktop entry is named so; it gives the windows their icon on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("tonewright"));
    // The main window's close procedure decides when the program ends: a help window left
    // open must not keep it running, and a cancelled close must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // What Qt did not take is ours: at most one project file.
    QString file;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QLatin1Char('-')) || !file.isEmpty()) {
            std::fprintf(stderr, "tonewright: unexpected argument '%s'\n%s",
                         argument.toLocal8Bit().constData(), kUsage);
            return 2;
        }
        file = QFileInfo(argument).absoluteFilePath();
    }

    const tw::AppFolders folders =
        tw::ResolveAppFolders(tw::RunningProgramPath(), QDir::currentPath().toStdString(),
                              tw::ProcessEnvironment, /*workingFolderFirst=*/false);
    tw::CopyProjectsForUser(folders);

    // Listening before any window, so that a stop while the window is being made (it may
    // show a message box then) is heard too.
    tw::StopSignals stopSignals;
    tw::MainWindow* made = nullptr;
    bool stopped = false;
    const auto endSession = [&made, &stopped] {
        stopped = true;
        if (made != nullptr) made->EndSession();
        // Every event loop ends, a message box's or a dialog's included; one that would
        // start after this returns at once.
        QCoreApplication::exit(0);
    };
    QObject::connect(&stopSignals, &tw::StopSignals::Received, &app, endSession);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, endSession);

    tw::QtPlatform platform(folders.app);
    tw::MainWindowOptions options;
    options.appFolder = folders.app;
    options.settingsFolder = folders.settings;
    options.userFolder = folders.user;
    tw::MainWindow window(platform, options);
    made = &window;
    platform.SetOwner(&window);
    platform.SetShell(&window.ShellPlatform());
    platform.SetProjectPath(
        [&window] { return std::string(tw::GetText(window.Context().project.projectPath)); });
    QObject::connect(&window, &tw::MainWindow::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (stopped) {
        window.EndSession();
        return 0;
    }
    window.Start();
    if (!file.isEmpty() && !stopped) window.OpenFile(file.toStdString());
    // A stop that came before the main loop ran would otherwise be forgotten by it.
    if (stopped) return 0;
    return QApplication::exec();
}
