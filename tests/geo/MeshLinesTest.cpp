#include "geo/MeshLines.h"

#include <gtest/gtest.h>

using namespace kavum::geo;

namespace {

// The settings an axis ends with after applying every change in order.
AxisGridSettings Final(const std::vector<AxisGridChange>& plan, int chart, AxisId axis) {
    AxisGridSettings s;
    for (const AxisGridChange& c : plan) {
        if (c.chart != chart || c.axis != axis) continue;
        const AxisGridSettings& n = c.settings;
        if (n.axisVisible) s.axisVisible = n.axisVisible;
        if (n.axisWidth) s.axisWidth = n.axisWidth;
        if (n.gridColor) s.gridColor = n.gridColor;
        if (n.gridVisible) s.gridVisible = n.gridVisible;
        if (n.minorColor) s.minorColor = n.minorColor;
        if (n.minorSmallDots) s.minorSmallDots = n.minorSmallDots;
        if (n.minorVisible) s.minorVisible = n.minorVisible;
        if (n.labelsOnAxis) s.labelsOnAxis = n.labelsOnAxis;
        if (n.increment) s.increment = n.increment;
        if (n.minorTickCount) s.minorTickCount = n.minorTickCount;
    }
    return s;
}

GridInput Input(MeshLineKind kind, int mode, double lonRange, double latRange, double gh2) {
    GridInput in;
    in.meshSize = static_cast<int>(kind);
    in.showMode = mode;
    in.gx1 = 130;
    in.gx2 = 130 + lonRange;
    in.gy1 = 33;
    in.gy2 = 33 + latRange;
    in.gh2 = gh2;
    in.meshColor = 0xFFFF00;
    return in;
}

}  // namespace

TEST(MeshLines, NoneHidesEveryGrid) {
    auto plan = PlanMeshGrid(Input(MeshLineKind::MeshLineNone, 3, 18, 16, 3800));
    for (auto [chart, axis] : {std::pair{1, AxisId::Bottom}, {1, AxisId::Left}, {2, AxisId::Bottom},
                               {2, AxisId::Left}, {3, AxisId::Right}, {3, AxisId::Bottom}}) {
        auto s = Final(plan, chart, axis);
        EXPECT_EQ(s.gridVisible, false);
        EXPECT_EQ(s.minorVisible, false);
        EXPECT_FALSE(s.increment.has_value());
    }
    EXPECT_EQ(Final(plan, 3, AxisId::Right).gridColor, 0xFFFF00u);
    // Chart3 is not touched in the map-only layout.
    auto mapOnly = PlanMeshGrid(Input(MeshLineKind::MeshLineFirst, 1, 18, 16, 3800));
    for (const auto& c : mapOnly) EXPECT_NE(c.chart, 3);
}

TEST(MeshLines, SecondOrderLargeAndFineRanges) {
    auto large = PlanMeshGrid(Input(MeshLineKind::MeshLineSecond, 3, 18, 16, 3800));
    auto s = Final(large, 1, AxisId::Bottom);
    EXPECT_DOUBLE_EQ(*s.increment, 1);
    EXPECT_EQ(s.minorTickCount, 7);
    EXPECT_EQ(s.minorVisible, true);
    EXPECT_DOUBLE_EQ(*Final(large, 1, AxisId::Left).increment, 2.0 / 3.0);
    // Exactly 1.4 degrees of latitude and 2 of longitude are not large.
    auto fine = PlanMeshGrid(Input(MeshLineKind::MeshLineSecond, 3, 2, 1.4, 3800));
    EXPECT_DOUBLE_EQ(*Final(fine, 1, AxisId::Bottom).increment, 1.0 / 8);
    EXPECT_EQ(Final(fine, 1, AxisId::Bottom).minorVisible, false);
    EXPECT_DOUBLE_EQ(*Final(fine, 2, AxisId::Bottom).increment, 1.0 / 8);
    // Three-view: the fine latitude axis keeps its minor lines and count.
    auto lat3 = Final(fine, 3, AxisId::Right);
    EXPECT_DOUBLE_EQ(*lat3.increment, 1.0 / 12);
    EXPECT_EQ(lat3.minorVisible, true);
    EXPECT_FALSE(lat3.minorTickCount.has_value());
    // Profiles only: the latitude axis is the bottom one, minor off.
    auto fine2 = PlanMeshGrid(Input(MeshLineKind::MeshLineSecond, 2, 2, 1.4, 3800));
    EXPECT_EQ(Final(fine2, 3, AxisId::Bottom).minorVisible, false);
    EXPECT_EQ(Final(fine2, 3, AxisId::Bottom).axisWidth, 2);
    // Large longitude only: the map keeps fine lines, the west-east profile coarse ones.
    auto mixed = PlanMeshGrid(Input(MeshLineKind::MeshLineSecond, 3, 18, 1, 3800));
    EXPECT_DOUBLE_EQ(*Final(mixed, 1, AxisId::Bottom).increment, 1.0 / 8);
    EXPECT_DOUBLE_EQ(*Final(mixed, 2, AxisId::Bottom).increment, 1);
}

TEST(MeshLines, ElevationAxes) {
    auto high = PlanMeshGrid(Input(MeshLineKind::MeshLineFirst, 3, 18, 16, 2001));
    EXPECT_DOUBLE_EQ(*Final(high, 2, AxisId::Left).increment, 1000);
    EXPECT_EQ(Final(high, 2, AxisId::Left).minorTickCount, 1);
    EXPECT_EQ(Final(high, 2, AxisId::Left).minorVisible, true);
    EXPECT_DOUBLE_EQ(*Final(high, 3, AxisId::Bottom).increment, 1000);
    auto low = PlanMeshGrid(Input(MeshLineKind::MeshLineFirst, 3, 18, 16, 2000));
    EXPECT_DOUBLE_EQ(*Final(low, 2, AxisId::Left).increment, 500);
    EXPECT_EQ(Final(low, 2, AxisId::Left).minorVisible, false);
    EXPECT_EQ(Final(low, 3, AxisId::Bottom).minorVisible, false);
    auto standard = PlanMeshGrid(Input(MeshLineKind::MeshLineStandard, 2, 1, 1, 3800));
    EXPECT_DOUBLE_EQ(*Final(standard, 3, AxisId::Left).increment, 500);
    EXPECT_EQ(Final(standard, 3, AxisId::Left).minorTickCount, 4);
    EXPECT_DOUBLE_EQ(*Final(standard, 1, AxisId::Left).increment, 1.0 / 12);
    EXPECT_EQ(Final(standard, 1, AxisId::Left).minorTickCount, 9);
    EXPECT_EQ(Final(standard, 1, AxisId::Left).minorVisible, true);  // from the preparation
}
