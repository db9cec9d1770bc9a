// The plain reference for the three-view PNG: what the machine needs to read a
// data file, decode it, place every record in its cell and draw its mark on
// the three views, and write the PNG, with nothing but plain loops. It makes
// the same figure as
//
//     kavum-render --map MAP --data FILE --precision P --layout 3 out.png
//
// at the default size (1017 x 1085 for the default range) without the map
// lines, grid, axes and legend: the marks of every category at the same
// pixels, drawn in the same order with the same pixels a mark, over white,
// written with the same deflate level and filter. It uses no part of the
// program.
//
//     plain_figure [--precision P] [--verbose] DATA.grd OUT.png
//
// The grammar of the lines is the program's: ";" starts a comment, a line with
// "," gives latitude and longitude (degrees.minutes, digits only here), a
// line of six or more bytes starting with a digit or a blank is a mesh code
// with an optional ".NN" elevation code, any other line is a heading (at most
// nine). Headings are decoded from Shift-JIS with iconv (CP932). A record line
// that does not convert stops the program with FILE:LINE, as it stops the
// program's plotting pass.
#include <libdeflate.h>

#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "plain_figure: %s\n", message.c_str());
    std::exit(1);
}

// ---- the figure's geometry at the default size ------------------------------
// The default range (128..146 E, 30..46 N, 0..3800 m, latitude factor 1.2208)
// gives a map 800 x 868 pixels, profiles 217 pixels deep; each chart keeps
// margins of 6, 4, 4, 4 per cent, and the west-east profile a band of 22
// pixels under its axis. Value to pixel: the start (or end) of the axis plus
// (v - min) * size / range rounded half to even.
struct Axis {
    double min, max;
    int start, end;
    bool fromStart;  // horizontal and not inverted, or vertical and inverted
    int Pixel(double v) const {
        const double d = (v - min) * (end - start) / (max - min);
        const long long r = static_cast<long long>(std::nearbyint(d));
        return static_cast<int>(fromStart ? start + r : end - r);
    }
};
struct View {
    Axis x, y;
    int left, top, right, bottom;  // plot rectangle, right and bottom included
};
constexpr int Width = 1017;
constexpr int Height = 1085;
// In the order the figure draws them: south-north, map, west-east.
const View SouthNorth{{0, 3800, 13, 208, false}, {30, 46, 252, 1050, false}, 13, 252, 208, 1050};
const View Map{{128, 146, 265, 985, true}, {30, 46, 252, 1050, false}, 265, 252, 985, 1050};
const View WestEast{{128, 146, 265, 985, true}, {0, 3800, 26, 203, false}, 265, 26, 985, 203};

// ---- the marks ----------------------------------------------------------------
// The marks of the nine categories at their default settings (half-size 3),
// centred in an 11 x 11 square: k the outline (black), c the fill or, for the
// line marks and the dot, the category's line colour.
const char* const Marks[9][11] = {
    {"...........", "...........", "..kkkkkkk..", "..kccccck..", "..kccccck..", "..kccccck..", "..kccccck..",
     "..kccccck..", "..kkkkkkk..", "...........", "..........."},
    {"...........", "...........", "...kkkk....", "..kcccck...", "..kcccck...", "..kcccck...", "..kcccck...",
     "...kkkk....", "...........", "...........", "..........."},
    {"...........", "...........", ".....k.....", ".....kk....", "....kck....", "....kcck...", "...kccck...",
     "...kcccck..", "..kkkkkkk..", "...........", "..........."},
    {"...........", "...........", "..kkkkkkk..", "...kcccck..", "...kccck...", "....kcck...", "....kck....",
     ".....kk....", ".....k.....", "...........", "..........."},
    {"...........", "...........", ".....c.....", ".....c.....", ".....c.....", "..ccccccc..", ".....c.....",
     ".....c.....", ".....c.....", "...........", "..........."},
    {"...........", "...........", "..c.....c..", "...c...c...", "....c.c....", ".....c.....", "....c.c....",
     "...c...c...", "..c.....c..", "...........", "..........."},
    {"...........", ".cc.cc.cc..", ".cccccccc..", "..cccccc...", ".cccccccc..", ".cccccccc..", "..cccccc...",
     ".cccccccc..", ".cc.cc.cc..", "...........", "..........."},
    {"...........", "....kk.....", "...kkkk....", "..kkkkkk...", ".kkkcckkk..", ".kkkcckkk..", "..kkkkkk...",
     "...kkkk....", "....kk.....", "...........", "..........."},
    {"...........", "...........", "...........", "...........", "...........", ".....k.....", "...........",
     "...........", "...........", "...........", "..........."},
};
// RGB of c for each category.
const unsigned char MarkColours[9][3] = {{0, 0, 255},   {0, 255, 255}, {0, 128, 0},     {0, 255, 0}, {255, 255, 0},
                                         {255, 0, 0},   {0, 128, 0},   {166, 202, 240}, {0, 0, 0}};
constexpr int MarkReach = 5;  // pixels a mark reaches from its centre

struct Pixel {
    int dx, dy;
    unsigned char rgb[3];
};
// A piece of a row of a mark: pixels next to each other from dx on, as
// bytes of the PNG's rows.
struct Run {
    int dy, dx, count;
    unsigned char bytes[3 * 11];
};
struct Mark {
    std::vector<Pixel> pixels;
    std::vector<Run> runs;
};
Mark MarkOf(int category) {
    Mark out;
    for (int r = 0; r < 11; ++r) {
        for (int c = 0; c < 11; ++c) {
            const char m = Marks[category][r][c];
            if (m == '.') continue;
            Pixel p{c - MarkReach, r - MarkReach, {0, 0, 0}};
            if (m == 'c') std::memcpy(p.rgb, MarkColours[category], 3);
            out.pixels.push_back(p);
            if (c > 0 && Marks[category][r][c - 1] != '.') {
                Run& run = out.runs.back();
                std::memcpy(run.bytes + 3 * run.count++, p.rgb, 3);
            } else {
                Run run{p.dy, p.dx, 1, {}};
                std::memcpy(run.bytes, p.rgb, 3);
                out.runs.push_back(run);
            }
        }
    }
    return out;
}

// ---- positions ------------------------------------------------------------------
enum Precision { LatLon = 0, Standard = 1, Double = 2, Fivefold = 5, Second = 10, Half = 12 };

struct Cell {
    int lat, lon;  // cells a degree
};
Cell CellsOf(int p) {
    switch (p) {
        case Half: return {240, 160};
        case Standard: return {120, 80};
        case Double: return {60, 40};
        case Fivefold: return {24, 16};
        case Second: return {12, 8};
        default: return {0, 0};
    }
}

struct Point {
    long double lat, lon;
};

bool Digit(char c) { return c >= '0' && c <= '9'; }

// The mesh code's cell centre at the precision (the second-order corner at
// LatLon); false when the code is too coarse for it. Only digits are read.
bool MeshPoint(std::string_view code, int precision, Point& out, bool& bad) {
    const std::size_t n = code.size();
    if (n < 6) return false;
    char v[9];
    for (std::size_t k = 0; k < 9; ++k) v[k] = k < n ? code[k] : '0';
    const bool checked[8] = {true, true, true, true, true, true,
                             precision == Standard || precision == Half || precision == Double,
                             precision == Standard || precision == Half || precision == Double};
    for (int k = 0; k < 8; ++k) {
        if (checked[k] && !Digit(v[k])) {
            bad = true;
            return false;
        }
    }
    auto d = [&](int k) { return static_cast<long double>(v[k] - '0'); };
    long double lat = static_cast<long double>((v[0] - '0') * 10 + (v[1] - '0')) * 2.0L / 3.0L;
    lat += d(4) / 12.0L;
    long double lon = static_cast<long double>((v[2] - '0') * 10 + (v[3] - '0')) + 100.0L;
    lon += d(5) / 8.0L;
    const char q = v[8];
    switch (precision) {
        case LatLon: break;
        case Standard:
            if ((n == 9 && q == '5') || n < 8) return false;
            lat += d(6) / 120.0L + 1.0L / 240.0L;
            lon += d(7) / 80.0L + 1.0L / 160.0L;
            break;
        case Double:
            if (n < 8) return false;
            lat += static_cast<long double>((v[6] - '0') / 2) / 60.0L + 1.0L / 120.0L;
            lon += static_cast<long double>((v[7] - '0') / 2) / 40.0L + 1.0L / 80.0L;
            break;
        case Fivefold:
            if (n < 7) return false;
            if (n == 7) {
                if (v[6] == '3' || v[6] == '4') lat += 1.0L / 24.0L;
                if (v[6] == '2' || v[6] == '4') lon += 1.0L / 16.0L;
            } else {
                if (v[6] >= '5' && v[6] <= '9') lat += 1.0L / 24.0L;
                if (v[7] >= '5' && v[7] <= '9') lon += 1.0L / 16.0L;
            }
            lat += 1.0L / 48.0L;
            lon += 1.0L / 32.0L;
            break;
        case Second:
            lat += 1.0L / 24.0L;
            lon += 1.0L / 16.0L;
            break;
        case Half:
            if (n < 9 || q == '5') return false;
            lat += d(6) / 120.0L;
            lon += d(7) / 80.0L;
            if (q == '3' || q == '4') lat += 1.0L / 240.0L;
            if (q == '2' || q == '4') lon += 1.0L / 160.0L;
            lat += 1.0L / 480.0L;
            lon += 1.0L / 320.0L;
            break;
    }
    out = {lat, lon};
    return true;
}

// Degrees.minutes text of digits (D.MMSSt) in tenths of a second.
bool Tenths(std::string_view s, long long& out) {
    std::size_t i = 0;
    long long d = 0;
    while (i < s.size() && i < 9 && Digit(s[i])) d = d * 10 + (s[i++] - '0');
    if (i == 0) return false;
    int f[5] = {0, 0, 0, 0, 0};
    if (i < s.size()) {
        if (s[i] != '.') return false;
        for (std::size_t k = 0; i + 1 + k < s.size(); ++k) {
            if (!Digit(s[i + 1 + k])) return false;
            if (k < 5) f[k] = s[i + 1 + k] - '0';
        }
    }
    out = d * 36000 + (f[0] * 10 + f[1]) * 600 + f[2] * 100 + f[3] * 10 + f[4];
    return true;
}

// ---- the records of one view and category ----------------------------------------
struct Placed {
    float x;
    int px, py;
};

std::uint32_t Key(float x) {
    if (x == 0) x = 0;
    std::uint32_t b;
    std::memcpy(&b, &x, 4);
    return (b & 0x80000000u) ? ~b : b | 0x80000000u;
}

// Stable sort by x: three passes of eleven bits.
void SortByX(std::vector<Placed>& v, std::vector<Placed>& tmp) {
    const std::size_t n = v.size();
    if (n < 2) return;
    tmp.resize(n);
    std::vector<std::size_t> counts(3 * 2048, 0);
    for (const Placed& p : v) {
        const std::uint32_t k = Key(p.x);
        ++counts[k & 2047];
        ++counts[2048 + ((k >> 11) & 2047)];
        ++counts[4096 + (k >> 22)];
    }
    Placed* from = v.data();
    Placed* to = tmp.data();
    for (int pass = 0; pass < 3; ++pass) {
        std::size_t* c = counts.data() + pass * 2048;
        const int shift = pass * 11;
        if (c[(Key(from[0].x) >> shift) & 2047] == n) continue;
        std::size_t sum = 0;
        for (int b = 0; b < 2048; ++b) {
            const std::size_t k = c[b];
            c[b] = sum;
            sum += k;
        }
        for (std::size_t i = 0; i < n; ++i) to[c[(Key(from[i].x) >> shift) & 2047]++] = from[i];
        std::swap(from, to);
    }
    if (from != v.data()) std::copy(from, from + n, v.data());
}

struct Series {
    std::vector<Placed> points;
};

// Returns the number of marks drawn.
std::size_t Draw(unsigned char* raw, const View& view, Series& s, const Mark& mark, std::vector<Placed>& tmp,
                 std::vector<std::uint64_t>& seen) {
    SortByX(s.points, tmp);
    // The last mark at each centre hides the earlier ones there.
    const int cols = view.right - view.left + 1 + 2 * MarkReach;
    const int rows = view.bottom - view.top + 1 + 2 * MarkReach;
    seen.assign((static_cast<std::size_t>(cols) * rows + 63) / 64, 0);
    std::size_t kept = s.points.size();
    for (std::size_t i = s.points.size(); i-- > 0;) {
        const Placed& p = s.points[i];
        const std::size_t cell = static_cast<std::size_t>(p.py - view.top + MarkReach) * cols +
                                 static_cast<std::size_t>(p.px - view.left + MarkReach);
        std::uint64_t& w = seen[cell / 64];
        const std::uint64_t bit = std::uint64_t{1} << (cell % 64);
        if (w & bit) continue;
        w |= bit;
        s.points[--kept] = p;
    }
    const std::size_t stride = 1 + 3 * static_cast<std::size_t>(Width);
    for (std::size_t i = kept; i < s.points.size(); ++i) {
        const Placed& p = s.points[i];
        const bool inside = p.px - MarkReach >= view.left && p.px + MarkReach <= view.right &&
                            p.py - MarkReach >= view.top && p.py + MarkReach <= view.bottom;
        if (inside) {
            unsigned char* at = raw + static_cast<std::size_t>(p.py) * stride + 1 + 3 * static_cast<std::size_t>(p.px);
            for (const Run& r : mark.runs) {
                std::memcpy(at + static_cast<std::ptrdiff_t>(r.dy) * static_cast<std::ptrdiff_t>(stride) + 3 * r.dx,
                            r.bytes, 3 * static_cast<std::size_t>(r.count));
            }
            continue;
        }
        for (const Pixel& m : mark.pixels) {
            const int x = p.px + m.dx;
            const int y = p.py + m.dy;
            if (!inside && (x < view.left || x > view.right || y < view.top || y > view.bottom)) continue;
            std::memcpy(raw + static_cast<std::size_t>(y) * stride + 1 + 3 * static_cast<std::size_t>(x), m.rgb, 3);
        }
    }
    return s.points.size() - kept;
}

void Place(const View& view, double x, double y, Series& s) {
    const double dx = (x - view.x.min) * (view.x.end - view.x.start) / (view.x.max - view.x.min);
    const double dy = (y - view.y.min) * (view.y.end - view.y.start) / (view.y.max - view.y.min);
    if (!(std::fabs(dx) < 1e6) || !(std::fabs(dy) < 1e6)) return;  // far outside, or not a number
    const int px = view.x.Pixel(x);
    const int py = view.y.Pixel(y);
    if (px + MarkReach < view.left || px - MarkReach > view.right || py + MarkReach < view.top ||
        py - MarkReach > view.bottom) {
        return;
    }
    s.points.push_back(Placed{static_cast<float>(x), px, py});
}

void Be32(std::string& out, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
    out.append(b, 4);
}
void Chunk(std::string& out, const char* type, const void* data, std::size_t size) {
    Be32(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.append(type, 4);
    out.append(static_cast<const char*>(data), size);
    Be32(out, libdeflate_crc32(0, out.data() + start, size + 4));
}

}  // namespace

int main(int argc, char** argv) {
    int precision = Standard;
    bool verbose = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--precision" && i + 1 < argc) {
            precision = std::atoi(argv[++i]);
        } else if (a == "--verbose") {
            verbose = true;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2 || (precision != 0 && CellsOf(precision).lat == 0)) {
        std::fprintf(stderr, "usage: plain_figure [--precision 0|1|2|5|10|12] [--verbose] DATA OUT.png\n");
        return 2;
    }
    const std::string& path = files[0];
    using Clock = std::chrono::steady_clock;
    const Clock::time_point t0 = Clock::now();
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };

    // Read.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) Fail(path + " を開けません");
    std::string text;
    if (std::fseek(f, 0, SEEK_END) != 0) Fail(path + " を読めません");
    const long length = std::ftell(f);
    if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) Fail(path + " を読めません");
    text.resize(static_cast<std::size_t>(length));
    if (std::fread(text.data(), 1, text.size(), f) != text.size()) Fail(path + " を読めません");
    std::fclose(f);

    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) Fail("iconv CP932");
    std::vector<std::string> names;

    // Parse and place: a series for each view and category.
    Series series[3][9];
    const Cell cells = CellsOf(precision);
    std::size_t lineNo = 0;
    std::size_t drawn = 0;
    std::size_t skipped = 0;
    int category = 0;
    auto bad = [&](std::size_t line) { Fail(path + ":" + std::to_string(line) + ": 数に直せない記録行です"); };
    for (std::size_t start = 0, n = text.size(); start < n;) {
        std::size_t stop = start;
        while (stop < n && text[stop] != '\n' && text[stop] != '\r') ++stop;
        std::string_view s(text.data() + start, stop - start);
        ++lineNo;
        start = stop + (stop < n && text[stop] == '\r' && stop + 1 < n && text[stop + 1] == '\n' ? 2 : 1);
        if (const std::size_t semi = s.find(';'); semi != std::string_view::npos) s = s.substr(0, semi);
        if (s.empty()) continue;
        const bool comma = s.find(',') != std::string_view::npos;
        if (!comma && !(s.size() >= 6 && (s[0] == ' ' || Digit(s[0])))) {
            if (category == 9) break;
            ++category;
            std::string in(s), name(4 * s.size() + 4, '\0');
            char* ip = in.data();
            char* op = name.data();
            std::size_t il = in.size(), ol = name.size();
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            iconv(cd, &ip, &il, &op, &ol);
            name.resize(name.size() - ol);
            names.push_back(name);
            continue;
        }
        if (category == 0) {
            ++skipped;
            continue;
        }
        Point at{};
        long double elevation = 8888;
        bool accepted = false;
        bool failed = false;
        if (comma) {
            const std::size_t p = s.find(',');
            const std::string_view rest = s.substr(p + 1, 40);
            const std::size_t k = rest.find(',');
            long long lat = 0, lon = 0;
            if (!Tenths(s.substr(0, p), lat)) bad(lineNo);
            if (k == std::string_view::npos) {
                if (!Tenths(rest, lon)) bad(lineNo);
            } else if (k >= 3) {
                if (!Tenths(rest.substr(0, k), lon)) bad(lineNo);
                const std::string e(rest.substr(k + 1, 40));
                char* end = nullptr;
                const long double v = std::strtold(e.c_str(), &end);
                if (e.empty() || *end != '\0') bad(lineNo);
                elevation = precision == LatLon ? v : static_cast<long double>(static_cast<long long>(v / 100.0L)) * 100 + 50;
            } else {
                ++skipped;
                continue;
            }
            if (lat < 0 || lat >= (66 * 60 + 40) * 600LL || lon < 100 * 36000LL || lon >= 180 * 36000LL) {
                ++skipped;
                continue;
            }
            if (precision == LatLon) {
                at = {static_cast<long double>(lat) / 36000.0L, static_cast<long double>(lon) / 36000.0L};
            } else {
                const long long ss = 36000 / cells.lat, t = 36000 / cells.lon;
                at.lat = static_cast<long double>(lat / 36000) + static_cast<std::int32_t>((lat % 36000) / ss * ss) / 36000.0L +
                         1.0L / (2 * cells.lat);
                at.lon = static_cast<long double>(lon / 36000) + static_cast<std::int32_t>((lon % 36000) / t * t) / 36000.0L +
                         1.0L / (2 * cells.lon);
            }
            accepted = true;
        } else {
            // The first N of the line goes when it stands from the seventh
            // byte on after a digit.
            std::string line;
            std::string_view code = s;
            if (const std::size_t nn = s.find('N'); nn != std::string_view::npos && nn >= 6 && Digit(s[nn - 1])) {
                line = std::string(s.substr(0, nn)) + std::string(s.substr(nn + 1));
                code = line;
            }
            while (!code.empty() && code[0] == ' ') code.remove_prefix(1);
            const std::size_t d = code.find('.');
            if (d != std::string_view::npos && d > 0) {
                const std::string_view e = code.substr(d + 1, 2);
                std::size_t i = 0;
                const bool negative = !e.empty() && e[0] == '-';
                if (negative || (!e.empty() && e[0] == '+')) i = 1;
                if (i >= e.size()) bad(lineNo);
                long long v = 0;
                for (; i < e.size(); ++i) {
                    if (!Digit(e[i])) bad(lineNo);
                    v = v * 10 + (e[i] - '0');
                }
                elevation = static_cast<long double>(negative ? -v : v) * 100 + 50;
                code = code.substr(0, d);
            }
            accepted = MeshPoint(code, precision, at, failed);
            if (failed) bad(lineNo);
        }
        if (!accepted) {
            ++skipped;
            continue;
        }
        ++drawn;
        // From the parse to the series in single precision.
        const double lat = static_cast<float>(at.lat);
        const double lon = static_cast<float>(at.lon);
        const double e = static_cast<float>(elevation);
        const int k = category - 1;
        Place(Map, lon, lat, series[1][k]);
        if (e >= 0) {
            Place(WestEast, lon, e, series[2][k]);
            Place(SouthNorth, e, lat, series[0][k]);
        }
    }
    iconv_close(cd);
    const Clock::time_point t1 = Clock::now();

    // Draw: rows of the PNG (a filter byte, then RGB) over white.
    const std::size_t stride = 1 + 3 * static_cast<std::size_t>(Width);
    std::vector<unsigned char> raw(stride * Height, 0xFF);
    for (int y = 0; y < Height; ++y) raw[static_cast<std::size_t>(y) * stride] = 0;
    std::vector<Placed> tmp;
    std::vector<std::uint64_t> seen;
    const View* views[3] = {&SouthNorth, &Map, &WestEast};
    std::size_t marksDrawn = 0;
    Mark marks[9];
    for (int k = 0; k < 9; ++k) marks[k] = MarkOf(k);
    for (int v = 0; v < 3; ++v) {
        for (int k = 0; k < 9; ++k) marksDrawn += Draw(raw.data(), *views[v], series[v][k], marks[k], tmp, seen);
    }

    const Clock::time_point t2 = Clock::now();

    // Write.
    libdeflate_compressor* c = libdeflate_alloc_compressor(1);
    std::vector<unsigned char> packed(libdeflate_zlib_compress_bound(c, raw.size()));
    const std::size_t size = libdeflate_zlib_compress(c, raw.data(), raw.size(), packed.data(), packed.size());
    libdeflate_free_compressor(c);
    if (size == 0) Fail("deflate");
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    Be32(header, Width);
    Be32(header, Height);
    header.append("\x08\x02\x00\x00\x00", 5);
    Chunk(png, "IHDR", header.data(), header.size());
    Chunk(png, "IDAT", packed.data(), size);
    Chunk(png, "IEND", nullptr, 0);
    std::FILE* out = std::fopen(files[1].c_str(), "wb");
    if (!out || std::fwrite(png.data(), 1, png.size(), out) != png.size() || std::fclose(out) != 0) {
        Fail(files[1] + " に書き込めません");
    }
    const Clock::time_point t3 = Clock::now();
    if (verbose) {
        std::fprintf(stderr, "read and place %.1f ms, draw %.1f ms (%zu marks), PNG %.1f ms\n", ms(t0, t1), ms(t1, t2),
                     marksDrawn, ms(t2, t3));
        std::fprintf(stderr, "%zu lines, %zu records drawn, %zu not drawn, %zu categories:", lineNo, drawn, skipped,
                     names.size());
        for (const std::string& n : names) std::fprintf(stderr, " %s", n.c_str());
        std::fprintf(stderr, "\n");
    }
    return 0;
}
