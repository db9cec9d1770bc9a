// Writes the program's icon as PNG files of the hicolor theme's sizes:
// kavum_make_icons DIR writes DIR/<N>x<N>/apps/org.kavum.Kavum.png.
#include "app/AboutBox.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: kavum_make_icons DIR\n", stderr);
        return 2;
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(dir) ||
            !kavum::app::ProgramIconPixmap(size).save(dir + QStringLiteral("/org.kavum.Kavum.png"), "PNG")) {
            std::fprintf(stderr, "cannot write the icon of %d pixels in %s\n", size, qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
