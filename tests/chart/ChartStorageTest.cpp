// The storage of series points: values come back bit for bit whether they
// are held as floats or as doubles, and the order and the returned indices
// stay those of adding one point at a time when the storage widens midway.
#include "ChartTestUtil.h"
#include "chart/Chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace kavum::chart {
namespace {

std::uint64_t Bits(double v) {
    std::uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

double FromBits(std::uint64_t b) {
    double v = 0;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

TEST(ChartStorage, ValuesComeBackBitForBitAcrossTheWidening) {
    // Float values first (kept narrow), then values no float holds: huge,
    // tiny, a NaN whose payload a float would lose, a plain double.
    const std::vector<double> values = {
        0.0, -0.0, 1.5, 135.25f, -1e30f, std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
        // not floats:
        0.1, 1e300, -1e300, 1e-300, FromBits(0x7ff8000000000123ull), std::numeric_limits<double>::max(),
        static_cast<double>(std::numeric_limits<float>::max()) * 1.0000001};
    for (std::size_t widenAt = 0; widenAt <= values.size(); ++widenAt) {
        TChart chart;
        TLineSeries& s = chart.AddLineSeries();
        std::vector<double> added;
        for (std::size_t i = 0; i < 9; ++i) added.push_back(values[i]);
        if (widenAt < values.size()) added.insert(added.begin() + static_cast<std::ptrdiff_t>(std::min(widenAt, added.size())), values[widenAt]);
        for (std::size_t i = 9; i < values.size(); ++i) added.push_back(values[i]);
        for (std::size_t i = 0; i < added.size(); ++i) s.StorePoint(added[i], added[added.size() - 1 - i], QString(), UseSeriesColor);
        ASSERT_EQ(s.Count(), static_cast<int>(added.size()));
        for (int i = 0; i < s.Count(); ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            EXPECT_EQ(Bits(s.XValue(i)), Bits(added[k])) << widenAt << " " << i;
            EXPECT_EQ(Bits(s.YValue(i)), Bits(added[added.size() - 1 - k])) << widenAt << " " << i;
        }
    }
}

TEST(ChartStorage, OrderAndIndicesHoldWhenTheStorageWidensAmongBulkPoints) {
    // Ascending series fed with bulk points and single points, ties and
    // NaN among them; at some point a value no float holds arrives. The
    // returned indices and the final order are those of a plain sorted
    // insertion of every point.
    for (int widenRound : {0, 7, 19, 1000}) {
        TChart chart;
        TPointSeries& s = chart.AddPointSeries();
        std::vector<std::pair<double, int>> model;
        auto modelInsert = [&](double x, int n) { return test::SortedInsert(model, x, n); };
        std::mt19937 rng(11);
        std::uniform_int_distribution<int> coarse(0, 100);
        int n = 0;
        for (int round = 0; round < 30; ++round) {
            const int bulk = static_cast<int>(rng() % 200);
            for (int i = 0; i < bulk; ++i, ++n) {
                double x = coarse(rng) / 4.0;
                if (round == widenRound && i == bulk / 2) x = 3.1;  // not a float
                if (n % 301 == 17) x = std::numeric_limits<double>::quiet_NaN();
                modelInsert(x, n);
                s.AddPoint(x, n);
            }
            const int singles = static_cast<int>(rng() % 10);
            for (int i = 0; i < singles; ++i, ++n) {
                const double x = coarse(rng) / 4.0 + (round == widenRound + 1 ? 0.01 : 0.0);
                ASSERT_EQ(s.StorePoint(x, n, QString(), UseSeriesColor), modelInsert(x, n)) << widenRound << " " << n;
            }
        }
        ASSERT_EQ(s.Count(), static_cast<int>(model.size()));
        for (int i = 0; i < s.Count(); ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            ASSERT_EQ(s.YValue(i), model[k].second) << widenRound << " " << i;
            ASSERT_EQ(Bits(s.XValue(i)), Bits(model[k].first)) << widenRound << " " << i;
        }
    }
}

TEST(ChartStorage, ColoursAndLabelsFollowTheirPointsThroughTheWidening) {
    TChart chart;
    TPointSeries& s = chart.AddPointSeries();
    s.AddPoint(4, 40);
    s.AddPoint(2, 20, 0x0000ff);
    EXPECT_EQ(s.StorePoint(3, 30, "c", UseSeriesColor), 1);
    EXPECT_EQ(s.StorePoint(2.2, 22, "d", 0x00ff00), 1);  // 2.2 is no float
    s.AddPoint(1, 10);
    ASSERT_EQ(s.Count(), 5);
    const double ys[] = {10, 20, 22, 30, 40};
    const TColor colors[] = {UseSeriesColor, 0x0000ff, 0x00ff00, UseSeriesColor, UseSeriesColor};
    const char* labels[] = {"", "", "d", "c", ""};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.YValue(i), ys[i]) << i;
        EXPECT_EQ(s.ValueColor(i), colors[i]) << i;
        EXPECT_EQ(s.Label(i), QString::fromUtf8(labels[i])) << i;
    }
    EXPECT_EQ(s.XValue(2), 2.2);
}

}  // namespace
}  // namespace kavum::chart

namespace kavum::chart {
namespace {

TEST(ChartStorage, ManyBulkPointsSortAsAStableSortByX) {
    // Enough points for the sort of float points by their bits; both zeros,
    // infinities, NaN, subnormals and many ties, against a stable sort.
    const float specials[] = {0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::min(), 1.0f, -1.0f};
    std::mt19937 rng(21);
    for (int shape = 0; shape < 4; ++shape) {
        TChart chart;
        TPointSeries& s = chart.AddPointSeries();
        std::vector<std::pair<double, int>> model;
        const int count = 20000 + shape * 1111;
        for (int n = 0; n < count; ++n) {
            float x = 0;
            switch (shape) {
                case 0: x = static_cast<float>(static_cast<int>(rng() % 2001) - 1000) / 8.0f; break;  // ties
                case 1: x = specials[rng() % std::size(specials)]; break;
                case 2: {
                    std::uint32_t bits = static_cast<std::uint32_t>(rng());
                    std::memcpy(&x, &bits, sizeof x);  // any float, NaN payloads included
                    break;
                }
                default: x = n < 10000 ? static_cast<float>(n) : static_cast<float>(rng() % 10000); break;
            }
            model.push_back({static_cast<double>(x), n});
            s.AddPoint(static_cast<double>(x), n);
        }
        std::stable_sort(model.begin(), model.end(), [](const std::pair<double, int>& a, const std::pair<double, int>& b) {
            return std::isnan(b.first) ? !std::isnan(a.first) : a.first < b.first;
        });
        ASSERT_EQ(s.Count(), count);
        for (int i = 0; i < count; ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            ASSERT_EQ(s.YValue(i), model[k].second) << shape << " " << i;
            ASSERT_EQ(Bits(s.XValue(i)), Bits(model[k].first)) << shape << " " << i;
        }
    }
}

}  // namespace
}  // namespace kavum::chart
