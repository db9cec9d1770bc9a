#pragma once
// Shift-JIS (code page 932) text. Conversions are lossless: a byte that is
// not part of a valid CP932 character is carried through Unicode as a
// private-use character U+F700 + byte (such bytes are always 0x80..0xFF)
// and written back as the same byte.
#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace kavum::platform {

std::string Cp932ToUtf8(std::string_view cp932);
// Characters that have no CP932 form become "?" and clear *exact.
std::string Utf8ToCp932(std::string_view utf8, bool* exact = nullptr);

// For messages: like Cp932ToUtf8, but a byte that is not valid text shows
// as "?".
std::string Cp932ToDisplay(std::string_view cp932);

QString Cp932ToQString(std::string_view cp932);
std::string QStringToCp932(const QString& text, bool* exact = nullptr);

// True when every character of the text has a CP932 form.
bool EncodesInCp932(const QString& text);

// Splits at CR LF or LF; a text without any LF splits at CR (old Macintosh
// files). A lone CR in a text that has LFs stays in its line. A final line
// without a line end is a line; a text that ends with a line end has no
// empty line after it.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace kavum::platform
