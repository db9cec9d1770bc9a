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

ParsedLine Refused(LineNotice notice) {
    ParsedLine r = Rejected();
    r.notice = notice;
    return r;
}

// Six or more digits and nothing else: a mesh code, not a latitude.
bool LooksLikeMeshCode(std::string_view s) {
    std::size_t digits = 0;
    for (char c : s) {
        if (!IsDigit(c)) return false;
        ++digits;
    }
    return digits >= 6;
}

ParsedLine LatLonLine(std::string_view s, PointPrecision precision) {
    const std::size_t p = s.find(',');
    const std::string_view latText = s.substr(0, p);
    const geo::ExactAngle latExact = geo::StrToTenths(latText);
    const std::string_view rest = s.substr(p + 1, 40);
    const std::size_t k = rest.find(',');
    geo::ExactAngle lonExact;
    long double elevation = NoElevation;
    if (k == std::string_view::npos) {
        lonExact = geo::StrToTenths(rest);
    } else if (k >= 3) {
        lonExact = geo::StrToTenths(rest.substr(0, k));
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
    if (!geo::InMeshArea(latExact.tenths, lonExact.tenths)) {
        return Refused(LooksLikeMeshCode(latText) ? LineNotice::MeshCodeWithComma : LineNotice::OutsideMeshArea);
    }
    ParsedLine r;
    if (precision == PointPrecision::LatLon) {
        // The position itself, as the angle text gives it in degrees.
        r = Accepted(geo::StrToDeg(latText), geo::StrToDeg(k == std::string_view::npos ? rest : rest.substr(0, k)),
                     elevation);
    } else {
        const geo::GeoPoint cell = geo::SnapTenthsToCell(latExact.tenths, lonExact.tenths, precision);
        r = Accepted(cell.latitude, cell.longitude, elevation);
    }
    if (latExact.sixtyOrMore || lonExact.sixtyOrMore || latExact.extraDigits || lonExact.extraDigits) {
        r.notice = LineNotice::LooksDecimal;
    }
    return r;
}

ParsedLine MeshLine(std::string_view line, PointPrecision precision) {
    // A mesh code may carry an "N" from its seventh byte of the line on (for
    // example 533946N11); the first N of the line is dropped when it stands
    // there after a digit. This comes before anything else, so a leading
    // blank counts as a byte of the line.
    std::string withoutN;
    std::string_view s = line;
    const std::size_t n = line.find('N');
    if (n != std::string_view::npos && n >= 6 && IsDigit(line[n - 1])) {
        withoutN.reserve(line.size() - 1);
        withoutN.append(line.substr(0, n)).append(line.substr(n + 1));
        s = withoutN;
    }
    // Leading blanks are not part of the code, which is read by position.
    std::size_t start = 0;
    while (start < s.size() && s[start] == ' ') ++start;
    const std::string_view code = s.substr(start);

    if (const ExponentCode exponent = ReadExponentCode(code); exponent.found) {
        if (!exponent.exact) return Refused(LineNotice::ExponentCodeInexact);
        auto point = geo::MeshCodeToPoint(exponent.digits, precision);
        if (!point) return Rejected();
        ParsedLine r = Accepted(point->latitude, point->longitude, NoElevation);
        r.notice = LineNotice::ExponentCode;
        return r;
    }

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

ExponentCode ReadExponentCode(std::string_view code) {
    ExponentCode out;
    bool hasE = false;
    for (char c : code) hasE = hasE || c == 'E' || c == 'e';
    if (!hasE) return out;
    std::size_t i = 0;
    std::string mantissa;
    while (i < code.size() && IsDigit(code[i])) mantissa += code[i++];
    if (mantissa.empty()) return out;
    std::size_t fraction = 0;
    if (i < code.size() && code[i] == '.') {
        ++i;
        while (i < code.size() && IsDigit(code[i])) {
            mantissa += code[i++];
            ++fraction;
        }
    }
    if (i >= code.size() || (code[i] != 'E' && code[i] != 'e')) return out;
    ++i;
    if (i < code.size() && code[i] == '+') ++i;
    if (i >= code.size()) return out;
    std::size_t exponent = 0;
    for (; i < code.size(); ++i) {
        if (!IsDigit(code[i]) || exponent > 100) return out;
        exponent = exponent * 10 + static_cast<std::size_t>(code[i] - '0');
    }
    out.found = true;
    if (exponent != fraction) return out;
    const std::size_t lead = mantissa.find_first_not_of('0');
    out.exact = true;
    out.digits = lead == std::string::npos ? std::string("0") : mantissa.substr(lead);
    return out;
}

const char* NoticeMessage(LineNotice notice) {
    switch (notice) {
    case LineNotice::OutsideMeshArea:
        return "位置が地域メッシュの範囲（北緯 0°～66°40′、東経 100°～180°）の外にあるため描きません";
    case LineNotice::MeshCodeWithComma:
        return "緯度がメッシュコードのような数です。メッシュコードと標高コードの区切りは「.」です。描きません";
    case LineNotice::LooksDecimal:
        return "分または秒が 60 以上か、小数点以下が 6 桁以上あります。十進の度ではありませんか（度.分秒として描きました）";
    case LineNotice::ExponentCode:
        return "指数表記のメッシュコードを数字に直して描きました";
    case LineNotice::ExponentCodeInexact:
        return "指数表記のメッシュコードで桁が欠けているか丸められているため描きません";
    case LineNotice::None:
        break;
    }
    return "";
}

bool NoticeDrawn(LineNotice notice) {
    return notice == LineNotice::None || notice == LineNotice::LooksDecimal || notice == LineNotice::ExponentCode;
}

ParsedLine::Kind ClassifyLine(std::string_view line) {
    const std::string_view s = CutComment(line);
    if (s.empty()) return ParsedLine::Kind::Empty;
    if (s.find(',') != std::string_view::npos) return ParsedLine::Kind::Record;
    if (s.size() >= 6 && (s[0] == ' ' || IsDigit(s[0]))) return ParsedLine::Kind::Record;
    return ParsedLine::Kind::Heading;
}

ParsedLine ParseRecordLine(std::string_view line, PointPrecision precision) {
    // One look at each byte finds the comment and the comma of the line.
    std::size_t size = line.size();
    bool comma = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (line[i] == ';') {
            size = i;
            break;
        }
        comma = comma || line[i] == ',';
    }
    const std::string_view s = line.substr(0, size);
    if (s.empty()) return {};
    if (comma) return LatLonLine(s, precision);
    if (s.size() >= 6 && (s[0] == ' ' || IsDigit(s[0]))) return MeshLine(s, precision);
    ParsedLine heading;
    heading.kind = ParsedLine::Kind::Heading;
    heading.name = std::string(s);
    return heading;
}

}  // namespace kavum::data
