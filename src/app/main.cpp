#include "app/FormMain.h"
#include "app/Startup.h"
#include "app/VersionInfo.h"
#include "platform/Dialogs.h"
#include "render/ScreenRun.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // kavum-render --screen hands the mapping sheet to the window program.
    if (argc > 1 && std::strcmp(argv[1], kavum::render::ScreenRenderArgument) == 0) {
        argv[1] = argv[0];
        return kavum::render::RunScreenRender(argc - 1, argv + 1);
    }
    // --help and --version answer on the terminal, without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kavum::app::ProgramUsage().toUtf8().constData(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kavum %s\n", KAVUM_VERSION);
            return 0;
        }
    }
    kavum::app::InstallQuietPlatformMessages();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavum for Windows"));
    // The desktop entry that starts the program, for the window's icon and
    // grouping in the task bar.
    QGuiApplication::setDesktopFileName(QStringLiteral("kavum"));
    kavum::app::InstallQtTranslations();
    kavum::app::ProgramVersionText();  // read once, before any window

    kavum::platform::QtDialogs dialogs;
    const QStringList arguments = QApplication::arguments().mid(1);
    kavum::app::TFormMain window(QApplication::applicationFilePath(), arguments, dialogs);
    // Size, place, recent files and the last folder, kept beside the
    // per-user settings file (never in the settings file itself).
    window.UseWindowStateFile(QFileInfo(kavum::app::UserSettingsPath()).absolutePath() +
                              QStringLiteral("/window-state.conf"));
    window.show();
    const QString file = kavum::app::FileArgument(arguments);
    if (!file.isEmpty()) {
        QTimer::singleShot(0, &window, [&window, file] { window.RunCommand([&] { window.OpenFile(file); }); });
    }
    return QApplication::exec();
}
