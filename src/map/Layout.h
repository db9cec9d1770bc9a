#pragma once
// Geometry of the three-view figure: where the horizontal map and the two
// profiles go for each layout and fit.
#include <array>

namespace kavum::map {

struct LayoutInput {
    int showMode = 3;        // 1 map only, 2 profiles only, 3 three-view
    bool fitToWidth = true;
    int clientWidth = 0;
    int clientHeight = 0;
    double gx1 = 0, gx2 = 0, gy1 = 0, gy2 = 0;  // range in degrees
    double i2k = 0;
};

struct ChartPlace {
    bool visible = false;
    int left = 0, top = 0, width = 0, height = 0;
};

struct LayoutResult {
    double mapAspect = 0;
    std::array<ChartPlace, 3> charts;  // Chart1, Chart2, Chart3
};

// (gy2 - gy1) / (gx2 - gx1) * i2k. Throws KavumError for a zero or reversed
// range or a scale factor that is not positive: such a figure has no size.
double MapAspect(const LayoutInput& in);

// The places of the three charts. Charts that a layout does not show keep
// visible = false (their other values are then meaningless). A show mode
// outside 1..3 shows all three and places none.
LayoutResult ComputeLayout(const LayoutInput& in);

}  // namespace kavum::map
