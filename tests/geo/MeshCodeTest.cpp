#include "geo/MeshCode.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

using namespace kavum::geo;
using kavum::platform::ConversionError;

namespace {

constexpr double Tol = 1e-12;

void ExpectPoint(std::string_view code, PointPrecision p, long double lat, long double lon) {
    auto r = MeshCodeToPoint(code, p);
    ASSERT_TRUE(r.has_value()) << code << " at " << static_cast<int>(p);
    EXPECT_NEAR(static_cast<double>(r->latitude), static_cast<double>(lat), Tol) << code;
    EXPECT_NEAR(static_cast<double>(r->longitude), static_cast<double>(lon), Tol) << code;
}

void ExpectRejected(std::string_view code, PointPrecision p) {
    EXPECT_FALSE(MeshCodeToPoint(code, p).has_value()) << code << " at " << static_cast<int>(p);
}

constexpr long double Lat2 = 53 * 2.0L / 3 + 4.0L / 12;  // second-order corner of 533946
constexpr long double Lon2 = 139 + 6.0L / 8;

}  // namespace

TEST(MeshCode, WorkedExamples) {
    using P = PointPrecision;
    ExpectPoint("53394611", P::StandardMesh, 35.0L + 40.0L / 60 + 1.0L / 120 + 1.0L / 240, 139.76875L);
    ExpectPoint("53394611", P::SecondMesh, Lat2 + 1.0L / 24, Lon2 + 1.0L / 16);
    ExpectPoint("53394611", P::FivefoldMesh, 35.6875L, 139.78125L);
    ExpectPoint("53394611", P::DoubleMesh, 35.675L, 139.7625L);
    ExpectPoint("53394611", P::LatLon, Lat2, Lon2);
    ExpectRejected("53394611", P::HalfMesh);
    ExpectPoint("533946114", P::HalfMesh, 35.68125L, 139.771875L);
    ExpectPoint("5339462", P::FivefoldMesh, 35.6875L, 139.84375L);
    ExpectPoint("533946245", P::DoubleMesh, Lat2 + 2.0L / 120 + 1.0L / 120, 139.8125L);
    ExpectRejected("533946245", P::StandardMesh);
    auto centre = MeshCodeToPoint("53394611", P::StandardMesh);
    EXPECT_NEAR(static_cast<double>(centre->latitude), 35.679167, 1e-6);
}

// Every row of the acceptance table: codes of each kind at each precision.
TEST(MeshCode, AcceptanceTable) {
    using P = PointPrecision;
    const P order[] = {P::HalfMesh, P::StandardMesh, P::DoubleMesh, P::FivefoldMesh, P::SecondMesh, P::LatLon};
    struct Row {
        const char* code;
        const char* accepted;  // one letter per precision in the order above: y or n
    } rows[] = {
        {"53394", "nnnnnn"},     {"533946", "nnnnyy"},    {"5339461", "nnnyyy"},
        {"53394611", "nyyyyy"},  {"533946111", "yyyyyy"}, {"533946115", "nnyyyy"},
    };
    for (const Row& row : rows) {
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(MeshCodeToPoint(row.code, order[i]).has_value(), row.accepted[i] == 'y')
                << row.code << " at " << static_cast<int>(order[i]);
        }
    }
    // A double code at the fivefold precision is read like a standard code: 4 and 5.
    ExpectPoint("533946455", P::FivefoldMesh, Lat2 + 1.0L / 48, Lon2 + 1.0L / 16 + 1.0L / 32);
}

TEST(MeshCode, NinthAndLaterDigits) {
    using P = PointPrecision;
    // Only a 9-digit code is taken for a double code; a 10-digit one is read by position.
    ExpectPoint("5339461150", P::StandardMesh, Lat2 + 1.0L / 120 + 1.0L / 240, Lon2 + 1.0L / 80 + 1.0L / 160);
    // Half-mesh quadrants: 1 SW, 2 SE, 3 NW, 4 NE; other characters count as SW.
    const long double lat0 = Lat2 + 1.0L / 120 + 1.0L / 480;
    const long double lon0 = Lon2 + 1.0L / 80 + 1.0L / 320;
    ExpectPoint("533946111", P::HalfMesh, lat0, lon0);
    ExpectPoint("533946112", P::HalfMesh, lat0, lon0 + 1.0L / 160);
    ExpectPoint("533946113", P::HalfMesh, lat0 + 1.0L / 240, lon0);
    ExpectPoint("533946114", P::HalfMesh, lat0 + 1.0L / 240, lon0 + 1.0L / 160);
    ExpectPoint("533946117", P::HalfMesh, lat0, lon0);
    // Fivefold codes: 7th digit is the quadrant; 1 and anything but 2, 3, 4 are SW.
    ExpectPoint("5339461", P::FivefoldMesh, Lat2 + 1.0L / 48, Lon2 + 1.0L / 32);
    ExpectPoint("5339469", P::FivefoldMesh, Lat2 + 1.0L / 48, Lon2 + 1.0L / 32);
    ExpectPoint("5339463", P::FivefoldMesh, Lat2 + 1.0L / 24 + 1.0L / 48, Lon2 + 1.0L / 32);
    // Standard digits 0-1 fall in double row 0, 2-3 in row 1, ... 8-9 in row 4.
    ExpectPoint("53394699", P::DoubleMesh, Lat2 + 4.0L / 60 + 1.0L / 120, Lon2 + 4.0L / 40 + 1.0L / 80);
}

TEST(MeshCode, BadDigitsRaiseConversionErrors) {
    auto message = [](std::string_view code, PointPrecision p) {
        try {
            MeshCodeToPoint(code, p);
        } catch (const ConversionError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("5a3946", PointPrecision::SecondMesh), "'5a' is not a valid floating point value");
    EXPECT_EQ(message("5339x611", PointPrecision::StandardMesh), "'x' is not a valid floating point value");
    EXPECT_EQ(message("533946a1", PointPrecision::HalfMesh), "no error");  // 8 digits: rejected first
    EXPECT_EQ(message("533946a11", PointPrecision::HalfMesh), "'a' is not a valid floating point value");
    EXPECT_EQ(message("533946a1", PointPrecision::DoubleMesh), "'a' is not a valid integer value");
    EXPECT_EQ(message("533946ab", PointPrecision::FivefoldMesh), "no error");
    EXPECT_EQ(message("533946", PointPrecision::StandardMesh), "no error");
}

TEST(MeshCode, SnapToCell) {
    using P = PointPrecision;
    auto r = SnapToCell(35.672361L, 139.769444L, P::StandardMesh);
    ASSERT_TRUE(r);
    EXPECT_NEAR(static_cast<double>(r->latitude), 35.670833, 1e-6);
    EXPECT_NEAR(static_cast<double>(r->longitude), 139.76875, 1e-12);
    EXPECT_EQ(PointToMeshCode(static_cast<double>(r->latitude), static_cast<double>(r->longitude)), "53394601");

    auto same = SnapToCell(35.123456789L, 139.987654321L, P::LatLon);
    EXPECT_EQ(same->latitude, 35.123456789L);
    EXPECT_EQ(same->longitude, 139.987654321L);

    // A point on a boundary belongs to the cell to its north and east.
    auto edge = SnapToCell(35.5L, 139.25L, P::SecondMesh);
    EXPECT_NEAR(static_cast<double>(edge->latitude), 35.5 + 1.0 / 24, 1e-12);
    EXPECT_NEAR(static_cast<double>(edge->longitude), 139.25 + 1.0 / 16, 1e-12);

    // Snapping agrees with the mesh code of the same cell at every precision.
    for (P p : {P::StandardMesh, P::DoubleMesh, P::FivefoldMesh, P::SecondMesh}) {
        auto s = SnapToCell(35.679167L, 139.76875L, p);
        auto m = MeshCodeToPoint("53394611", p);
        ASSERT_TRUE(s && m);
        EXPECT_NEAR(static_cast<double>(s->latitude), static_cast<double>(m->latitude), 1e-12);
        EXPECT_NEAR(static_cast<double>(s->longitude), static_cast<double>(m->longitude), 1e-12);
    }
    auto h = SnapToCell(35.68125L, 139.771875L, P::HalfMesh);
    EXPECT_NEAR(static_cast<double>(h->latitude), 35.68125, 1e-12);
    EXPECT_NEAR(static_cast<double>(h->longitude), 139.771875, 1e-12);

    EXPECT_FALSE(SnapToCell(1e30L, 139.0L, P::StandardMesh));
    EXPECT_FALSE(SnapToCell(NAN, 139.0L, P::StandardMesh));
}

TEST(MeshCode, PointToMeshCode) {
    EXPECT_EQ(PointToMeshCode(35.679167, 139.76875), "53394611");
    EXPECT_EQ(PointToMeshCode(43.0621, 141.3544), "64414278");     // Sapporo
    EXPECT_EQ(PointToMeshCode(26.2124, 127.6809), "39272554");     // Naha
}

TEST(MeshCode, Tables) {
    EXPECT_EQ(Precisions().size(), 6u);
    const PrecisionInfo* half = FindPrecision(12);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->HalfCellLat(), 1.0L / 480);
    EXPECT_EQ(half->HalfCellLon(), 1.0L / 320);
    EXPECT_STREQ(FindPrecision(1)->statusLabel, "３次");
    EXPECT_STREQ(FindPrecision(0)->statusLabel, "・");
    EXPECT_EQ(FindPrecision(3), nullptr);
    EXPECT_STREQ(FindMeshLineKind(3)->boardCaption, "基準");
    EXPECT_EQ(FindMeshLineKind(4), nullptr);
}

TEST(MeshCode, StandardCodesAreExactForEveryDigitTriple) {
    // Every first-order pair with every second- and third-order digit, on
    // both axes at once, against the conversion written out step by step in
    // extended precision; the results must agree to the bit.
    for (int pair = 0; pair < 100; ++pair) {
        for (int second = 0; second < 10; ++second) {
            for (int third = 0; third < 10; ++third) {
                const int other = (pair * 37 + 11) % 100;
                char code[9];
                std::snprintf(code, sizeof code, "%02d%02d%d%d%d%d", pair, other, second, 9 - second, third,
                              9 - third);
                long double lat = static_cast<long double>(pair) * 2.0L / 3.0L;
                lat += static_cast<long double>(second) / 12.0L;
                lat += static_cast<long double>(third) / 120.0L + 1.0L / 240.0L;
                long double lon = static_cast<long double>(other) + 100.0L;
                lon += static_cast<long double>(9 - second) / 8.0L;
                lon += static_cast<long double>(9 - third) / 80.0L + 1.0L / 160.0L;
                const auto r = MeshCodeToPoint(code, PointPrecision::StandardMesh);
                ASSERT_TRUE(r.has_value()) << code;
                ASSERT_EQ(r->latitude, lat) << code;
                ASSERT_EQ(r->longitude, lon) << code;
                // A ninth digit other than 5 and any later text change nothing.
                const std::string longer = std::string(code) + "3;x";
                const auto s = MeshCodeToPoint(longer, PointPrecision::StandardMesh);
                ASSERT_TRUE(s.has_value()) << longer;
                ASSERT_EQ(s->latitude, lat);
                ASSERT_EQ(s->longitude, lon);
            }
        }
    }
    EXPECT_FALSE(MeshCodeToPoint("533946115", PointPrecision::StandardMesh).has_value());
    EXPECT_TRUE(MeshCodeToPoint("5339461150", PointPrecision::StandardMesh).has_value());
}
