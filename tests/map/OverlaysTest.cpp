#include "map/Overlays.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kavum::map;

namespace {
QString Deg(int d) { return QString::number(d) + DegreeSign; }

std::vector<double> Values(const std::vector<DegreeLabel>& labels) {
    std::vector<double> v;
    for (const auto& l : labels) v.push_back(l.value);
    return v;
}
}  // namespace

TEST(Overlays, AxisLabelHook) {
    EXPECT_EQ(AxisLabelText(1, 1, "30.0"), Deg(30));
    EXPECT_EQ(AxisLabelText(1, 1, "30.7"), " ");
    EXPECT_EQ(AxisLabelText(1, 1, "31.3"), " ");
    EXPECT_EQ(AxisLabelText(1, 1, "130.0"), Deg(130));
    EXPECT_EQ(AxisLabelText(2, 2, "1000m"), "1000m");
    EXPECT_EQ(AxisLabelText(2, 3, "35.0"), Deg(35));
    // Other layouts leave the text alone.
    EXPECT_EQ(AxisLabelText(3, 1, "30.0"), "30.0");
    EXPECT_EQ(AxisLabelText(2, 1, "30.0"), "30.0");
    EXPECT_EQ(AxisLabelText(1, 2, "30.0"), "30.0");
}

TEST(Overlays, ThreeViewDegreeLabels) {
    EXPECT_EQ(Values(DegreeLabels(128, 146, false)), (std::vector<double>{128, 131, 134, 137, 140, 143, 146}));
    EXPECT_EQ(Values(DegreeLabels(30, 46, true)), (std::vector<double>{30, 32, 34, 36, 38, 40, 42, 44, 46}));
    EXPECT_EQ(DegreeLabels(30, 46, true)[0].text, Deg(30));
    EXPECT_EQ(Values(DegreeLabels(128.5, 146, false)).front(), 130);
    EXPECT_EQ(Values(DegreeLabels(33, 35, true)), (std::vector<double>{33, 34, 35}));
    // Narrower than a degree: minute labels that end.
    auto narrow = DegreeLabels(139.5, 139.9, false);
    ASSERT_FALSE(narrow.empty());
    EXPECT_LE(narrow.size(), 6u);
    EXPECT_EQ(narrow.front().text, Deg(139) + "30'");
    EXPECT_TRUE(DegreeLabels(35.0, 35.0, true).empty());
    // Ranges no map has end at once.
    EXPECT_TRUE(DegreeLabels(-1e300, 1e300, false).empty());
    EXPECT_TRUE(DegreeLabels(0, std::numeric_limits<double>::infinity(), true).empty());
}

TEST(Overlays, LegendBox) {
    auto none = LegendLayout(50, 50, 0, 0);
    EXPECT_EQ(none.box, QRect(50, 50, 70, 25));
    auto three = LegendLayout(50, 50, 40, 3);
    EXPECT_EQ(three.box.bottom() + 1, 135);
    EXPECT_EQ(three.box.right() + 1, 160);
    EXPECT_EQ(three.markCentres[2], QPoint(70, 110));
    EXPECT_EQ(three.nameOrigins[0], QPoint(90, 62));
}

TEST(Overlays, ElevationLabels) {
    auto low = WestEastElevationLabels(0, 800);
    ASSERT_EQ(low.size(), 3u);
    EXPECT_EQ(low[0].text, "   m");
    EXPECT_EQ(low[1].text, "   0");
    EXPECT_EQ(low[2].text, " 500");
    auto high = WestEastElevationLabels(0, 3800);
    ASSERT_EQ(high.size(), 5u);
    EXPECT_EQ(high[3].text, "3000");
    auto sn = SouthNorthElevationLabels(800);
    EXPECT_EQ(sn[0].text, "0m");
    EXPECT_EQ(sn[2].text, " 500m");
    EXPECT_EQ(SouthNorthElevationLabels(3800)[0].text, "3000m");
    EXPECT_EQ(SouthNorthElevationLabels(3800).size(), 2u);
    // Rows of the west-east column: the unit under the top, the rest above their value.
    EXPECT_EQ(low[0].shift, 4);
    EXPECT_EQ(low[1].shift, -6);
    EXPECT_EQ(high[1].value, 1000);
    // Columns under the reversed south-north axis.
    EXPECT_EQ(sn[0].shift, -16);
    EXPECT_EQ(sn[1].shift, -2);
    EXPECT_EQ(sn[2].shift, -16);
    EXPECT_LE(WestEastElevationLabels(0, 1e300).size(), 1002u);   // bounded, not endless
}
