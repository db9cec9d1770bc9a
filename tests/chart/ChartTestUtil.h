#pragma once
// Helpers shared by the chart tests: a demonstration chart, pixel probes and
// a walk over the records of a metafile.
#include "chart/Chart.h"
#include "platform/canvas/Color.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace kavum::chart::test {

using platform::TColor;

// The colour of an image pixel as 0x00BBGGRR.
inline TColor PixelAt(const QImage& image, int x, int y) {
    return platform::FromQColor(QColor::fromRgb(image.pixel(x, y)));
}

// A chart with labels, grids, a map-like line with breaks in mask mode and
// one point series for each of the nine pointer styles.
void BuildDemoChart(TChart& chart);

struct EmfRecord {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const char* data = nullptr;
};
// The records in order; empty when the bytes do not walk cleanly.
std::vector<EmfRecord> EmfRecords(const QByteArray& emf);
// The records point into the bytes: a temporary would leave them dangling.
std::vector<EmfRecord> EmfRecords(QByteArray&&) = delete;

// Runs a program; returns its exit code (-1 when it cannot be started).
int RunProgram(const QString& program, const QStringList& arguments, QString* output = nullptr);

// Inserts (x, n) into entries kept in ascending x (NaN last), after every
// equal x, as a series adds a single point; the index it takes.
int SortedInsert(std::vector<std::pair<double, int>>& entries, double x, int n);

}  // namespace kavum::chart::test
