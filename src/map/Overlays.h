#pragma once
// What the chart hooks write over the figure: axis label texts, the degree
// labels of the three-view figure and the legend box geometry.
#include <QRect>
#include <QString>
#include <vector>

namespace kavum::map {

// The half-width degree sign (Shift-JIS 0xDF).
inline const QChar DegreeSign(0xFF9F);

// The axis label hook: in the layouts that show axis labels (1 for the map,
// 2 for the profiles) whole degrees read "130ﾟ", other degree labels blank,
// elevation labels ("...m") unchanged. chart is 1, 2 or 3.
QString AxisLabelText(int showMode, int chart, const QString& text);

struct DegreeLabel {
    double value;   // degrees
    QString text;   // "130ﾟ", or "35ﾟ10'" on ranges narrower than a degree
};

// Labels along the longitude (isLatitude false) or latitude axis of the
// three-view figure. Whole degrees with the count, step, first value and
// odd rule of the figure; a range too narrow for whole degrees gets minute
// labels at a step that gives at most six of them.
std::vector<DegreeLabel> DegreeLabels(double low, double high, bool isLatitude);

struct LegendGeometry {
    QRect box;   // right and bottom exclusive
    // Per category 1..count: mark centre and name origin.
    std::vector<QPoint> markCentres;
    std::vector<QPoint> nameOrigins;
};
// At a scale every length of the box (but the text width, measured in the
// scaled font) is scale times the one at scale 1, from the scaled corner
// (left, top).
LegendGeometry LegendLayout(int left, int top, int textWidth, int count, double scale = 1.0);

// The elevation texts of the three-view profiles.
struct ElevationLabel {
    double value;   // metres: where the label goes on the elevation axis
    QString text;
    int shift;      // pixels added to the value's pixel on the elevation axis
};
// West-east profile: the unit "   m" above the top, every thousand metres,
// "   0" at the bottom and " 500" on a range up to 1000 m (rows).
std::vector<ElevationLabel> WestEastElevationLabels(double gh1, double gh2);
// South-north profile under its reversed axis: the top thousand with "m",
// "0", and " 500m" on a range up to 1000 m (columns).
std::vector<ElevationLabel> SouthNorthElevationLabels(double gh2);

}  // namespace kavum::map
