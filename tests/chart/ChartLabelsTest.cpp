// Axis labels and grid positions: the label step, the first label, the ends
// of the axis, the label limit, the hook and the minor grid.
#include "chart/Chart.h"

#include <gtest/gtest.h>

namespace kavum::chart {
namespace {

TEST(ChartLabelStep, NextStepRunsOneTwoFive) {
    EXPECT_DOUBLE_EQ(NextLabelStep(1.0 / 8), 0.2);
    EXPECT_DOUBLE_EQ(NextLabelStep(2.0 / 3), 1);
    EXPECT_DOUBLE_EQ(NextLabelStep(500), 1000);
    double s = 1;
    const double expected[] = {2, 5, 10, 20, 50, 100};
    for (double e : expected) {
        s = NextLabelStep(s);
        EXPECT_DOUBLE_EQ(s, e);
    }
    s = 2e-5;
    EXPECT_DOUBLE_EQ(NextLabelStep(s), 5e-5);
}

TEST(ChartLabelStep, GrowsUntilTheLabelsFit) {
    // 0.125 over 10 degrees on 300 pixels, labels 40 wide with 1 % room:
    // 8 labels fit, so the step grows through 0.2, 0.5 and 1 to 2.
    EXPECT_DOUBLE_EQ(LabelStep(0.125, 10, 300, 40, 1), 2);
    // Room enough: the increment stays.
    EXPECT_DOUBLE_EQ(LabelStep(2, 18, 900, 30, 10), 2);
    // No label size: one label.
    EXPECT_DOUBLE_EQ(LabelStep(1, 18, 900, 0, 10), 20);
}

TEST(ChartLabelValues, FirstLabelRoundedOrAtTheTop) {
    const std::vector<double> rounded = LabelValues(128.5, 145.5, 2, true);
    ASSERT_FALSE(rounded.empty());
    EXPECT_DOUBLE_EQ(rounded.front(), 144);
    EXPECT_DOUBLE_EQ(rounded.back(), 130);
    EXPECT_EQ(rounded.size(), 8u);
    const std::vector<double> plain = LabelValues(128.5, 145.5, 2, false);
    EXPECT_DOUBLE_EQ(plain.front(), 145.5);
    EXPECT_DOUBLE_EQ(plain.back(), 129.5);
    // The minimum itself is a label, also below zero.
    const std::vector<double> negative = LabelValues(-1000, -990, 5, true);
    ASSERT_EQ(negative.size(), 3u);
    EXPECT_DOUBLE_EQ(negative.back(), -1000);
}

TEST(ChartLabelValues, TenThousandLabelsAreTooMany) {
    EXPECT_TRUE(LabelValues(0, 10000, 1, true).empty());
    EXPECT_EQ(LabelValues(0, 9999, 1, true).size(), 10000u);
    EXPECT_TRUE(LabelValues(0, 1, 1e-300, true).empty());
    // Steps lost in the magnitude of the values end the run.
    EXPECT_LE(LabelValues(1e20, 1e20 + 1e6, 1000, true).size(), 10002u);
}

TEST(ChartAxisTicks, LabelsOnTheEndsOnlyWithLabelsOnAxis) {
    TChart chart;
    TCustomChartAxis& a = chart.BottomAxis();
    a.SetAxisRange(128, 146);
    a.SetExtent(54, 864);
    a.SetIncrement(2);
    a.SetLabelsSeparation(0);
    a.SetAxisValuesFormat(QStringLiteral("###.0"));
    a.SetLabelsOnAxis(false);
    std::vector<TAxisTick> ticks = a.CalcTicks();
    ASSERT_EQ(ticks.size(), 8u);
    EXPECT_EQ(ticks.front().text, QStringLiteral("144.0"));
    EXPECT_EQ(ticks.back().text, QStringLiteral("130.0"));
    EXPECT_EQ(ticks.back().pos, a.XValueToPixel(130));
    a.SetLabelsOnAxis(true);
    ticks = a.CalcTicks();
    ASSERT_EQ(ticks.size(), 10u);
    EXPECT_EQ(ticks.front().pos, 864);
    EXPECT_EQ(ticks.back().pos, 54);
    // Without labels the grid positions stay and no text is made.
    a.SetLabels(false);
    ticks = a.CalcTicks();
    ASSERT_EQ(ticks.size(), 10u);
    EXPECT_TRUE(ticks.front().text.isEmpty());
}

TEST(ChartAxisTicks, HookSeesEveryLabelAndMayReplaceIt) {
    TChart chart;
    TCustomChartAxis& a = chart.LeftAxis();
    a.SetAxisRange(0, 2000);
    a.SetExtent(0, 400);
    a.SetIncrement(1000);
    a.SetAxisValuesFormat(QStringLiteral("###0m"));
    QStringList seen;
    TCustomChartAxis* sender = nullptr;
    chart.OnGetAxisLabel = [&](TCustomChartAxis& axis, TChartSeries* series, int index, QString& text) {
        sender = &axis;
        EXPECT_EQ(series, nullptr);
        EXPECT_EQ(index, -1);
        seen << text;
        if (text == QStringLiteral("1000m")) text = QStringLiteral(" ");
    };
    const std::vector<TAxisTick> ticks = a.CalcTicks();
    EXPECT_EQ(sender, &a);
    // The ends for the label size, then the labels from the top down.
    EXPECT_EQ(seen, (QStringList{"0m", "2000m", "2000m", "1000m", "0m"}));
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[1].text, QStringLiteral(" "));
    EXPECT_EQ(ticks[1].pos, 200);
}

TEST(ChartMinorGrid, BetweenAndBeyondTheGridPositions) {
    // Grid at 850, 800, 750 on an axis from 700 to 900, one minor line each.
    EXPECT_EQ(MinorGridPositions({850, 800, 750}, 1, 700, 900), (std::vector<int>{825, 775, 875, 725}));
    // Thirds, rounded; continued outward with the spacing of the first pair.
    EXPECT_EQ(MinorGridPositions({100, 110}, 2, 90, 115), (std::vector<int>{103, 107, 97, 93, 113}));
    // One grid position: nothing to take a spacing from.
    EXPECT_EQ(MinorGridPositions({100}, 3, 0, 200), std::vector<int>{});
    EXPECT_EQ(MinorGridPositions({100, 110}, 0, 0, 200), std::vector<int>{});
}

}  // namespace
}  // namespace kavum::chart
