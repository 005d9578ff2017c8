// tw_program_icons OUTDIR: the program's icon for the desktop's icon theme, drawn by the
// same code as the window icon: OUTDIR/<side>x<side>/apps/tonewright.png for each size.
#include "app/toolbar_icons.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tw_program_icons OUTDIR\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QIcon icon = tw::ProgramIcon();
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(side);
        const QPixmap picture = icon.pixmap(QSize(side, side));
        if (!QDir().mkpath(folder) || picture.width() != side ||
            !picture.save(folder + QStringLiteral("/tonewright.png"))) {
            std::fprintf(stderr, "tw_program_icons: cannot write the %dx%d icon\n", side, side);
            return 1;
        }
    }
    return 0;
}
