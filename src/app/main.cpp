// tonewright: the desktop program. The working folder is the application folder: the
// resources, skins and demo project are found below it.
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "model/text.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tw::kProductName));
    // The main window's close procedure decides when the program ends: a help window left
    // open must not keep it running, and a cancelled close must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    tw::QtPlatform platform(QDir::currentPath().toStdString());
    tw::MainWindow window(platform);
    platform.SetOwner(&window);
    platform.SetShell(&window.ShellPlatform());
    platform.SetProjectPath(
        [&window] { return std::string(tw::GetText(window.Context().project.projectPath)); });
    QObject::connect(&window, &tw::MainWindow::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.Start();
    return QApplication::exec();
}
