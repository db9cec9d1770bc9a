// The chart model: value-to-pixel mapping, ranges, the order of points, the
// two refused settings and the repaint rule.
#include "ChartTestUtil.h"
#include "chart/Chart.h"
#include "platform/Errors.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace kavum::chart {
namespace {

TEST(ChartMapping, HorizontalAxisExamples) {
    TChart chart;
    TCustomChartAxis& a = chart.BottomAxis();
    a.SetAxisRange(128, 146);
    a.SetExtent(0, 900);
    EXPECT_EQ(a.XValueToPixel(137), 450);
    EXPECT_EQ(a.XValueToPixel(128), 0);
    a.SetInverted(true);
    EXPECT_EQ(a.XValueToPixel(128), 900);
    EXPECT_EQ(a.XValueToPixel(146), 0);
}

TEST(ChartMapping, VerticalAxisExamples) {
    TChart chart;
    TCustomChartAxis& a = chart.LeftAxis();
    a.SetAxisRange(0, 3800);
    a.SetExtent(0, 380);
    EXPECT_EQ(a.YValueToPixel(1000), 280);
    a.SetInverted(true);
    EXPECT_EQ(a.YValueToPixel(1000), 100);
}

TEST(ChartMapping, RoundsHalfToEven) {
    TChart chart;
    TCustomChartAxis& a = chart.BottomAxis();
    a.SetAxisRange(0, 10);
    a.SetExtent(0, 5);
    EXPECT_EQ(a.XValueToPixel(1), 0);  // 0.5
    EXPECT_EQ(a.XValueToPixel(3), 2);  // 1.5
    EXPECT_EQ(a.XValueToPixel(5), 2);  // 2.5
}

TEST(ChartMapping, ZeroRangeAndFarValuesGoToTheMiddle) {
    TChart chart;
    TCustomChartAxis& a = chart.BottomAxis();
    a.SetMinimum(5);
    a.SetMaximum(5);
    a.SetExtent(100, 301);
    EXPECT_EQ(a.XValueToPixel(-1e9), 200);
    a.SetAxisRange(0, 1);
    for (double v : {1e300, -1e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(a.XValueToPixel(v), 200) << v;
        long long rounded = 0;
        double exact = 0;
        EXPECT_FALSE(a.PixelForDrawing(v, rounded, exact)) << v;
    }
}

TEST(ChartMapping, PixelToValueInvertsTheMapping) {
    TChart chart;
    TCustomChartAxis& x = chart.BottomAxis();
    x.SetAxisRange(128, 146);
    x.SetExtent(50, 950);
    EXPECT_DOUBLE_EQ(x.PixelToValue(500), 137);
    EXPECT_DOUBLE_EQ(x.PixelToValue(1400), 155);  // not limited to the range
    x.SetInverted(true);
    EXPECT_DOUBLE_EQ(x.PixelToValue(950), 128);
    TCustomChartAxis& y = chart.LeftAxis();
    y.SetAxisRange(0, 3800);
    y.SetExtent(0, 380);
    EXPECT_DOUBLE_EQ(y.PixelToValue(280), 1000);
    y.SetInverted(true);
    EXPECT_DOUBLE_EQ(y.PixelToValue(100), 1000);
    y.SetExtent(10, 10);
    EXPECT_EQ(y.PixelToValue(10), 0);

    TPointSeries& s = chart.AddPointSeries();
    x.SetInverted(false);
    EXPECT_DOUBLE_EQ(s.XPixelToValue(500), 137);
}

TEST(ChartAxisRange, SwapsAndWidens) {
    TChart chart;
    TCustomChartAxis& a = chart.BottomAxis();
    a.SetAutomatic(true);
    a.SetAxisRange(146, 128);
    EXPECT_EQ(a.Minimum(), 128);
    EXPECT_EQ(a.Maximum(), 146);
    EXPECT_FALSE(a.Automatic());
    a.SetAxisRange(5, 5);
    EXPECT_EQ(a.Minimum(), 5);
    EXPECT_EQ(a.Maximum(), 5 + 1e-10);
}

TEST(ChartErrors, NegativeIncrementIsRefused) {
    TChart chart;
    TCustomChartAxis& a = chart.BottomAxis();
    a.SetIncrement(2);
    try {
        a.SetIncrement(-1);
        FAIL() << "no error";
    } catch (const platform::KavumError& e) {
        EXPECT_STREQ(e.what(), "軸の増加単位は 0 以上でなければなりません");
    }
    EXPECT_THROW(a.SetIncrement(std::numeric_limits<double>::quiet_NaN()), platform::KavumError);
    EXPECT_EQ(a.Increment(), 2);
    a.SetIncrement(0);
    EXPECT_EQ(a.Increment(), 0);
}

TEST(ChartErrors, PointerSizeBelowOneIsRefused) {
    TChart chart;
    TPointSeries& s = chart.AddPointSeries();
    s.Pointer().SetHorizSize(3);
    s.Pointer().SetVertSize(5);
    try {
        s.Pointer().SetHorizSize(0);
        FAIL() << "no error";
    } catch (const platform::KavumError& e) {
        EXPECT_STREQ(e.what(), "ポインタの大きさは 1 以上でなければなりません");
    }
    EXPECT_THROW(s.Pointer().SetVertSize(-4), platform::KavumError);
    EXPECT_EQ(s.Pointer().HorizSize(), 3);
    EXPECT_EQ(s.Pointer().VertSize(), 5);
}

TEST(ChartRepaint, OnlyChangesMarkTheChart) {
    TChart chart;
    TPointSeries& s = chart.AddPointSeries();
    chart.BottomAxis().SetAxisRange(0, 10);
    s.Pointer().SetStyle(psCircle);
    // A drawing clears the mark.
    chart.resize(100, 100);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    chart.Repaint();
    ASSERT_FALSE(chart.NeedsRepaint());
    chart.BottomAxis().SetAxisRange(0, 10);
    s.Pointer().SetStyle(psCircle);
    s.SetActive(true);
    chart.BottomAxis().Grid().SetColor(chart.BottomAxis().Grid().Color());
    EXPECT_FALSE(chart.NeedsRepaint());
    s.StorePoint(1, 1, QString(), UseSeriesColor);
    EXPECT_TRUE(chart.NeedsRepaint());
    chart.Repaint();
    s.Pointer().SetHorizSize(7);
    EXPECT_TRUE(chart.NeedsRepaint());
}

TEST(ChartSeriesOrder, AscendingKeepsAddingOrderOnTies) {
    TChart chart;
    TPointSeries& s = chart.AddPointSeries();
    EXPECT_EQ(s.StorePoint(3, 30, "a", UseSeriesColor), 0);
    EXPECT_EQ(s.StorePoint(1, 10, "b", UseSeriesColor), 0);
    EXPECT_EQ(s.StorePoint(2, 20, "c", UseSeriesColor), 1);
    EXPECT_EQ(s.StorePoint(2, 21, "d", UseSeriesColor), 2);
    EXPECT_EQ(s.StorePoint(1, 11, "e", UseSeriesColor), 1);
    ASSERT_EQ(s.Count(), 5);
    const double xs[] = {1, 1, 2, 2, 3};
    const double ys[] = {10, 11, 20, 21, 30};
    const char* labels[] = {"b", "e", "c", "d", "a"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.XValue(i), xs[i]);
        EXPECT_EQ(s.YValue(i), ys[i]);
        EXPECT_EQ(s.Label(i), QString::fromLatin1(labels[i]));
    }
}

TEST(ChartSeriesOrder, ReturnedIndexIsThePlaceTheOrderGives) {
    // Against a plain sorted insertion, with many ties and NaNs.
    TChart chart;
    TPointSeries& s = chart.AddPointSeries();
    std::vector<std::pair<double, int>> model;  // (x, adding number)
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> coarse(0, 300);
    for (int n = 0; n < 5000; ++n) {
        double x = coarse(rng) / 10.0;
        if (n % 997 == 5) x = std::numeric_limits<double>::quiet_NaN();
        if (n < 600) x = n;  // a long stretch in order first
        auto at = std::upper_bound(model.begin(), model.end(), x, [](double v, const std::pair<double, int>& e) {
            return std::isnan(e.first) ? !std::isnan(v) : v < e.first;
        });
        const int expected = static_cast<int>(at - model.begin());
        model.insert(at, {x, n});
        ASSERT_EQ(s.StorePoint(x, n, QString(), UseSeriesColor), expected) << n;
        if (n % 1000 == 999) {
            ASSERT_EQ(s.YValue(expected), n);  // reading in between
        }
    }
    for (int i = 0; i < s.Count(); ++i) ASSERT_EQ(s.YValue(i), model[static_cast<std::size_t>(i)].second);
}

TEST(ChartSeriesOrder, PointsAddedInBulkTakeTheOrderOfSinglePoints) {
    // Runs of AddPoint (in order, out of order, ties) between StorePoint
    // calls, against a plain sorted insertion: the returned indices and the
    // final order are those of adding every point with StorePoint.
    TChart chart;
    TPointSeries& s = chart.AddPointSeries();
    std::vector<std::pair<double, int>> model;  // (x, adding number)
    auto modelInsert = [&](double x, int n) { return test::SortedInsert(model, x, n); };
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> coarse(0, 200);
    int n = 0;
    for (int round = 0; round < 40; ++round) {
        const int bulk = static_cast<int>(rng() % 300);
        const bool ordered = round % 3 == 0;
        for (int i = 0; i < bulk; ++i, ++n) {
            double x = ordered ? 1000.0 + n : coarse(rng) / 10.0;
            if (n % 401 == 7) x = std::numeric_limits<double>::quiet_NaN();
            modelInsert(x, n);
            s.AddPoint(x, n);
        }
        const int singles = static_cast<int>(rng() % 20);
        for (int i = 0; i < singles; ++i, ++n) {
            const double x = round % 4 == 1 ? 5000.0 + n : coarse(rng) / 10.0;
            const int expected = modelInsert(x, n);
            ASSERT_EQ(s.StorePoint(x, n, QString(), UseSeriesColor), expected) << n;
        }
        if (round % 7 == 3) {
            ASSERT_EQ(s.YValue(0), model.front().second);  // reading in between
        }
    }
    ASSERT_EQ(s.Count(), static_cast<int>(model.size()));
    for (int i = 0; i < s.Count(); ++i) {
        ASSERT_EQ(s.YValue(i), model[static_cast<std::size_t>(i)].second) << i;
        EXPECT_EQ(s.ValueColor(i), UseSeriesColor);
        EXPECT_TRUE(s.Label(i).isEmpty());
    }
}

TEST(ChartSeriesOrder, LineSeriesKeepsAddingOrderAndNulls) {
    TChart chart;
    TLineSeries& s = chart.AddLineSeries();
    EXPECT_EQ(s.StorePoint(5, 1, QString(), platform::clBlack), 0);
    EXPECT_EQ(s.AddNullPoint(QString()), 1);
    EXPECT_EQ(s.StorePoint(1, 2, QString(), platform::clRed), 2);
    EXPECT_EQ(s.XValue(0), 5);
    EXPECT_TRUE(s.IsNull(1));
    EXPECT_EQ(s.ValueColor(1), clNone);
    EXPECT_EQ(s.ValueColor(2), platform::clRed);
}

TEST(ChartSeries, ClearingReservesTheDefaultCapacity) {
    TChart chart;
    chart.SetSeriesDefaultCapacity(64000);
    TLineSeries& s = chart.AddLineSeries();
    for (int i = 0; i < 10; ++i) s.StorePoint(i, i, QString(), UseSeriesColor);
    s.ClearPoints();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_GE(s.Points().capacity(), 64000u);
    const auto* data = s.Points().data();
    for (int i = 0; i < 64000; ++i) s.StorePoint(i, i, QString(), UseSeriesColor);
    EXPECT_EQ(s.Points().data(), data);
}

TEST(ChartSeries, AssignPointerCopiesTheMark) {
    TChart chart;
    TPointSeries& a = chart.AddPointSeries();
    TPointSeries& b = chart.AddPointSeries();
    a.Pointer().SetStyle(psDiamond);
    a.Pointer().SetHorizSize(6);
    a.Pointer().SetVertSize(7);
    a.Pointer().Brush().SetColor(0x123456);
    a.Pointer().Pen().SetColor(0x654321);
    a.Pointer().Pen().SetWidth(2);
    a.Pointer().Pen().SetVisible(false);
    a.Pointer().SetVisible(false);
    a.Pointer().SetDraw3D(false);
    b.AssignPointer(a.Pointer());
    EXPECT_EQ(b.Pointer().Style(), psDiamond);
    EXPECT_EQ(b.Pointer().HorizSize(), 6);
    EXPECT_EQ(b.Pointer().VertSize(), 7);
    EXPECT_EQ(b.Pointer().Brush().Color(), 0x123456u);
    EXPECT_EQ(b.Pointer().Pen().Color(), 0x654321u);
    EXPECT_EQ(b.Pointer().Pen().Width(), 2);
    EXPECT_FALSE(b.Pointer().Pen().Visible());
    EXPECT_FALSE(b.Pointer().Visible());
    EXPECT_FALSE(b.Pointer().Draw3D());
}

}  // namespace
}  // namespace kavum::chart
