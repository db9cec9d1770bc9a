#pragma once
// Helpers of the figure tests: a chart like the window's, metafile records
// read back, pixels of images, and outside programs.
#include "chart/Chart.h"
#include "export/Figure.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace kavum::exporting::test {

// A chart with labels, grid lines of small dots, a line series with a
// break, marks of every shape, and an after-draw hook that draws a framed
// label at (*legendLeft, *legendTop) of the canvas.
void BuildChart(chart::TChart& chart, int* legendLeft, int* legendTop, const QString& label);

// Three charts as the window has them, and the legend position their
// hooks draw at.
struct Charts {
    int legendLeft = 50;
    int legendTop = 40;
    chart::TChart map, westEast, southNorth;
    Charts() {
        BuildChart(map, &legendLeft, &legendTop, QStringLiteral("地図"));
        BuildChart(westEast, &legendLeft, &legendTop, QStringLiteral("東西"));
        BuildChart(southNorth, &legendLeft, &legendTop, QStringLiteral("南北"));
    }
    FigureCharts All() { return FigureCharts{&map, &westEast, &southNorth}; }
    LegendPosition Legend() { return LegendPosition{&legendLeft, &legendTop}; }
};

// One metafile record as read back.
struct Record {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const char* data = nullptr;
    std::uint32_t U32(int offset) const;
    std::int32_t I32(int offset) const { return static_cast<std::int32_t>(U32(offset)); }
    std::int16_t I16(int offset) const;
};
// The records in order; empty when they do not walk the bytes exactly.
std::vector<Record> Records(const QByteArray& emf);

// The polygons of a POLYGON16 or POLYPOLYGON16 record.
std::vector<std::vector<QPoint>> Polygons(const Record& r);
// The rectangle of a polygon of four corners upright, (left, top, right,
// bottom) as given; an invalid one otherwise.
QRect BoxOf(const std::vector<QPoint>& polygon);

// Pixels whose centres lie inside a polygon (even-odd), as a device fills it.
std::vector<QPoint> PixelsInside(const std::vector<QPoint>& polygon);

// Runs a program; its exit code, or -1 when it does not start.
int RunProgram(const QString& program, const QStringList& arguments, QByteArray* output = nullptr);
bool HaveProgram(const QString& program);

QByteArray ReadFile(const QString& path);

// Inflates the zlib stream at data (size bytes at the most) and appends what
// it gives to out, up to its end or the first error; the last result of
// inflate (Z_STREAM_END when the stream ended cleanly), or none when zlib
// could not start.
std::optional<int> Inflate(const char* data, qsizetype size, QByteArray& out);

// Pixels whose colours differ by more than the tolerance in a channel.
int Differences(const QImage& a, const QImage& b, int tolerance = 8);

// Writes a settings file naming the bundled map and sample data into the
// folder; its path.
QString BundledSettings(const QString& folder);

}  // namespace kavum::exporting::test
