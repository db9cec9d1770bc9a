#include "Composite.h"

#include "platform/Numbers.h"

#include <QFileInfo>
#include <algorithm>

namespace kavum::exporting {

using platform::RoundHalfEven;

TwoProfilePicture TwoProfileGeometry(double r) {
    int a = 800;
    int b = 800;
    if (r < 1) {
        b = RoundHalfEven(800 * r);
    } else {
        a = RoundHalfEven(800 / r);
    }
    TwoProfilePicture p;
    p.size = QSize(std::max(a, b), 600);
    p.westEast = {0, 0, a - 1, 299};
    p.southNorth = {0, 299, b - 1, 599};
    return p;
}

TwoProfilePicture ClipboardTwoProfileGeometry() {
    TwoProfilePicture p;
    p.size = QSize(1200, 1600);
    p.westEast = {0, 0, 1199, 799};
    p.southNorth = {0, 800, 1199, 1599};
    return p;
}

ThreeViewPicture ThreeViewGeometry(double mapAspect, int legendLeft, int legendTop) {
    const int w = 800;
    const int h = RoundHalfEven(800 * mapAspect);
    const int p = h < w ? RoundHalfEven(w / 4.0) : RoundHalfEven(h / 4.0);
    const int t = (2 * h) / 100;
    ThreeViewPicture v;
    v.size = QSize(w + p, h + p);
    v.southNorth = {0, p, p, h + p};
    v.map = {p, p, w + p, h + p};
    v.westEast = {p, t, w + p, t + p};
    v.legendLeft = p + RoundHalfEven(legendLeft * 1000.0 / 800.0);
    v.legendTop = p + RoundHalfEven(legendTop * 1000.0 / 800.0);
    return v;
}

QString ProposedFigureName(const QString& grdFileName, int showMode, const QString& extension) {
    const QString base = grdFileName.isEmpty() ? QString() : QFileInfo(grdFileName).completeBaseName();
    QString suffix;
    switch (showMode) {
    case 1: suffix = QStringLiteral("-H"); break;
    case 2: suffix = QStringLiteral("-V"); break;
    case 3: suffix = QStringLiteral("-3D"); break;
    default: return base;
    }
    return base + suffix + QLatin1Char('.') + extension;
}

}  // namespace kavum::exporting
