#pragma once
// The grammar of distribution data lines: headings that name categories and
// record lines that place one occurrence by mesh code or latitude/longitude.
// Lines are Shift-JIS bytes; lengths and positions count bytes.
#include "geo/MeshCode.h"

#include <string>
#include <string_view>

namespace kavum::data {

// The elevation of a record that gives none.
constexpr long double NoElevation = 8888;

struct DistributionRecord {
    int Category = 0;            // 1..9, set by the plotting pass
    long double Latitude = 0;    // degrees north
    long double Longitude = 0;   // degrees east
    long double Elevation = NoElevation;  // metres
};

// What a record line looked like beyond its kind: data that is drawn but
// suspicious, or refused for a reason the user should hear.
enum class LineNotice {
    None,
    OutsideMeshArea,       // refused: the position lies where no mesh code reaches
    MeshCodeWithComma,     // refused: a mesh code with "," before its elevation code
    LooksDecimal,          // drawn: minutes or seconds of 60 or more, or more than five digits
    ExponentCode,          // drawn: a mesh code in exponent form, read as its digits
    ExponentCodeInexact,   // refused: a mesh code in exponent form that is no whole number
};
// The message of a notice (UTF-8), without the line.
const char* NoticeMessage(LineNotice notice);
// Whether a line with the notice is drawn.
bool NoticeDrawn(LineNotice notice);

struct ParsedLine {
    enum class Kind { Empty, Heading, Rejected, Record };
    Kind kind = Kind::Empty;
    LineNotice notice = LineNotice::None;
    std::string name;            // Heading: the line up to its comment, untrimmed
    DistributionRecord record;   // Record: position and elevation (Category left 0)
};

// A mesh code that a spreadsheet wrote in exponent form (5.53750131E8).
struct ExponentCode {
    bool found = false;   // the text has that form
    bool exact = false;   // every digit of the code is in the mantissa
    std::string digits;   // the code's digits when exact
};
// Exact only when the exponent reaches exactly the last decimal of the
// mantissa: a shorter exponent leaves a fraction, a longer one would make
// up the last digits as zeros, which is how a spreadsheet's rounding
// (5.54E+08) looks.
ExponentCode ReadExponentCode(std::string_view text);

// The text of a line before its first ";".
std::string_view CutComment(std::string_view line);

// The kind of a line by the grammar alone, without reading its pieces:
// Empty, Heading, or Record for every record line (accepted or not).
ParsedLine::Kind ClassifyLine(std::string_view line);

// Classifies and reads one line at the given precision. Throws the
// conversion error of a piece that is not a number.
ParsedLine ParseRecordLine(std::string_view line, geo::PointPrecision precision);

}  // namespace kavum::data
