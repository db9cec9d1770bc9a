#include "MeshCode.h"

#include "platform/Numbers.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kavum::geo {

using platform::IntToStr;
using platform::StrToFloatExt;
using platform::StrToInt;

namespace {

constexpr std::array<PrecisionInfo, 6> PrecisionTable{{
    {PointPrecision::HalfMesh, 240, 160, "1/2", "GScale12", "1/2メッシュ表示", "PlotSize12", "1/２"},
    {PointPrecision::StandardMesh, 120, 80, "基準", "GScale1", "基準メッシュ表示", "PlotSize1", "３次"},
    {PointPrecision::DoubleMesh, 60, 40, "２倍", "GScale2", "２倍メッシュ表示", "PlotSize2", "２倍"},
    {PointPrecision::FivefoldMesh, 24, 16, "５倍", "GScale5", "５倍メッシュ表示", "PlotSize5", "５倍"},
    {PointPrecision::SecondMesh, 12, 8, "２次", "GScale10", "２次メッシュ表示", "PlotSize10", "２次"},
    {PointPrecision::LatLon, 0, 0, "経緯度", "GScale0", "経緯度による表示", "PlotSize0", "・"},
}};

constexpr std::array<MeshLineInfo, 4> MeshLineTable{{
    {MeshLineKind::MeshLineNone, "なし", "MScale0"},
    {MeshLineKind::MeshLineFirst, "１次", "MScale1"},
    {MeshLineKind::MeshLineSecond, "２次", "MScale2"},
    {MeshLineKind::MeshLineStandard, "基準", "MScale3"},
}};

bool InRange(char c, char lo, char hi) { return c >= lo && c <= hi; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Quotients of the digit values, computed once exactly as the general path
// computes them, so that plain-digit codes skip the text conversions.
struct DigitTables {
    long double lat1[100];  // y1 * 2 / 3
    long double lat2[10];   // y2 / 12
    long double lon2[10];   // x2 / 8
    long double lat3[10];   // y3 / 120
    long double lon3[10];   // x3 / 80
    // Standard mesh codes of eight digits: the first four digits' sums,
    // by the first two digits of each axis and its second-order digit, and
    // the third-order pieces with the half cell, added up in the order of
    // the general path so that the results are the same to the bit.
    long double stdLat12[1000];  // y1 * 2 / 3 + y2 / 12
    long double stdLon12[1000];  // x1 + 100 + x2 / 8
    long double stdLat3[10];     // y3 / 120 + 1 / 240
    long double stdLon3[10];     // x3 / 80 + 1 / 160
    DigitTables() {
        for (int i = 0; i < 100; ++i) lat1[i] = static_cast<long double>(i) * 2.0L / 3.0L;
        for (int i = 0; i < 10; ++i) {
            const auto d = static_cast<long double>(i);
            lat2[i] = d / 12.0L;
            lon2[i] = d / 8.0L;
            lat3[i] = d / 120.0L;
            lon3[i] = d / 80.0L;
        }
        for (int i = 0; i < 100; ++i) {
            for (int k = 0; k < 10; ++k) {
                long double lat = lat1[i];
                lat += lat2[k];
                stdLat12[i * 10 + k] = lat;
                long double lon = static_cast<long double>(i) + 100.0L;
                lon += lon2[k];
                stdLon12[i * 10 + k] = lon;
            }
        }
        for (int i = 0; i < 10; ++i) {
            stdLat3[i] = lat3[i] + 1.0L / 240.0L;
            stdLon3[i] = lon3[i] + 1.0L / 160.0L;
        }
    }
};
const DigitTables Tables;

long double LatFirst(std::string_view v) {
    if (IsDigit(v[0]) && IsDigit(v[1])) return Tables.lat1[(v[0] - '0') * 10 + (v[1] - '0')];
    return StrToFloatExt(v.substr(0, 2)) * 2.0L / 3.0L;
}
long double Piece(std::string_view v, std::size_t pos, const long double (&table)[10], long double divisor) {
    if (IsDigit(v[pos])) return table[v[pos] - '0'];
    return StrToFloatExt(v.substr(pos, 1)) / divisor;
}
long double LonFirst(std::string_view v) {
    if (IsDigit(v[2]) && IsDigit(v[3])) return static_cast<long double>((v[2] - '0') * 10 + (v[3] - '0'));
    return StrToFloatExt(v.substr(2, 2));
}

}  // namespace

std::span<const PrecisionInfo> Precisions() { return PrecisionTable; }

const PrecisionInfo* FindPrecision(int value) {
    for (const PrecisionInfo& info : PrecisionTable) {
        if (static_cast<int>(info.precision) == value) return &info;
    }
    return nullptr;
}

std::span<const MeshLineInfo> MeshLineKinds() { return MeshLineTable; }

const MeshLineInfo* FindMeshLineKind(int value) {
    for (const MeshLineInfo& info : MeshLineTable) {
        if (static_cast<int>(info.kind) == value) return &info;
    }
    return nullptr;
}

std::optional<GeoPoint> MeshCodeToPoint(std::string_view code, PointPrecision precision) {
    const std::size_t n = code.size();
    if (precision == PointPrecision::StandardMesh && n >= 8) {
        unsigned d[8];
        bool digits = true;
        for (std::size_t k = 0; k < 8; ++k) {
            d[k] = static_cast<unsigned char>(code[k]) - unsigned{'0'};
            digits = digits && d[k] < 10;
        }
        if (digits) {
            if (n == 9 && code[8] == '5') return std::nullopt;
            const long double lat = Tables.stdLat12[(d[0] * 10 + d[1]) * 10 + d[4]] + Tables.stdLat3[d[6]];
            const long double lon = Tables.stdLon12[(d[2] * 10 + d[3]) * 10 + d[5]] + Tables.stdLon3[d[7]];
            return GeoPoint{lat, lon};
        }
    }
    if (n < 6) return std::nullopt;
    // Positions 1-9 are all that is read; missing ones count as "0".
    char padded[9];
    for (std::size_t k = 0; k < 9; ++k) padded[k] = k < n ? code[k] : '0';
    const std::string_view v(padded, 9);
    const std::string_view y3 = v.substr(6, 1);
    const std::string_view x3 = v.substr(7, 1);
    const char q = v[8];

    long double lat = LatFirst(v);
    lat += Piece(v, 4, Tables.lat2, 12.0L);
    long double lon = LonFirst(v) + 100.0L;
    lon += Piece(v, 5, Tables.lon2, 8.0L);

    switch (precision) {
    case PointPrecision::LatLon:
        break;
    case PointPrecision::StandardMesh:
        if (n == 9 && q == '5') return std::nullopt;
        if (n < 8) return std::nullopt;
        lat += Piece(v, 6, Tables.lat3, 120.0L) + 1.0L / 240.0L;
        lon += Piece(v, 7, Tables.lon3, 80.0L) + 1.0L / 160.0L;
        break;
    case PointPrecision::DoubleMesh:
        if (n < 8) return std::nullopt;
        lat += static_cast<long double>(StrToInt(y3) / 2) / 60.0L + 1.0L / 120.0L;
        lon += static_cast<long double>(StrToInt(x3) / 2) / 40.0L + 1.0L / 80.0L;
        break;
    case PointPrecision::FivefoldMesh: {
        if (n < 7) return std::nullopt;
        const char c7 = v[6];
        const char c8 = v[7];
        if (n == 7) {
            if (c7 == '3' || c7 == '4') lat += 1.0L / 24.0L;
            if (c7 == '2' || c7 == '4') lon += 1.0L / 16.0L;
        } else {
            if (InRange(c7, '5', '9')) lat += 1.0L / 24.0L;
            if (InRange(c8, '5', '9')) lon += 1.0L / 16.0L;
        }
        lat += 1.0L / 48.0L;
        lon += 1.0L / 32.0L;
        break;
    }
    case PointPrecision::SecondMesh:
        lat += 1.0L / 24.0L;
        lon += 1.0L / 16.0L;
        break;
    case PointPrecision::HalfMesh:
        if (n < 9) return std::nullopt;
        if (q == '5') return std::nullopt;
        lat += Piece(v, 6, Tables.lat3, 120.0L);
        lon += Piece(v, 7, Tables.lon3, 80.0L);
        if (q == '3' || q == '4') lat += 1.0L / 240.0L;
        if (q == '2' || q == '4') lon += 1.0L / 160.0L;
        lat += 1.0L / 480.0L;
        lon += 1.0L / 320.0L;
        break;
    default:
        // A precision outside the list draws like latitude/longitude.
        break;
    }
    return GeoPoint{lat, lon};
}

std::optional<GeoPoint> SnapToCell(long double latitude, long double longitude, PointPrecision precision) {
    if (precision == PointPrecision::LatLon) return GeoPoint{latitude, longitude};
    const PrecisionInfo* info = FindPrecision(static_cast<int>(precision));
    if (info == nullptr) return GeoPoint{latitude, longitude};
    constexpr long double Limit64 = 9.2233720368547758e18L;
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) >= Limit64 ||
        std::fabs(longitude) >= Limit64) {
        return std::nullopt;
    }
    const long double latWhole = std::truncl(latitude);
    const long double lonWhole = std::truncl(longitude);
    const auto i0 = static_cast<std::int32_t>((latitude - latWhole) * 36000.0L);
    const auto j0 = static_cast<std::int32_t>((longitude - lonWhole) * 36000.0L);
    const std::int32_t s = 36000 / info->cellsPerDegreeLat;
    const std::int32_t t = 36000 / info->cellsPerDegreeLon;
    const std::int32_t i = (i0 / s) * s;
    const std::int32_t j = (j0 / t) * t;
    const long double lat = static_cast<long double>(static_cast<std::int64_t>(latWhole)) + i / 36000.0L + info->HalfCellLat();
    const long double lon = static_cast<long double>(static_cast<std::int64_t>(lonWhole)) + j / 36000.0L + info->HalfCellLon();
    return GeoPoint{lat, lon};
}

GeoPoint SnapTenthsToCell(long long latTenths, long long lonTenths, PointPrecision precision) {
    const PrecisionInfo* info = FindPrecision(static_cast<int>(precision));
    if (precision == PointPrecision::LatLon || info == nullptr) {
        return GeoPoint{static_cast<long double>(latTenths) / 36000.0L, static_cast<long double>(lonTenths) / 36000.0L};
    }
    const long long s = 36000 / info->cellsPerDegreeLat;
    const long long t = 36000 / info->cellsPerDegreeLon;
    const long long i = (latTenths % 36000) / s * s;
    const long long j = (lonTenths % 36000) / t * t;
    const long double lat = static_cast<long double>(latTenths / 36000) + static_cast<std::int32_t>(i) / 36000.0L +
                            info->HalfCellLat();
    const long double lon = static_cast<long double>(lonTenths / 36000) + static_cast<std::int32_t>(j) / 36000.0L +
                            info->HalfCellLon();
    return GeoPoint{lat, lon};
}

bool InMeshArea(long long latTenths, long long lonTenths) {
    return latTenths >= 0 && latTenths < (66 * 60 + 40) * 600LL && lonTenths >= 100 * 36000LL &&
           lonTenths < 180 * 36000LL;
}

std::string PointToMeshCode(double latitude, double longitude) {
    auto whole = [](double x) {
        if (!std::isfinite(x) || std::fabs(x) >= 9.2e18) return std::string("0");
        return IntToStr(static_cast<std::int64_t>(std::trunc(x)));
    };
    auto frac = [](double x) { return std::isfinite(x) ? x - std::trunc(x) : 0.0; };
    const double a = latitude * 1.5;
    const double b = frac(a) * 8.0;
    const double c = longitude - 100.0;
    const double d = frac(c) * 8.0;
    return whole(a) + whole(c) + whole(b) + whole(d) + whole(frac(b) * 10.0) + whole(frac(d) * 10.0);
}

}  // namespace kavum::geo
