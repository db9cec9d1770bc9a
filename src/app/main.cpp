#include "FormMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavum for Windows"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kavum for Windows"));
    kavum::app::TFormMain window;
    window.show();
    return QApplication::exec();
}
