// The cell of angle text found exactly against the cell found through the
// angle in binary degrees: the same bits everywhere but on cell boundaries,
// where the exact cell is the one to the north or east.
#include "geo/AngleText.h"
#include "geo/MeshCode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace kavum::geo;

namespace {

const PointPrecision Meshes[] = {PointPrecision::HalfMesh, PointPrecision::StandardMesh, PointPrecision::DoubleMesh,
                                 PointPrecision::FivefoldMesh, PointPrecision::SecondMesh};

struct Comparison {
    long same = 0;
    long movedOnBoundary = 0;
};

// Compares one axis: the angle text as a latitude (with a fixed longitude)
// or as a longitude (with a fixed latitude).
void Compare(const std::string& text, PointPrecision precision, bool latitude, Comparison& c) {
    const std::string other = latitude ? "139.45317" : "35.20173";
    const std::string& latText = latitude ? text : other;
    const std::string& lonText = latitude ? other : text;
    const auto before = SnapToCell(StrToDeg(latText), StrToDeg(lonText), precision);
    ASSERT_TRUE(before);
    const ExactAngle lat = StrToTenths(latText);
    const ExactAngle lon = StrToTenths(lonText);
    const GeoPoint after = SnapTenthsToCell(lat.tenths, lon.tenths, precision);
    const long double b = latitude ? before->latitude : before->longitude;
    const long double a = latitude ? after.latitude : after.longitude;
    // The other axis never changes.
    ASSERT_EQ(latitude ? before->longitude : before->latitude, latitude ? after.longitude : after.latitude) << text;
    if (a == b) {
        ++c.same;
        return;
    }
    const PrecisionInfo* info = FindPrecision(static_cast<int>(precision));
    const long long step = 36000 / (latitude ? info->cellsPerDegreeLat : info->cellsPerDegreeLon);
    const long long tenths = latitude ? lat.tenths : lon.tenths;
    ASSERT_EQ(tenths % step, 0) << text << " moved off a boundary at precision " << static_cast<int>(precision);
    // One cell to the north or east.
    ASSERT_NEAR(static_cast<double>(a - b), static_cast<double>(step) / 36000.0, 1e-12) << text;
    ++c.movedOnBoundary;
}

}  // namespace

TEST(ExactCell, SameAsBeforeExceptOnBoundariesOverEveryFiveDigitText) {
    // Every five-digit fraction of a few degrees, as latitude and as
    // longitude, at every mesh precision: 2 x 100000 texts x 5 precisions
    // for each degree.
    for (const char* degrees : {"24", "35", "44", "66"}) {
        for (PointPrecision precision : Meshes) {
            Comparison lat;
            Comparison lon;
            char text[32];
            for (int f = 0; f < 100000; ++f) {
                std::snprintf(text, sizeof text, "%s.%05d", degrees, f);
                Compare(text, precision, true, lat);
                if (std::string(degrees) != "66") {
                    std::snprintf(text, sizeof text, "1%s.%05d", degrees, f);
                    Compare(text, precision, false, lon);
                }
                if (HasFatalFailure()) return;
            }
            // Some boundary texts did fall south or west before.
            EXPECT_GT(lat.movedOnBoundary + lon.movedOnBoundary, 0) << degrees;
            EXPECT_GT(lat.same, 90000);
        }
    }
}

TEST(ExactCell, ShortAndUnusualTextsAgreeOffBoundaries) {
    const std::vector<std::string> texts = {"35", "35.", "35.3", "35.30", "35.301", "35.3015", "35.30155",
                                            "35.301550", "35.3015599", " 35.30", "+35.30", "35.75", "35.7575",
                                            "35.5960", "35.9999", "35.59599", "35.00001", "35.00000", "035.30"};
    for (PointPrecision precision : Meshes) {
        Comparison c;
        for (const std::string& t : texts) {
            Compare(t, precision, true, c);
            Compare("1" + t.substr(t.find_first_not_of(" +0")), precision, false, c);
        }
    }
}

TEST(ExactCell, TheBoundaryGoesNorthAndEast) {
    // 141°42′00″ is the west edge of a standard cell.
    const GeoPoint p =
        SnapTenthsToCell(StrToTenths("44.2148").tenths, StrToTenths("141.4200").tenths, PointPrecision::StandardMesh);
    EXPECT_DOUBLE_EQ(static_cast<double>(p.longitude), 141.70625);
    EXPECT_DOUBLE_EQ(static_cast<double>(p.latitude), 44.0 + 21.5 / 60 + 1.0 / 240);
    // The binary path puts it in the cell to the west.
    EXPECT_DOUBLE_EQ(static_cast<double>(SnapToCell(44.36, StrToDeg("141.4200"), PointPrecision::StandardMesh)->longitude),
                     141.69375);
}

TEST(ExactCell, TenthsAndWhatTheTextLooksLike) {
    EXPECT_EQ(StrToTenths("35.3015").tenths, 35 * 36000 + 30 * 600 + 150);
    EXPECT_EQ(StrToTenths("-1.30").tenths, -36000 + 18000);   // the sign is the degrees' alone
    EXPECT_EQ(StrToTenths("35.75").tenths, 36 * 36000 + 15 * 600);
    EXPECT_TRUE(StrToTenths("138.7275").sixtyOrMore);
    EXPECT_TRUE(StrToTenths("35.3075").sixtyOrMore);          // 75 seconds
    EXPECT_FALSE(StrToTenths("35.5959").sixtyOrMore);
    EXPECT_TRUE(StrToTenths("35.360833").extraDigits);
    EXPECT_FALSE(StrToTenths("35.36083").extraDigits);
    // The errors of the angle text are StrToDeg's.
    for (const char* bad : {"", ".30", "35.3 ", "1.5.3", "35x"}) {
        std::string a;
        std::string b;
        try {
            StrToDeg(bad);
        } catch (const std::exception& e) {
            a = e.what();
        }
        try {
            StrToTenths(bad);
        } catch (const std::exception& e) {
            b = e.what();
        }
        EXPECT_FALSE(a.empty()) << bad;
        EXPECT_EQ(a, b) << bad;
    }
}

TEST(ExactCell, TheMeshArea) {
    EXPECT_TRUE(InMeshArea(0, 100 * 36000LL));
    EXPECT_FALSE(InMeshArea(-1, 130 * 36000LL));
    EXPECT_FALSE(InMeshArea(2400000, 130 * 36000LL));   // 66°40′
    EXPECT_TRUE(InMeshArea(2399999, 130 * 36000LL));
    EXPECT_FALSE(InMeshArea(35 * 36000LL, 180 * 36000LL));
    EXPECT_FALSE(InMeshArea(35 * 36000LL, 100 * 36000LL - 1));
}
