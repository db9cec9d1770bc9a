#pragma once
// Angle text D.MMSSt: whole degrees, a point, then two digits of minutes,
// two of seconds and one of tenths of a second, all by position.
#include <string>
#include <string_view>

namespace kavum::geo {

double StrToDeg(std::string_view text);      // throws the conversion error of a bad piece
std::string DegToStr(double degrees);

}  // namespace kavum::geo
