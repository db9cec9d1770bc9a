#include "map/Layout.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

using namespace kavum::map;

namespace {

LayoutInput Japan(int mode, bool fitWidth) {
    LayoutInput in;
    in.showMode = mode;
    in.fitToWidth = fitWidth;
    in.clientWidth = 810;
    in.clientHeight = 559;
    in.gx1 = 128;
    in.gx2 = 146;
    in.gy1 = 30;
    in.gy2 = 46;
    in.i2k = 1.2208;
    return in;
}

void ExpectPlace(const ChartPlace& c, int left, int top, int width, int height) {
    EXPECT_TRUE(c.visible);
    EXPECT_EQ(c.left, left);
    EXPECT_EQ(c.top, top);
    EXPECT_EQ(c.width, width);
    EXPECT_EQ(c.height, height);
}

}  // namespace

TEST(Layout, ThreeView) {
    auto r = ComputeLayout(Japan(3, true));
    EXPECT_NEAR(r.mapAspect, 1.0851555, 1e-7);
    ExpectPlace(r.charts[0], 176, 155, 648, 703);
    ExpectPlace(r.charts[1], 176, 0, 648, 176);
    ExpectPlace(r.charts[2], 0, 155, 176, 703);
    auto h = ComputeLayout(Japan(3, false));
    ExpectPlace(h.charts[0], 112, 99, 412, 447);
    ExpectPlace(h.charts[1], 112, 0, 412, 112);
}

TEST(Layout, MapAloneAndProfilesAlone) {
    auto w = ComputeLayout(Japan(1, true));
    ExpectPlace(w.charts[0], 0, 0, 810, 879);
    EXPECT_FALSE(w.charts[1].visible);
    EXPECT_FALSE(w.charts[2].visible);
    ExpectPlace(ComputeLayout(Japan(1, false)).charts[0], 0, 0, 515, 559);

    auto p = ComputeLayout(Japan(2, true));
    EXPECT_FALSE(p.charts[0].visible);
    ExpectPlace(p.charts[1], 0, 0, 746, 280);
    ExpectPlace(p.charts[2], 0, 280, 810, 280);

    // An aspect of exactly 1 gives the south-north profile the full width.
    LayoutInput square = Japan(2, true);
    square.gy1 = 28;
    square.gy2 = 46;
    square.i2k = 1;
    auto s = ComputeLayout(square);
    EXPECT_EQ(s.charts[2].width, 810);
    EXPECT_EQ(s.charts[1].width, 810);
    // Below 1 the west-east profile is the full one.
    square.gy1 = 37;
    auto t = ComputeLayout(square);
    EXPECT_EQ(t.charts[1].width, 810);
    EXPECT_EQ(t.charts[2].width, 405);
}

TEST(Layout, ZeroOrReversedRangesAreRefused) {
    LayoutInput in = Japan(3, true);
    in.gx2 = in.gx1;
    EXPECT_THROW(ComputeLayout(in), kavum::platform::KavumError);
    in = Japan(1, false);
    in.gy2 = in.gy1;
    EXPECT_THROW(ComputeLayout(in), kavum::platform::KavumError);
    in = Japan(3, true);
    std::swap(in.gx1, in.gx2);
    EXPECT_THROW(ComputeLayout(in), kavum::platform::KavumError);
    in = Japan(3, true);
    in.i2k = 0;
    EXPECT_THROW(ComputeLayout(in), kavum::platform::KavumError);
}
