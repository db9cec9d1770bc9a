// Checks the committed map files, sample data and default settings with the
// rules of their formats. A small reader of its own keeps this test free of
// the program's code, so a fault in either shows up as a disagreement.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::filesystem::path Assets = std::filesystem::path(KAVUM_SOURCE_DIR) / "assets";

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Splits at CR LF; every line must end with CR LF (also the last), and no
// lone CR or LF may occur.
std::vector<std::string> CrLfLines(const std::string& bytes, const std::string& what) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos) {
            ADD_FAILURE() << what << ": last line has no line end";
            lines.push_back(bytes.substr(start));
            break;
        }
        if (lf == start || bytes[lf - 1] != '\r') {
            ADD_FAILURE() << what << ": line " << lines.size() + 1 << " ends in a lone LF";
            lines.push_back(bytes.substr(start, lf - start));
        } else {
            lines.push_back(bytes.substr(start, lf - 1 - start));
        }
        if (lines.back().find('\r') != std::string::npos)
            ADD_FAILURE() << what << ": lone CR in line " << lines.size();
        start = lf + 1;
    }
    return lines;
}

// A whole text as a decimal number: optional blanks, sign, digits, fraction,
// exponent, nothing else.
std::optional<double> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(begin, &end);
    if (end == begin || errno != 0) return std::nullopt;
    while (*end == ' ') ++end;
    if (*end != '\0') return std::nullopt;
    // strtod also takes hex, inf and nan, which the file must not hold.
    if (text.find_first_of("xXnN") != std::string::npos) return std::nullopt;
    return v;
}

struct Point {
    double a, b;
};

struct MapSection {
    std::string marker;
    std::vector<std::vector<Point>> runs;  // point runs between breaks
    std::size_t points = 0;
};

struct MapFile {
    std::vector<std::string> topComments;
    std::vector<MapSection> sections;
};

// Reads the map file the way the format defines it: the first number is the
// text before the first comma, the second the (at most) 8 characters after
// it; a ';' line inside a section or a first number of 0 is a break.
MapFile ReadMap(const std::vector<std::string>& lines) {
    MapFile map;
    MapSection* cur = nullptr;
    bool prevBreak = false;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::string where = "line " + std::to_string(n + 1) + ": " + line;
        if (line.empty()) {
            ADD_FAILURE() << "empty " << where;
            continue;
        }
        if (line[0] == '*') {
            if (!map.sections.empty() && map.sections.back().marker == "*END")
                ADD_FAILURE() << "section after *END, " << where;
            map.sections.push_back({line, {{}}, 0});
            cur = &map.sections.back();
            prevBreak = false;
            continue;
        }
        if (line[0] == ';') {
            if (!cur) {
                map.topComments.push_back(line);
                continue;
            }
            // The reader takes the line after a break without testing it for
            // ';' again, so a second break in a row would be read as data.
            EXPECT_FALSE(prevBreak) << "two breaks in a row, " << where;
            prevBreak = true;
            cur->runs.emplace_back();
            continue;
        }
        prevBreak = false;
        if (!cur) {
            ADD_FAILURE() << "data before the first section, " << where;
            continue;
        }
        std::size_t comma = line.find(',');
        if (comma == std::string::npos || comma == 0) {
            ADD_FAILURE() << "no usable comma, " << where;
            continue;
        }
        std::string second = line.substr(comma + 1);
        EXPECT_LE(second.size(), 8u) << "second number longer than 8 characters, " << where;
        auto a = Number(line.substr(0, comma));
        auto b = Number(second.substr(0, 8));
        if (!a || !b) {
            ADD_FAILURE() << "not a number pair, " << where;
            continue;
        }
        EXPECT_NE(*a, 0.0) << "first number 0 is a break, " << where;
        cur->runs.back().push_back({*a, *b});
        ++cur->points;
    }
    for (auto& s : map.sections)
        std::erase_if(s.runs, [](const auto& r) { return r.empty(); });
    return map;
}

const std::string PresentMap = "Kavum_Nippon.mdt";
const std::string DetailMap = "Kavum_Nippon_detail.mdt";

const MapFile& Map(const std::string& file) {
    static std::map<std::string, MapFile> maps;
    auto it = maps.find(file);
    if (it == maps.end()) it = maps.emplace(file, ReadMap(CrLfLines(ReadBytes(Assets / file), file))).first;
    return it->second;
}

const MapSection& Section(const std::string& file, const std::string& marker) {
    for (const auto& s : Map(file).sections)
        if (s.marker == marker) return s;
    static const MapSection none;
    ADD_FAILURE() << file << ": no section " << marker;
    return none;
}

bool HasComment(const std::string& file, const std::string& text) {
    for (const auto& c : Map(file).topComments)
        if (c.find(text) != std::string::npos) return true;
    return false;
}

// The staircase outline of a profile section: (position, elevation) steps.
struct Profile {
    double first = 1e9, last = -1e9, maxElevation = -1, maxAt = 0;
    double HighestBetween(double from, double to, const MapSection& s) const {
        double h = -1;
        for (const auto& run : s.runs)
            for (std::size_t i = 0; i < run.size(); ++i) {
                double end = i + 1 < run.size() ? run[i + 1].a : run[i].a;
                if (run[i].a < to && end > from) h = std::max(h, run[i].b);
            }
        return h;
    }
};

Profile Outline(const MapSection& s) {
    Profile p;
    for (const auto& run : s.runs)
        for (const auto& pt : run) {
            p.first = std::min(p.first, pt.a);
            p.last = std::max(p.last, pt.a);
            if (pt.b > p.maxElevation) {
                p.maxElevation = pt.b;
                p.maxAt = pt.a;
            }
        }
    return p;
}

TEST(BundledMap, SizeAndSectionOrder) {
    EXPECT_LE(std::filesystem::file_size(Assets / PresentMap), 2u * 1024 * 1024);
    EXPECT_LE(std::filesystem::file_size(Assets / DetailMap), 16u * 1024 * 1024);
    for (const std::string& file : {PresentMap, DetailMap}) {
        SCOPED_TRACE(file);
        std::vector<std::string> markers;
        for (const auto& s : Map(file).sections) markers.push_back(s.marker);
        EXPECT_EQ(markers, (std::vector<std::string>{"*H-MAP", "*G-MAP", "*WE-PROF", "*SN-PROF", "*END"}));
        EXPECT_GE(Map(file).topComments.size(), 3u);
        EXPECT_TRUE(HasComment(file, "\x8d\x91\x93\x79\x92\x6e\x97\x9d\x89\x40"))  // 国土地理院
            << "attribution missing from the header comments";
    }
    EXPECT_TRUE(HasComment(DetailMap, "GSHHG"));
    EXPECT_TRUE(HasComment(DetailMap, "Wessel"));
    EXPECT_TRUE(HasComment(DetailMap, "GNU Lesser General Public License"));
}

TEST(BundledMap, LinesStayInsideJapan) {
    for (const std::string& file : {PresentMap, DetailMap}) {
        SCOPED_TRACE(file);
        for (const char* marker : {"*H-MAP", "*G-MAP"}) {
            const auto& s = Section(file, marker);
            for (const auto& run : s.runs) {
                EXPECT_GE(run.size(), 2u) << marker << ": a polyline of one point";
                for (const auto& p : run) {
                    ASSERT_TRUE(p.a >= 122 && p.a <= 154 && p.b >= 20 && p.b <= 46)
                        << marker << " point " << p.a << "," << p.b;
                }
            }
        }
        EXPECT_GE(Section(file, "*G-MAP").points, 5000u);
        // Each polyline ends with a break, so none joins the next.
        EXPECT_GE(Section(file, "*H-MAP").runs.size(), 500u);
        EXPECT_GE(Section(file, "*G-MAP").runs.size(), 47u);
    }
    EXPECT_GE(Section(PresentMap, "*H-MAP").points, 30000u);
    EXPECT_LE(Section(PresentMap, "*H-MAP").points, 80000u);
    EXPECT_GE(Section(DetailMap, "*H-MAP").points, 150000u);
    EXPECT_LE(Section(DetailMap, "*H-MAP").points, 1000000u);
}

// Shoelace area of a closed run, in square degrees.
double Area(const std::vector<Point>& run) {
    double twice = 0;
    for (std::size_t i = 0; i + 1 < run.size(); ++i) twice += run[i].a * run[i + 1].b - run[i + 1].a * run[i].b;
    return std::abs(twice) / 2;
}

// A closed coastline run whose bounding box is the given one within tol.
const std::vector<Point>* ClosedRunIn(const MapSection& s, double west, double east, double south, double north,
                                      double tol) {
    for (const auto& run : s.runs) {
        if (run.size() < 4 || run.front().a != run.back().a || run.front().b != run.back().b) continue;
        double w = 1e9, e = -1e9, so = 1e9, n = -1e9;
        for (const auto& p : run) {
            w = std::min(w, p.a);
            e = std::max(e, p.a);
            so = std::min(so, p.b);
            n = std::max(n, p.b);
        }
        if (std::abs(w - west) < tol && std::abs(e - east) < tol && std::abs(so - south) < tol &&
            std::abs(n - north) < tol)
            return &run;
    }
    return nullptr;
}

TEST(BundledMap, DetailedCoastsAreWholeAndHoldTheLakes) {
    const auto& coast = Section(DetailMap, "*H-MAP");
    // GSHHG delivers its shorelines cut at 1-degree bin edges; joined again,
    // every coastline and lake shore of Japan is a closed line, and no
    // segment runs along a bin edge.
    std::size_t open = 0, alongEdges = 0;
    for (const auto& run : coast.runs) {
        if (run.front().a != run.back().a || run.front().b != run.back().b) ++open;
        for (std::size_t i = 0; i + 1 < run.size(); ++i) {
            const Point& p = run[i];
            const Point& q = run[i + 1];
            if ((p.a == q.a && p.a == std::floor(p.a)) || (p.b == q.b && p.b == std::floor(p.b))) ++alongEdges;
        }
    }
    EXPECT_EQ(open, 0u) << "coastlines left in pieces";
    EXPECT_EQ(alongEdges, 0u) << "segments along bin edges";

    // Lake Biwa (about 670 km2), Kasumigaura (about 170 km2) and Inawashiro
    // (about 100 km2) as closed lines of their size. A square degree is about
    // 9,000 to 10,000 km2 at these latitudes.
    const auto* biwa = ClosedRunIn(coast, 135.86, 136.28, 34.97, 35.52, 0.06);
    ASSERT_NE(biwa, nullptr) << "Lake Biwa";
    EXPECT_NEAR(Area(*biwa) * 9100, 670, 120);
    const auto* kasumigaura = ClosedRunIn(coast, 140.21, 140.50, 35.95, 36.20, 0.08);
    ASSERT_NE(kasumigaura, nullptr) << "Kasumigaura";
    EXPECT_NEAR(Area(*kasumigaura) * 9000, 170, 60);
    const auto* inawashiro = ClosedRunIn(coast, 140.00, 140.15, 37.42, 37.55, 0.04);
    ASSERT_NE(inawashiro, nullptr) << "Inawashiro";
    EXPECT_NEAR(Area(*inawashiro) * 8800, 103, 30);
    // The present map has no lakes: nothing closed in Lake Biwa's box.
    EXPECT_EQ(ClosedRunIn(Section(PresentMap, "*H-MAP"), 135.86, 136.28, 34.97, 35.52, 0.06), nullptr);
}

TEST(BundledMap, DetailedMapKeepsTheOutlyingIsletsAndEndsBoundariesOnTheCoast) {
    const auto& coast = Section(DetailMap, "*H-MAP");
    // Okinotorishima, the Bayonnaise rocks, Sofu-gan, Taisho-jima and
    // Minamitorishima, each a closed line of its own.
    struct Islet {
        const char* name;
        double west, east, south, north;
    };
    for (const Islet& i : {Islet{"Okinotorishima", 136.0830, 136.0896, 20.4229, 20.4271},
                           Islet{"Bayonnaise rocks", 139.8721, 139.8771, 31.9121, 31.9146},
                           Islet{"Sofu-gan", 140.3529, 140.3588, 29.8070, 29.8129},
                           Islet{"Taisho-jima", 124.5646, 124.5704, 25.8954, 25.8987},
                           Islet{"Minamitorishima", 153.9696, 153.9871, 24.2812, 24.2987}}) {
        EXPECT_NE(ClosedRunIn(coast, i.west, i.east, i.south, i.north, 0.0005), nullptr) << i.name;
    }
    // A boundary that reaches the sea ends on a segment of the coast.
    std::size_t onCoast = 0;
    for (const auto& run : Section(DetailMap, "*G-MAP").runs) {
        for (const Point& end : {run.front(), run.back()}) {
            double nearest = 1e9;
            for (const auto& c : coast.runs) {
                for (std::size_t i = 0; i + 1 < c.size(); ++i) {
                    const double dx = c[i + 1].a - c[i].a, dy = c[i + 1].b - c[i].b;
                    const double len = dx * dx + dy * dy;
                    double t = len > 0 ? ((end.a - c[i].a) * dx + (end.b - c[i].b) * dy) / len : 0;
                    t = std::clamp(t, 0.0, 1.0);
                    nearest = std::min(nearest, std::hypot(c[i].a + t * dx - end.a, c[i].b + t * dy - end.b));
                }
            }
            // Within 3 km of the coast means on it, to the 5 decimals kept.
            if (nearest < 0.03) {
                EXPECT_LT(nearest, 2e-5) << "boundary end " << end.a << "," << end.b << " off the coast";
                ++onCoast;
            }
        }
    }
    EXPECT_GE(onCoast, 40u);
}

TEST(BundledMap, ProfilesShowFujiAndCoverTheLand) {
    for (const std::string& file : {PresentMap, DetailMap}) {
        SCOPED_TRACE(file);
        const auto& coast = Section(file, "*H-MAP");
        double west = 1e9, east = -1e9, south = 1e9, north = -1e9;
        for (const auto& run : coast.runs)
            for (const auto& p : run) {
                west = std::min(west, p.a);
                east = std::max(east, p.a);
                south = std::min(south, p.b);
                north = std::max(north, p.b);
            }

        const auto& weSection = Section(file, "*WE-PROF");
        const auto& snSection = Section(file, "*SN-PROF");
        Profile we = Outline(weSection), sn = Outline(snSection);
        for (const auto* s : {&weSection, &snSection})
            for (const auto& run : s->runs) {
                ASSERT_FALSE(run.empty());
                EXPECT_EQ(run.front().b, 0) << s->marker << " starts above sea level";
                EXPECT_EQ(run.back().b, 0) << s->marker << " ends above sea level";
                for (const auto& p : run) EXPECT_TRUE(p.b >= 0 && p.b <= 4000) << s->marker << " " << p.b;
                EXPECT_TRUE(std::is_sorted(run.begin(), run.end(),
                                           [](const Point& x, const Point& y) { return x.a < y.a; }))
                    << s->marker;
            }

        EXPECT_NEAR(we.maxElevation, 3776, 100);
        EXPECT_NEAR(sn.maxElevation, 3776, 100);
        EXPECT_NEAR(we.maxAt, 138.73, 0.2) << "the highest column should hold Mt Fuji";
        EXPECT_NEAR(sn.maxAt, 35.36, 0.2);
        // The Northern Alps (about 137.6 E, 36.3 N) rise above 3000 m too.
        EXPECT_GE(we.HighestBetween(137.4, 137.8, weSection), 3000);
        EXPECT_GE(sn.HighestBetween(36.1, 36.5, snSection), 3000);
        // Hokkaido's highest ground (Asahidake, 2291 m) lies far below Fuji.
        EXPECT_LT(sn.HighestBetween(42.0, 45.6, snSection), 2500);

        // The profiles span the coastlines (the detailed ones to within a
        // column: GSHHG reaches a little beyond Global Map here and there).
        const double slack = file == DetailMap ? 1.0 / 12 : 0;
        EXPECT_LE(we.first, west + slack);
        EXPECT_GE(we.last, east - slack);
        EXPECT_LE(sn.first, south + slack);
        EXPECT_GE(sn.last, north - slack);
        EXPECT_LT(we.first, 123.5);
        EXPECT_GT(we.last, 145.5);
        EXPECT_LT(sn.first, 24.5);
        EXPECT_GT(sn.last, 45.3);
    }
}

// ---------------------------------------------------------------------------
// Sample data

// Angle text D.MMSS to seconds of arc (minutes and seconds two digits each).
std::optional<long> AngleSeconds(const std::string& text) {
    std::size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || text.size() != dot + 5) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != dot && (text[i] < '0' || text[i] > '9')) return std::nullopt;
    long d = std::stol(text.substr(0, dot));
    long m = std::stol(text.substr(dot + 1, 2));
    long s = std::stol(text.substr(dot + 3, 2));
    if (m >= 60 || s >= 60) return std::nullopt;
    return (d * 60 + m) * 60 + s;
}

struct Sample {
    std::vector<std::string> headings;
    std::vector<std::vector<std::string>> records;  // per heading, comment removed
    std::vector<std::vector<std::string>> names;    // per heading, the comment
};

Sample ReadSample(const std::string& file) {
    Sample s;
    for (const auto& raw : CrLfLines(ReadBytes(Assets / "samples" / file), file)) {
        std::string line = raw, comment;
        if (auto c = line.find(';'); c != std::string::npos) {
            comment = line.substr(c + 1);
            line.erase(c);
        }
        if (line.empty()) continue;
        bool digitOrBlank = line[0] == ' ' || (line[0] >= '0' && line[0] <= '9');
        if (line.find(',') == std::string::npos && !(line.size() >= 6 && digitOrBlank)) {
            s.headings.push_back(line);
            s.records.emplace_back();
            s.names.emplace_back();
            continue;
        }
        if (s.records.empty()) {
            ADD_FAILURE() << file << ": record before the first heading: " << raw;
            continue;
        }
        s.records.back().push_back(line);
        s.names.back().push_back(comment);
    }
    return s;
}

TEST(BundledSamples, BothFilesHoldTheSameSummitsInFourBands) {
    Sample ll = ReadSample("mountains.grd");
    Sample mesh = ReadSample("mountains-mesh.grd");
    ASSERT_EQ(ll.headings.size(), 4u);
    EXPECT_EQ(ll.headings, mesh.headings);
    const std::string hyoko = "\x95\x57\x8d\x82";  // 標高
    for (const auto& h : ll.headings) EXPECT_EQ(h.rfind(hyoko, 0), 0u) << h;

    std::size_t total = 0;
    double prevBandLow = 1e9;
    for (std::size_t k = 0; k < ll.records.size(); ++k) {
        ASSERT_EQ(ll.records[k].size(), mesh.records[k].size()) << "band " << k;
        EXPECT_EQ(ll.names[k], mesh.names[k]);
        EXPECT_FALSE(ll.records[k].empty());
        double bandLow = 1e9, bandHigh = -1;
        for (std::size_t i = 0; i < ll.records[k].size(); ++i) {
            const std::string& rec = ll.records[k][i];
            auto c1 = rec.find(','), c2 = rec.find(',', c1 + 1);
            ASSERT_NE(c2, std::string::npos) << rec;
            auto lat = AngleSeconds(rec.substr(0, c1));
            auto lon = AngleSeconds(rec.substr(c1 + 1, c2 - c1 - 1));
            auto elev = Number(rec.substr(c2 + 1));
            ASSERT_TRUE(lat && lon && elev) << rec;
            EXPECT_TRUE(*lat >= 24 * 3600 && *lat <= 46 * 3600 && *lon >= 122 * 3600 && *lon <= 146 * 3600)
                << rec;
            EXPECT_TRUE(*elev > 0 && *elev <= 3776) << rec;
            bandLow = std::min(bandLow, *elev);
            bandHigh = std::max(bandHigh, *elev);

            // The mesh line: the 8-digit standard cell holding the same point
            // (south-west corner within 30" x 45" of it), then the 100 m band.
            const std::string& m = mesh.records[k][i];
            auto dot = m.find('.');
            ASSERT_EQ(dot, 8u) << m;
            ASSERT_TRUE(m.size() == 10 || m.size() == 11) << m;
            ASSERT_EQ(m.find_first_not_of("0123456789."), std::string::npos) << m;
            auto digit = [&](int p) { return static_cast<long>(m[p] - '0'); };
            long south = (digit(0) * 10 + digit(1)) * 2400 + digit(4) * 300 + digit(6) * 30;
            long westEdge = (100 + digit(2) * 10 + digit(3)) * 3600 + digit(5) * 450 + digit(7) * 45;
            EXPECT_TRUE(digit(4) < 8 && digit(5) < 8) << m;
            EXPECT_TRUE(*lat >= south && *lat < south + 30 && *lon >= westEdge && *lon < westEdge + 45)
                << rec << " is not in cell " << m;
            EXPECT_EQ(std::stol(m.substr(dot + 1)), static_cast<long>(*elev) / 100) << rec << " " << m;
        }
        // Bands follow each other from the highest down without overlap.
        EXPECT_LT(bandHigh, prevBandLow) << "band " << k;
        prevBandLow = bandLow;
        total += ll.records[k].size();
    }
    EXPECT_GT(total, 1000u);
    EXPECT_EQ(ll.records[0].front().substr(0, 21), "35.2139,138.4339,3776") << "Mt Fuji first";
}

// ---------------------------------------------------------------------------
// Default settings

TEST(BundledSettings, NamesTheBundledFilesAndHoldsEveryKey) {
    auto lines = CrLfLines(ReadBytes(Assets / "kavum.ini"), "kavum.ini");
    std::vector<std::string> sections;
    std::map<std::string, std::string> values;  // "Section/Key" -> value
    std::vector<std::string> keys;
    for (const auto& line : lines) {
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            sections.push_back(line.substr(1, line.size() - 2));
            continue;
        }
        auto eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        ASSERT_FALSE(sections.empty());
        keys.push_back(sections.back() + "/" + line.substr(0, eq));
        values[keys.back()] = line.substr(eq + 1);
    }
    std::vector<std::string> wantSections{"DataFile", "Draw", "Map"};
    for (int i = 1; i <= 9; ++i) wantSections.push_back("Mark" + std::to_string(i));
    EXPECT_EQ(sections, wantSections);
    EXPECT_EQ(keys.size(), 3u + 2u + 13u + 9u * 4u);

    EXPECT_EQ(values["DataFile/Title"],
              "\x93\xfa\x96\x7b\x90\x41\x95\xa8\x8e\x4f\x96\xca\x95\xaa\x95\x7a\x90\x7d");  // 日本植物三面分布図
    EXPECT_TRUE(std::filesystem::is_regular_file(Assets / values["DataFile/MapFile"]))
        << values["DataFile/MapFile"];
    EXPECT_TRUE(std::filesystem::is_regular_file(Assets / values["DataFile/GrdFile"]))
        << values["DataFile/GrdFile"];
    EXPECT_EQ(values["DataFile/MapFile"], "Kavum_Nippon.mdt");
    EXPECT_EQ(values["Map/GY1"], "30.00");
    EXPECT_EQ(values["Map/GX2"], "146.00");
    EXPECT_EQ(values["Map/SubColor"], "10789024");
    EXPECT_EQ(values["Mark1/brush"], "16711680");
    EXPECT_EQ(values["Mark9/Styl"], "9");
    EXPECT_EQ(values["Mark9/brush"], "8421504");
}

}  // namespace
