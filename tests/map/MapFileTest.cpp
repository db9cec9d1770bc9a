#include "map/MapFile.h"
#include "platform/Errors.h"
#include "platform/Numbers.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace kavum::map;

namespace {

// Records what the reader hands over, one text token per entry.
class Recorder : public MapLineSink {
public:
    void AddPoint(MapSeries s, double x, double y, std::uint32_t colour) override {
        std::ostringstream o;
        o.precision(10);
        o << Name(s) << "(" << x << "," << y << ")";
        if (colour != 0) o << "#" << colour;
        entries.push_back(o.str());
    }
    void AddBreak(MapSeries s) override { entries.push_back(Name(s) + "|"); }
    void SetPen(MapSeries s, LinePenMode m, std::optional<int> w) override {
        entries.push_back(Name(s) + (m == LinePenMode::Mask ? " mask" : " copy") +
                          (w ? " w" + std::to_string(*w) : std::string()));
    }
    std::string Joined() const {
        std::string r;
        for (const auto& e : entries) r += (r.empty() ? "" : " ") + e;
        return r;
    }
    static std::string Name(MapSeries s) { return s == MapSeries::H0 ? "H" : s == MapSeries::W0 ? "W" : "S"; }
    std::vector<std::string> entries;
};

std::string Read(const std::string& text, MapReadOptions o = {}) {
    Recorder r;
    ReadMapData(text, o, r);
    return r.Joined();
}

}  // namespace

TEST(MapFile, ProfileStaircase) {
    EXPECT_EQ(Read("*WE-PROF\n130,100\n131,500\n132,200\n"),
              "W copy W(130,100) W(131,100) W(131,500) W(132,500) W(132,200)");
    // A comment keeps the level; a 0 line ends the outline.
    EXPECT_EQ(Read("*WE-PROF\n130,100\n131,500\n;\n132,200\n"),
              "W copy W(130,100) W(131,100) W(131,500) W| W(132,500) W(132,200)");
    EXPECT_EQ(Read("*WE-PROF\n130,100\n131,500\n0,0\n132,200\n"),
              "W copy W(130,100) W(131,100) W(131,500) W| W(132,200)");
    // The south-north outline is turned only when the map is drawn too.
    EXPECT_EQ(Read("*SN-PROF\n35,1200\n"), "S copy S(1200,35)");
    MapReadOptions profilesOnly;
    profilesOnly.horizonMap = false;
    EXPECT_EQ(Read("*SN-PROF\n35,1200\n", profilesOnly), "S copy S(35,1200)");
    // A negative previous level suppresses the step.
    EXPECT_EQ(Read("*WE-PROF\n130,-5\n131,500\n"), "W copy W(130,-5) W(131,500)");
}

TEST(MapFile, PolylinesBreaksAndColours) {
    MapReadOptions o;
    o.prefecture = true;
    o.mapColor = 1;
    o.subColor = 2;
    o.lineWidth = 2;
    EXPECT_EQ(Read(";top comment\r\n*H-MAP\r\n139.75,35.6812345\r\n0,35.5\r\n140,36\r\n;\r\n*G-MAP\r\n141,37\r\n*END\r\n", o),
              "H mask w2 H(139.75,35.68123)#1 H| H(140,36)#1 H| H mask w2 H(141,37)#2");
    // Without prefecture lines the section is passed over and sets nothing.
    o.prefecture = false;
    EXPECT_EQ(Read("*H-MAP\n139,35\n*G-MAP\n141,37\n142,38\n*WE-PROF\n130,10\n", o),
              "H mask w2 H(139,35)#1 W copy W(130,10)#1");
    // A comma-less line repeats the pair; before any pair it adds nothing.
    EXPECT_EQ(Read("*H-MAP\nxx\n139,35\nyy\n"), "H mask w1 H(139,35) H(139,35)");
    // Empty lines are skipped; a lone CR inside a line is dropped.
    EXPECT_EQ(Read("*H-MAP\n\n13\r9,35\n\n"), "H mask w1 H(139,35)");
    // Two comment lines in a row: the second is read as a comma-less data line.
    EXPECT_EQ(Read("*H-MAP\n139,35\n;\n;\n"), "H mask w1 H(139,35) H| H(139,35)");
}

TEST(MapFile, MarkerOrderAndSwitches) {
    // Boundaries before coastlines: the coastline marker is lost.
    MapReadOptions o;
    o.prefecture = true;
    EXPECT_EQ(Read("*G-MAP\n141,37\n*H-MAP\n139,35\n", o), "H mask w1 H(141,37)");
    // Markers are exact and case-sensitive; any "*" line ends a section.
    EXPECT_EQ(Read("*H-MAP \n139,35\n*h-map\n140,36\n"), "");
    EXPECT_EQ(Read("*H-MAP\n139,35\n*junk\n140,36\n"), "H mask w1 H(139,35)");
    // Without profiles, sections after the boundaries are ignored.
    MapReadOptions mapOnly;
    mapOnly.profileMap = false;
    EXPECT_EQ(Read("*H-MAP\n139,35\n*WE-PROF\n130,10\n*END\n*H-MAP\n140,36\n", mapOnly),
              "H mask w1 H(139,35) H mask w1 H(140,36)");
    // "*END" stops the reading when profiles are read.
    EXPECT_EQ(Read("*WE-PROF\n130,10\n*END\n*H-MAP\n140,36\n"), "W copy W(130,10)");
    // Division lines switch the profile series to mask mode; "*SN-LINE" is never turned.
    EXPECT_EQ(Read("*WE-PROF\n130,10\n*WE-LINE\n130,500\n*SN-LINE\n1000,35\n"),
              "W copy W(130,10) W mask w1 W(130,500) S mask w1 S(1000,35)");
    EXPECT_EQ(Read(""), "");
}

TEST(MapFile, EightCharacterSecondFieldAndErrors) {
    EXPECT_EQ(Read("*H-MAP\n139.75,35.123456\n"), "H mask w1 H(139.75,35.12345)");
    auto message = [](const std::string& text) {
        Recorder r;
        try {
            ReadMapData(text, {}, r);
        } catch (const kavum::platform::ConversionError& e) {
            return std::string(e.what()) + " after " + std::to_string(r.entries.size());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("*H-MAP\n139,35\n139,35,100\n"), "'35,100' is not a valid floating point value after 2");
    EXPECT_EQ(message("*H-MAP\n1x9,35\n"), "'1x9' is not a valid floating point value after 1");
    // A third column beyond the eighth character is ignored.
    EXPECT_EQ(Read("*H-MAP\n139,35.12345,100\n"), "H mask w1 H(139,35.12345)");
}

TEST(MapFile, NumbersReadAsTheGeneralConversionReadsThem) {
    // Plain decimals take a shorter road than other number forms; both must
    // give the same doubles, to the last bit.
    std::mt19937_64 rng(16);
    std::vector<std::string> firsts = {"139.75", "-0.5", "0.1", "35.00005", "139.99999", "7", "-12",
                                       "123456789012345678", "1234567890.12345678", "0.000000000000000001",
                                       "1e2", " 139.5", "+139.5", "139.5 ", "00139.50"};
    std::vector<std::string> seconds = {"35.68123", "0.3", "45.99995", "-1.25", "1000", "2.5E1", " 35.5"};
    for (int n = 0; n < 3000; ++n) {
        const int intDigits = 1 + static_cast<int>(rng() % 4);
        const int fracDigits = static_cast<int>(rng() % 15);
        std::string t = rng() % 5 == 0 ? "-" : "";
        for (int i = 0; i < intDigits; ++i) t += static_cast<char>('0' + rng() % 10);
        if (fracDigits > 0) t += '.';
        for (int i = 0; i < fracDigits; ++i) t += static_cast<char>('0' + rng() % 10);
        (n % 2 ? firsts : seconds).push_back(t);
    }
    struct Points : MapLineSink {
        std::vector<double> xs, ys;
        void AddPoint(MapSeries, double x, double y, std::uint32_t) override {
            xs.push_back(x);
            ys.push_back(y);
        }
        void AddBreak(MapSeries) override {
            xs.push_back(0);
            ys.push_back(0);
        }
        void SetPen(MapSeries, LinePenMode, std::optional<int>) override {}
    } points;
    std::string text = "*H-MAP\r\n";
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i < firsts.size(); ++i) {
        const std::string& b = seconds[i % seconds.size()];
        pairs.emplace_back(firsts[i], b.substr(0, 8));
        text += firsts[i] + "," + b + "\r\n";
    }
    ReadMapData(text, {}, points);
    ASSERT_EQ(points.xs.size(), pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const double a = kavum::platform::StrToFloat(pairs[i].first);
        if (a == 0) continue;  // a break
        EXPECT_EQ(std::bit_cast<std::uint64_t>(points.xs[i]), std::bit_cast<std::uint64_t>(a)) << pairs[i].first;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(points.ys[i]),
                  std::bit_cast<std::uint64_t>(kavum::platform::StrToFloat(pairs[i].second)))
            << pairs[i].second;
    }
}

TEST(MapFile, BundledMapsRead) {
    struct Counter : MapLineSink {
        std::size_t points[3] = {0, 0, 0};
        std::size_t breaks = 0;
        void AddPoint(MapSeries s, double, double, std::uint32_t) override { ++points[static_cast<int>(s)]; }
        void AddBreak(MapSeries) override { ++breaks; }
        void SetPen(MapSeries, LinePenMode, std::optional<int>) override {}
    };
    MapReadOptions o;
    o.prefecture = true;
    Counter present, detail;
    ReadMapData(kavum::platform::ReadWholeFile(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt"), o, present);
    EXPECT_GT(present.points[0], 30000u);
    EXPECT_GT(present.points[1], 100u);
    EXPECT_GT(present.points[2], 100u);
    EXPECT_GT(present.breaks, 1000u);
    ReadMapData(kavum::platform::ReadWholeFile(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon_detail.mdt"), o, detail);
    EXPECT_GT(detail.points[0], 150000u);
    // Its profiles come from the same relief inside its own coast.
    EXPECT_NEAR(static_cast<double>(detail.points[1]), static_cast<double>(present.points[1]), present.points[1] * 0.2);
    EXPECT_NEAR(static_cast<double>(detail.points[2]), static_cast<double>(present.points[2]), present.points[2] * 0.2);
    EXPECT_GT(detail.breaks, 2000u);
}
