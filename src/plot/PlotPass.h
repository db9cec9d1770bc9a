#pragma once
// The plotting pass: reads the data text from its first line and turns every
// heading into a category and every accepted record into marks on the
// horizontal map and the two profiles.
#include "PlotReport.h"
#include "geo/MeshCode.h"

#include <array>
#include <cstddef>
#include <string>

namespace kavum::plot {

constexpr int MaxCategories = 9;

// The working text (the data editor's lines), in Shift-JIS bytes.
class PlotText {
public:
    virtual ~PlotText() = default;
    virtual std::size_t LineCount() const = 0;
    virtual std::string Line(std::size_t index) const = 0;
    virtual void ReplaceLine(std::size_t index, const std::string& text) = 0;
};

enum class View { Horizontal = 1, WestEast = 2, SouthNorth = 3 };

// Where the marks go: the category series of the three charts.
class PlotTarget {
public:
    virtual ~PlotTarget() = default;
    // Makes the three series of category k active (horizontal, south-north,
    // west-east, in that order).
    virtual void ActivateCategory(int k) = 0;
    // Applies the mark of category k to the series of the view, then stores
    // the point (x, y) in it.
    virtual void AddPoint(View view, int k, double x, double y) = 0;
};

struct PlotOptions {
    geo::PointPrecision precision = geo::PointPrecision::StandardMesh;
    bool horizonMap = true;
    bool profileMap = true;
    bool captureNames = true;
    // Re-plot mode: headings of categories above this number are captured,
    // not replaced (their names are not known yet).
    int replaceUpTo = MaxCategories;
};

// Names of categories 1..9 (index 0 unused), Shift-JIS.
using LegendNameArray = std::array<std::string, MaxCategories + 1>;

// Runs the pass. In capture mode every heading sets the legend name of its
// category; otherwise every heading line is replaced by that name. Returns
// the number of categories found (at most 9). A conversion error of a record
// line propagates; the category count reached so far is then in
// *categoryCount (when given), and points stored before it stay. The
// report (when given) gathers the notices of the lines read, the tenth
// heading and the counts of records drawn and not drawn; it is filled up to
// a failing line as well.
int PlotOnMap(PlotText& text, const PlotOptions& options, LegendNameArray& names, PlotTarget& target,
              int* categoryCount = nullptr, PlotReport* report = nullptr);

}  // namespace kavum::plot
