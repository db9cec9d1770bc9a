#include "app/FormMain.h"
#include "app/Startup.h"
#include "app/VersionInfo.h"
#include "platform/Dialogs.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavum for Windows"));
    // The desktop entry that starts the program, for the window's icon and
    // grouping in the task bar.
    QGuiApplication::setDesktopFileName(QStringLiteral("kavum"));
    kavum::app::InstallQtTranslations();
    kavum::app::ProgramVersionText();  // read once, before any window

    kavum::platform::QtDialogs dialogs;
    kavum::app::TFormMain window(QApplication::applicationFilePath(), QApplication::arguments().mid(1), dialogs);
    window.show();
    return QApplication::exec();
}
