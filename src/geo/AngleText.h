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

}  // namespace kavum::geo
