#include "RecordLine.h"

#include "geo/AngleText.h"
#include "platform/Numbers.h"

namespace kavum::data {

using geo::PointPrecision;

std::string_view CutComment(std::string_view line) {
    const std::size_t semi = line.find(';');
    return semi == std::string_view::npos ? line : line.substr(0, semi);
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

ParsedLine Rejected() {
    ParsedLine r;
    r.kind = ParsedLine::Kind::Rejected;
    return r;
}

ParsedLine Accepted(long double lat, long double lon, long double elevation) {
    ParsedLine r;
    r.kind = ParsedLine::Kind::Record;
    r.record.Latitude = lat;
    r.record.Longitude = lon;
    r.record.Elevation = elevation;
    return r;
}

ParsedLine LatLonLine(std::string_view s, PointPrecision precision) {
    const std::size_t p = s.find(',');
    const long double lat = geo::StrToDeg(s.substr(0, p));
    const std::string_view rest = s.substr(p + 1, 40);
    const std::size_t k = rest.find(',');
    long double lon = 0;
    long double elevation = NoElevation;
    if (k == std::string_view::npos) {
        lon = geo::StrToDeg(rest);
    } else if (k >= 3) {
        lon = geo::StrToDeg(rest.substr(0, k));
        const long double e = platform::StrToFloatExt(rest.substr(k + 1, 40));
        if (precision == PointPrecision::LatLon) {
            elevation = e;
        } else {
            elevation = static_cast<long double>(platform::Trunc64(e / 100.0L)) * 100 + 50;
        }
    } else {
        // A longitude of fewer than 3 bytes followed by a "," cannot be a
        // longitude and an elevation: the line is not used.
        return Rejected();
    }
    auto snapped = geo::SnapToCell(lat, lon, precision);
    if (!snapped) return Rejected();
    return Accepted(snapped->latitude, snapped->longitude, elevation);
}

ParsedLine MeshLine(std::string_view line, PointPrecision precision) {
    // A mesh code may carry an "N" from its seventh byte of the line on (for
    // example 533946N11); the first N of the line is dropped when it stands
    // there after a digit. This comes before anything else, so a leading
    // blank counts as a byte of the line.
    std::string s(line);
    const std::size_t n = s.find('N');
    if (n != std::string::npos && n >= 6 && IsDigit(s[n - 1])) s.erase(n, 1);
    // Leading blanks are not part of the code, which is read by position.
    std::size_t start = 0;
    while (start < s.size() && s[start] == ' ') ++start;
    const std::string_view code = std::string_view(s).substr(start);

    long double elevation = NoElevation;
    const std::size_t d = code.find('.');
    std::string_view digits = code;
    if (d != std::string::npos && d > 0) {
        elevation = static_cast<long double>(platform::StrToDecimalInt(digits.substr(d + 1, 2))) * 100 + 50;
        digits = digits.substr(0, d);
    }
    auto point = geo::MeshCodeToPoint(digits, precision);
    if (!point) return Rejected();
    return Accepted(point->latitude, point->longitude, elevation);
}

}  // namespace

ParsedLine::Kind ClassifyLine(std::string_view line) {
    const std::string_view s = CutComment(line);
    if (s.empty()) return ParsedLine::Kind::Empty;
    if (s.find(',') != std::string_view::npos) return ParsedLine::Kind::Record;
    if (s.size() >= 6 && (s[0] == ' ' || IsDigit(s[0]))) return ParsedLine::Kind::Record;
    return ParsedLine::Kind::Heading;
}

ParsedLine ParseRecordLine(std::string_view line, PointPrecision precision) {
    const std::string_view s = CutComment(line);
    switch (ClassifyLine(s)) {
    case ParsedLine::Kind::Empty:
        return {};
    case ParsedLine::Kind::Heading: {
        ParsedLine heading;
        heading.kind = ParsedLine::Kind::Heading;
        heading.name = std::string(s);
        return heading;
    }
    default:
        break;
    }
    if (s.find(',') != std::string_view::npos) return LatLonLine(s, precision);
    return MeshLine(s, precision);
}

}  // namespace kavum::data
