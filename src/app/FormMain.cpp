#include "FormMain.h"

#include <QGuiApplication>
#include <QScreen>

namespace kavum::app {

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral(" Kavum for Windows"));
    resize(818, 629);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(818 / 2, 629 / 2));
    }
}

}  // namespace kavum::app
