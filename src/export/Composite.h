#pragma once
// Picture sizes and chart rectangles of the exported figures.
#include <QRect>
#include <QSize>
#include <QString>

namespace kavum::exporting {

// A rectangle as (left, top, right, bottom) in picture pixels.
struct Box {
    int left, top, right, bottom;
    bool operator==(const Box&) const = default;
};

struct TwoProfilePicture {
    QSize size;
    Box westEast;     // Chart2
    Box southNorth;   // Chart3
};
TwoProfilePicture TwoProfileGeometry(double mapAspect);
// The clipboard's two-profile picture: fixed 1200 x 1600.
TwoProfilePicture ClipboardTwoProfileGeometry();

struct ThreeViewPicture {
    QSize size;
    Box southNorth;   // Chart3, drawn first
    Box map;          // Chart1
    Box westEast;     // Chart2, drawn last
    int legendLeft;   // where the legend goes inside the picture
    int legendTop;
};
ThreeViewPicture ThreeViewGeometry(double mapAspect, int legendLeft, int legendTop);

// "Noname-3D.emf" and so on from the data file name and the show mode; the
// bare suffix without a data file name, no suffix in show mode 0.
QString ProposedFigureName(const QString& grdFileName, int showMode, const QString& extension = QStringLiteral("emf"));

}  // namespace kavum::exporting
