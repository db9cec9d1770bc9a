#pragma once
// Number conversion and formatting with fixed, locale-independent rules.
#include <cstdint>
#include <string>
#include <string_view>

namespace kavum::platform {

// Decimal integer with optional leading blanks and sign; also hexadecimal
// with the prefix "$", "0x" or "0X". Throws ConversionError
// "'%s' is not a valid integer value" for anything else or out of range.
std::int32_t StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, std::int32_t& value);
// Decimal only, as data lines and angle text are read: the hexadecimal
// forms above fail with the same message.
std::int32_t StrToDecimalInt(std::string_view text);
bool TryStrToDecimalInt(std::string_view text, std::int32_t& value);
// The same rules as StrToInt for the 64-bit range.
std::int64_t StrToInt64(std::string_view text);

// Decimal number: optional leading and trailing blanks, optional sign,
// digits with an optional "." and fraction, optional exponent.
// Throws ConversionError "'%s' is not a valid floating point value".
double StrToFloat(std::string_view text);
long double StrToFloatExt(std::string_view text);
bool TryStrToFloatExt(std::string_view text, long double& value);

// Picture formatting: "#" an optional digit, "0" a digit always shown,
// "." the decimal point; any other character is copied.
std::string FormatFloat(std::string_view picture, double value);

// Decimal text of an integer, as the platform writes it.
std::string IntToStr(std::int64_t value);

// Nearest integer, a half to the even neighbour. Values beyond the int
// range are clamped.
int RoundHalfEven(double value);
std::int64_t RoundHalfEven64(long double value);
// Toward zero.
std::int64_t Trunc64(long double value);
long double Frac(long double value);

}  // namespace kavum::platform
