#pragma once
// Angle text D.MMSSt: whole degrees, a point, then two digits of minutes,
// two of seconds and one of tenths of a second, all by position.
#include <string>
#include <string_view>

namespace kavum::geo {

double StrToDeg(std::string_view text);      // throws the conversion error of a bad piece
// The same conversion without the shortcut for plain digits (every text
// gives the same result or error as StrToDeg).
double StrToDegGeneral(std::string_view text);
std::string DegToStr(double degrees);

// Angle text read exactly: the whole angle in tenths of a second (degrees
// times 36000 plus minutes times 600 plus the three digits of seconds and
// tenths), with no binary fraction on the way. Every text gives the same
// error as StrToDeg. The flags tell what the text looks like: minutes or
// seconds of 60 or more, or digits after the fifth one after the point, are
// what decimal degrees read as angle text give.
struct ExactAngle {
    long long tenths = 0;
    bool sixtyOrMore = false;   // minutes or whole seconds of 60 and more
    bool extraDigits = false;   // digits beyond the fifth after the point
};
ExactAngle StrToTenths(std::string_view text);

}  // namespace kavum::geo
