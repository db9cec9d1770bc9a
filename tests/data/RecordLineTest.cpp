#include "data/RecordLine.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

using namespace kavum::data;
using kavum::geo::PointPrecision;
using kavum::platform::ConversionError;
using kavum::platform::Utf8ToCp932;
using Kind = ParsedLine::Kind;

namespace {

ParsedLine Parse(const std::string& utf8, PointPrecision p = PointPrecision::StandardMesh) {
    return ParseRecordLine(Utf8ToCp932(utf8), p);
}

std::string Error(const std::string& utf8, PointPrecision p = PointPrecision::StandardMesh) {
    try {
        Parse(utf8, p);
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "no error";
}

void ExpectRecord(const ParsedLine& r, double lat, double lon, double elev) {
    ASSERT_EQ(r.kind, Kind::Record);
    EXPECT_NEAR(static_cast<double>(r.record.Latitude), lat, 1e-6);
    EXPECT_NEAR(static_cast<double>(r.record.Longitude), lon, 1e-6);
    EXPECT_DOUBLE_EQ(static_cast<double>(r.record.Elevation), elev);
}

}  // namespace

TEST(RecordLine, ExampleFile) {
    EXPECT_EQ(Parse("; 2005年調査").kind, Kind::Empty);
    auto h = Parse("ブナ");
    ASSERT_EQ(h.kind, Kind::Heading);
    EXPECT_EQ(h.name, Utf8ToCp932("ブナ"));
    ExpectRecord(Parse("53394611.12"), 35.679167, 139.76875, 1250);
    ExpectRecord(Parse("533946114 ; 半メッシュ"), 35.679167, 139.76875, NoElevation);
    ExpectRecord(Parse("35.40205,139.4610,850"), 35.670833, 139.76875, 850);
    EXPECT_EQ(Parse("5339462").kind, Kind::Rejected);
    EXPECT_EQ(Parse("").kind, Kind::Empty);
}

TEST(RecordLine, HeadingsKeepBlanksAndLoseComments) {
    auto h = Parse("Mark1 ;comment");
    ASSERT_EQ(h.kind, Kind::Heading);
    EXPECT_EQ(h.name, "Mark1 ");
    EXPECT_EQ(Parse("12345").kind, Kind::Heading);       // five digits, no comma
    EXPECT_EQ(Parse("2005").kind, Kind::Heading);
    EXPECT_EQ(Parse("ab").kind, Kind::Heading);
    // A name that begins with digits and has 6 bytes or more is a mesh-code line.
    // (the piece is half of a double-byte character, shown as "?")
    EXPECT_EQ(Error("2005年調査"), "'?' is not a valid floating point value");
    // A name with a comma is a latitude/longitude line.
    EXPECT_EQ(Error("ブナ,ミズナラ"), "'ブナ' is not a valid integer value");
}

TEST(RecordLine, MeshCodeLines) {
    // A leading blank is skipped and the code read by position.
    ExpectRecord(Parse(" 53394611"), 35.679167, 139.76875, NoElevation);
    // The N after the sixth byte.
    ExpectRecord(Parse("533946N11"), 35.679167, 139.76875, NoElevation);
    EXPECT_EQ(Error("53394N611"), "'N' is not a valid floating point value");
    EXPECT_EQ(Error("533946xN11"), "'x' is not a valid floating point value");
    // Elevation codes: one or two digits of hundreds, a third ignored.
    ExpectRecord(Parse("53394611.5"), 35.679167, 139.76875, 550);
    ExpectRecord(Parse("53394611.05"), 35.679167, 139.76875, 550);
    ExpectRecord(Parse("53394611.123"), 35.679167, 139.76875, 1250);
    ExpectRecord(Parse("53394611.-1"), 35.679167, 139.76875, -50);
    EXPECT_EQ(Error("53394611."), "'' is not a valid integer value");
    EXPECT_EQ(Error("53394611.x"), "'x' is not a valid integer value");
    // Too coarse for the precision: not accepted, no error.
    EXPECT_EQ(Parse("533946").kind, Kind::Rejected);
    EXPECT_EQ(Parse("533946", PointPrecision::SecondMesh).kind, Kind::Record);
}

TEST(RecordLine, TheNRuleCountsALeadingBlank) {
    // The N is removed before the blank is skipped: at byte 7 of the line
    // after a digit it goes, so " 53394N611" is " 53394611".
    ExpectRecord(Parse(" 53394N611"), 35.679167, 139.76875, NoElevation);
    ExpectRecord(Parse(" 53394N611.12"), 35.679167, 139.76875, 1250);
    // At byte 6 of the line it stays, blank or not.
    EXPECT_EQ(Error(" 5339N4611"), "'N' is not a valid floating point value");
    // Only the first N counts.
    EXPECT_EQ(Error(" 5339N4N611"), "'N' is not a valid floating point value");
}

TEST(RecordLine, HexadecimalFormsAreNotNumbersInData) {
    // Elevation codes and angle text are decimal only.
    EXPECT_EQ(Error("53394611.$8"), "'$8' is not a valid integer value");
    EXPECT_EQ(Error("53394611.0x8B"), "'0x' is not a valid integer value");
    EXPECT_EQ(Error("$8B.30,139.46"), "'$8B' is not a valid integer value");
    EXPECT_EQ(Error("0x8B.30,139.46"), "'0x8B' is not a valid integer value");
    EXPECT_EQ(Error("35.$8,139.46"), "'$8' is not a valid integer value");
    EXPECT_EQ(Error("35.40,-$8B.30"), "'-$8B' is not a valid integer value");
    EXPECT_EQ(Error("35.40,139.46,$8B"), "'$8B' is not a valid floating point value");
    EXPECT_EQ(Error("35.40,139.46,0x8B"), "'0x8B' is not a valid floating point value");
}

TEST(RecordLine, LatitudeLongitudeLines) {
    // Banded elevation except at the lat/long precision.
    ExpectRecord(Parse("35.40205,139.4610,1234"), 35.670833, 139.76875, 1250);
    auto exact = Parse("35.40205,139.4610,1234", PointPrecision::LatLon);
    ExpectRecord(exact, 35.0 + 40.0 / 60 + 205.0 / 36000, 139.0 + 46.0 / 60 + 100.0 / 36000, 1234);
    ExpectRecord(Parse("35.40205,139.4610,-30"), 35.670833, 139.76875, 50);
    ExpectRecord(Parse("35.40205,139.4610"), 35.670833, 139.76875, NoElevation);
    // Four fields, an empty elevation: the elevation does not convert.
    EXPECT_EQ(Error("35.40,139.46,100,5"), "'100,5' is not a valid floating point value");
    EXPECT_EQ(Error("35.40,139.46,"), "'' is not a valid floating point value");
    // A longitude of fewer than 3 bytes before a second comma is not used.
    EXPECT_EQ(Parse("35.40,13,100").kind, Kind::Rejected);
    EXPECT_EQ(Error("99999999999.0,139.00"), "'99999999999' is not a valid integer value");
}
