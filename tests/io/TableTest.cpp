#include "io/Table.h"

#include "data/RecordLine.h"
#include "geo/AngleText.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace kavum;
using io::TableConverter;
using io::TableOptions;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    for (std::string_view l : platform::SplitLines(text)) out.emplace_back(l);
    return out;
}

std::vector<std::string> Convert(const std::string& table, TableConverter& c, TableOptions options = {}) {
    c.Add(table, options, "t.csv");
    return Lines(c.DataText());
}

// Tenths of a second of angle text D.MMSSt, by integers.
long long Tenths(const std::string& angle) {
    const std::size_t p = angle.find('.');
    std::string d = angle.substr(p + 1);
    d.resize(5, '0');
    return std::stoll(angle.substr(0, p)) * 36000 + std::stoll(d.substr(0, 2)) * 600 + std::stoll(d.substr(2, 2)) * 10 +
           (d[4] - '0');
}

}  // namespace

TEST(RowReader, QuotingAndLineEnds) {
    const std::string text = "a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",x\rlast,\"q\"z,\"open";
    io::RowReader r(text, ',');
    ASSERT_TRUE(r.Next());
    ASSERT_EQ(r.FieldCount(), 3u);
    EXPECT_EQ(r.Fields()[1], "b,c");
    EXPECT_EQ(r.Fields()[2], "say \"hi\"");
    EXPECT_EQ(r.Line(), 1u);
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.Fields()[0], "two\nlines");
    EXPECT_EQ(r.Line(), 2u);
    ASSERT_TRUE(r.Next());   // after a lone CR
    EXPECT_EQ(r.Line(), 4u);
    ASSERT_EQ(r.FieldCount(), 3u);
    EXPECT_EQ(r.Fields()[1], "\"q\"z");    // not closed at a delimiter: as it stands
    EXPECT_EQ(r.Fields()[2], "\"open");    // never closed
    EXPECT_FALSE(r.Next());
}

TEST(TableDetection, DelimiterEncodingAndColumns) {
    EXPECT_EQ(io::DetectDelimiter("a\tb\tc,d\n1,2"), '\t');
    EXPECT_EQ(io::DetectDelimiter("a;b;c\n"), ';');
    EXPECT_EQ(io::DetectDelimiter("\"x;y\",b\n"), ',');
    io::TableEncoding found{};
    EXPECT_EQ(io::TableTextAsUtf8("\xEF\xBB\xBF緯度", io::TableEncoding::Auto, &found), "緯度");
    EXPECT_EQ(found, io::TableEncoding::Utf8);
    const std::string sjis = platform::Utf8ToCp932("種名,緯度,経度");
    EXPECT_EQ(io::TableTextAsUtf8(sjis, io::TableEncoding::Auto, &found), "種名,緯度,経度");
    EXPECT_EQ(found, io::TableEncoding::ShiftJis);

    auto c = io::FindColumns({"ID", " Latitude ", "LNG", "標高(m)", "和名"}, {});
    EXPECT_EQ(c.lat, 1);
    EXPECT_EQ(c.lon, 2);
    EXPECT_EQ(c.elev, 3);
    EXPECT_EQ(c.category, 4);
    c = io::FindColumns({"species", "scientificName", "decimalLatitude", "decimalLongitude", "elevation",
                         "minimumElevationInMeters"},
                        {});
    EXPECT_EQ(c.category, 0);
    EXPECT_EQ(c.category2, 1);
    EXPECT_EQ(c.elev, 4);
    EXPECT_EQ(c.elev2, 5);
    io::ColumnNames names;
    names.lat = "Y座標";
    names.category = "scientificName";
    c = io::FindColumns({"species", "scientificName", "Y座標"}, names);
    EXPECT_EQ(c.lat, 2);
    EXPECT_EQ(c.category, 1);
    EXPECT_EQ(c.category2, -1);
    names.lon = "nothing";
    EXPECT_THROW(io::FindColumns({"species"}, names), platform::KavumError);
}

TEST(DecimalToAngleText, TruncatesToTheTenthBelowExactly) {
    EXPECT_EQ(io::DecimalToAngleText("35.3606"), "35.21381");   // 35°21'38.16"
    EXPECT_EQ(io::DecimalToAngleText("138.7274"), "138.43386");
    EXPECT_EQ(io::DecimalToAngleText("141.7"), "141.42000");    // exact: no 141.4159
    EXPECT_EQ(io::DecimalToAngleText("35.0025"), "35.00090");
    EXPECT_EQ(io::DecimalToAngleText("35"), "35.00000");
    EXPECT_EQ(io::DecimalToAngleText("1e3"), "");
    EXPECT_EQ(io::DecimalToAngleText("abc"), "");
}

// The cell of the angle text is the cell of the decimal value at every
// precision, right at cell boundaries too (decimal values on and one unit of
// the last digit either side of each boundary).
TEST(DecimalToAngleText, KeepsTheCellAtBoundaries) {
    const int perDegree[] = {240, 160, 120, 80, 60, 40, 24, 16, 12, 8};
    for (int n : perDegree) {
        for (int k = 0; k < n; k += 7) {
            // The boundary 138 + k/n written with 9 decimals, then +-1e-9.
            const long long scaled = 138LL * 1000000000LL + (k * 1000000000LL + n - 1) / n;   // at or just above
            for (long long v : {scaled - 1, scaled, scaled + 1}) {
                char text[40];
                std::snprintf(text, sizeof text, "%lld.%09lld", v / 1000000000LL, v % 1000000000LL);
                const std::string angle = io::DecimalToAngleText(text);
                // Cell of the decimal value: floor(v * n / 1e9) exactly.
                const long long cell = static_cast<long long>((static_cast<__int128>(v) * n) / 1000000000LL);
                const long long angleCell = Tenths(angle) * n / 36000;
                EXPECT_EQ(angleCell, cell) << text << " -> " << angle << " at " << n;
            }
        }
    }
}

TEST(TableConverter, GroupsRowsAndReportsUnusable) {
    TableConverter c;
    const std::string table =
        "name,lat,lon,elevation\n"
        "富士山,35.3606,138.7274,3776\n"
        "\n"
        "北岳,35.6740,138.2390,3193\n"
        "富士山,35.3600,138.7300,\n"
        "空,,,\n"
        "数字,35.x,138.1,1\n"
        "外,35.5,95.0,1\n"
        "標高,35.5,138.5,高い\n";
    const auto lines = Convert(table, c);
    const std::vector<std::string> expected = {"富士山", "35.21381,138.43386,3776", "35.21360,138.43480", "北岳",
                                               "35.40264,138.14204,3193", "標高", "35.30000,138.30000"};
    std::vector<std::string> utf8;
    for (const auto& l : lines) utf8.push_back(platform::Cp932ToUtf8(l));
    EXPECT_EQ(utf8, expected);
    EXPECT_EQ(c.Rows(), 7u);
    EXPECT_EQ(c.Records(), 4u);
    EXPECT_EQ(c.Skipped(), 3u);
    ASSERT_EQ(c.Problems().size(), 4u);
    EXPECT_EQ(c.Problems()[0].rfind("t.csv:6: ", 0), 0u) << c.Problems()[0];
    EXPECT_EQ(c.Problems()[1].rfind("t.csv:7: ", 0), 0u);
    EXPECT_EQ(c.Problems()[2].rfind("t.csv:8: ", 0), 0u);
    EXPECT_NE(c.Problems()[3].find("標高"), std::string::npos);
    // Every record line reads back as a record, at the position given.
    const auto parsed = data::ParseRecordLine(lines[1], geo::PointPrecision::LatLon);
    ASSERT_EQ(parsed.kind, data::ParsedLine::Kind::Record);
    EXPECT_NEAR(static_cast<double>(parsed.record.Latitude), 35.3606, 0.1 / 3600);
    EXPECT_NEAR(static_cast<double>(parsed.record.Longitude), 138.7274, 0.1 / 3600);
}

TEST(TableConverter, HeadingsStayHeadingsAndMeshRowsAreUsed) {
    TableConverter c;
    const auto lines = Convert("種名;緯度;経度;メッシュ;標高\n"
                               "2005年調査;;;53394611;1250\n"
                               "a,b;35,5;139,75;;\n"
                               "🦊;;;5339;\n",
                               c);
    std::vector<std::string> utf8;
    for (const auto& l : lines) utf8.push_back(platform::Cp932ToUtf8(l));
    const std::vector<std::string> expected = {"_2005年調査", "53394611.12", "a、b", "35.30000,139.45000"};
    EXPECT_EQ(utf8, expected);
    for (const auto& l : lines) EXPECT_NE(data::ClassifyLine(l), data::ParsedLine::Kind::Empty);
    EXPECT_EQ(data::ClassifyLine(lines[0]), data::ParsedLine::Kind::Heading);
    EXPECT_EQ(c.Skipped(), 1u);   // a first-order code cannot be a record line
}

TEST(TableConverter, GbifSpeciesFallsBackToScientificName) {
    std::string header = "gbifID\tdatasetKey\toccurrenceID\tkingdom\tphylum\tclass\torder\tfamily\tgenus\tspecies\t"
                         "infraspecificEpithet\ttaxonRank\tscientificName\tverbatimScientificName\tcountryCode\tlocality\t"
                         "stateProvince\toccurrenceStatus\tindividualCount\tpublishingOrgKey\tdecimalLatitude\t"
                         "decimalLongitude\tcoordinateUncertaintyInMeters\televation\televationAccuracy\n";
    auto row = [](const char* species, const char* name, const char* lat, const char* lon, const char* elev) {
        return std::string("1\tk\to\tPlantae\tTracheophyta\tMagnoliopsida\tFagales\tFagaceae\tFagus\t") + species +
               "\t\tSPECIES\t" + name + "\tx\tJP\t\"Mt. \"Takao\tTokyo\tPRESENT\t\tp\t" + lat + "\t" + lon + "\t30\t" +
               elev + "\t\n";
    };
    const std::string table = header + row("Fagus crenata", "Fagus crenata Blume", "35.625", "139.2431", "500") +
                              row("", "Fagus Tourn. ex L.", "35.6", "139.2", "") +
                              row("Fagus crenata", "Fagus crenata Blume", "", "", "");
    TableConverter c;
    const auto lines = Convert(table, c);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Fagus crenata");
    EXPECT_EQ(lines[1], "35.37300,139.14351,500");
    EXPECT_EQ(lines[2], "Fagus Tourn. ex L.");
    EXPECT_EQ(c.Skipped(), 1u);
    EXPECT_EQ(c.Problems().size(), 1u);
    EXPECT_EQ(c.Problems()[0].rfind("t.csv:4: ", 0), 0u);
}

TEST(TableConverter, DegreesMinutesAndMissingColumns) {
    TableConverter c;
    TableOptions options;
    options.degrees = io::DegreeForm::DegreesMinutes;
    const auto lines = Convert("lat,lon\n35.2138,138.4338\n35.75,138.1\n", c, options);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "table");
    EXPECT_EQ(lines[1], "35.21380,138.43380");
    EXPECT_EQ(c.Skipped(), 1u);   // 75 minutes
    TableConverter d;
    EXPECT_THROW(d.Add("a,b\n1,2\n", {}, "x.csv"), platform::KavumError);
}

// Fields of every length met at every place of the eight-byte steps.
TEST(RowReader, FieldsOfEveryLengthAndPlace) {
    for (char delimiter : {',', '\t', ';'}) {
        std::string text;
        std::vector<std::vector<std::string>> rows;
        for (int r = 0; r < 40; ++r) {
            std::vector<std::string> row;
            for (int f = 0; f < 5; ++f) row.push_back(std::string(static_cast<std::size_t>((r * 7 + f * 3) % 19), static_cast<char>('a' + f)));
            for (std::size_t f = 0; f < row.size(); ++f) text += (f ? std::string(1, delimiter) : "") + row[f];
            text += r % 3 == 0 ? "\r\n" : r % 3 == 1 ? "\n" : "\r";
            rows.push_back(row);
        }
        io::RowReader reader(text, delimiter);
        for (const auto& row : rows) {
            ASSERT_TRUE(reader.Next());
            ASSERT_EQ(reader.FieldCount(), row.size());
            for (std::size_t f = 0; f < row.size(); ++f) EXPECT_EQ(reader.Field(f), row[f]);
        }
        EXPECT_FALSE(reader.Next());
    }
}

// A spreadsheet's exponent form of a mesh code: read when every digit is
// there, refused when the exponent made up the last digits; both reported.
TEST(TableConverter, ExponentMeshCodes) {
    TableConverter c;
    const auto lines = Convert("種名,メッシュ,標高\nブナ,5.53750131E8,1250\nブナ,5.54E+08,\nブナ,5.33946115E4,\nブナ,53394611,\n", c);
    EXPECT_EQ(lines, (std::vector<std::string>{platform::Utf8ToCp932("ブナ"), "553750131.12", "53394611"}));
    EXPECT_EQ(c.Records(), 2u);
    EXPECT_EQ(c.Skipped(), 2u);
    ASSERT_EQ(c.Problems().size(), 3u);
    EXPECT_EQ(c.Problems()[0], "t.csv:2: 指数表記のメッシュコード '5.53750131E8' を 553750131 として読みました");
    EXPECT_NE(c.Problems()[1].find("t.csv:3: 指数表記のメッシュコードで桁が欠けているか丸められている"), std::string::npos);
    EXPECT_NE(c.Problems()[2].find("t.csv:4: "), std::string::npos);
    // With a decimal comma in a semicolon table.
    TableConverter semicolon;
    EXPECT_EQ(Convert("種名;メッシュ\nブナ;5,53750131E+08\n", semicolon),
              (std::vector<std::string>{platform::Utf8ToCp932("ブナ"), "553750131"}));
}

// Elevations that are plain numbers go into the data line as they stand;
// others are read and written as numbers.
TEST(TableConverter, ElevationsKeepTheirValue) {
    TableConverter c;
    const auto lines = Convert("lat,lon,elevation\n35.5,139.5,1030.0\n35.5,139.5,-12\n35.5,139.5,0012\n35.5,139.5,+5\n35.5,139.5,.5\n", c);
    EXPECT_EQ(lines, (std::vector<std::string>{"table", "35.30000,139.30000,1030.0", "35.30000,139.30000,-12",
                                               "35.30000,139.30000,12", "35.30000,139.30000,5", "35.30000,139.30000,0.5"}));
}
