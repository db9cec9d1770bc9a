#include "AboutBox.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

namespace kavum::app {

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // Three views: a profile strip on top, one at the left, the map below right.
    p.setPen(QPen(QColor(0, 0, 128), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9.5, 0.5, 22, 8));
    p.drawRect(QRectF(0.5, 9.5, 8, 22));
    p.drawRect(QRectF(9.5, 9.5, 22, 22));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 128, 0));
    QPainterPath land;
    land.moveTo(13, 29);
    land.cubicTo(15, 22, 20, 22, 22, 17);
    land.cubicTo(24, 13, 28, 12, 30, 11);
    land.lineTo(30, 14);
    land.cubicTo(27, 17, 25, 22, 19, 26);
    land.closeSubpath();
    p.drawPath(land);
    p.drawPolygon(QPolygonF({{10, 8}, {16, 4}, {20, 6}, {24, 2}, {31, 8}}));
    p.drawPolygon(QPolygonF({{8, 11}, {4, 16}, {6, 20}, {2, 25}, {8, 31}}));
    p.setBrush(QColor(255, 0, 0));
    p.drawEllipse(QPointF(22, 18), 1.8, 1.8);
    return pixmap;
}

TAboutBox::TAboutBox(const QString& versionText, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral(" バージョン情報"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(345, 133);
    setModal(true);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(17, 17, 35, 35);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(ProgramIconPixmap(64));

    ProductName = new QLabel(QStringLiteral("Kavum, 3-d Distribution Map"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->move(81, 16);

    Version = new QLabel(this);
    Version->setObjectName(QStringLiteral("Version"));
    Version->move(119, 43);

    Notice1 = new QLabel(QStringLiteral("地図の出典：地球地図日本（国土地理院）"), this);
    Notice1->setObjectName(QStringLiteral("Notice1"));
    Notice1->move(42, 71);

    Notice2 = new QLabel(QStringLiteral("Linux / Qt 版"), this);
    Notice2->setObjectName(QStringLiteral("Notice2"));
    Notice2->move(94, 99);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(272, 97, 55, 27);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate(versionText);
    for (QLabel* label : {ProductName, Version, Notice1, Notice2}) label->adjustSize();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAboutBox::FormCreate(const QString& versionText) { Version->setText(QStringLiteral("Version ") + versionText); }

}  // namespace kavum::app
