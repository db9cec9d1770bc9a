#include "Numbers.h"

#include "Cp932.h"
#include "Errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kavum::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A short run of plain digits, the common case, read without the general rules.
bool PlainDigits(std::string_view text, std::size_t maxLength, std::int64_t& value) {
    if (text.empty() || text.size() > maxLength) return false;
    std::int64_t v = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

// The offending text as a message shows it: a text of a whole megabyte line
// would make a message nobody can read, so long texts are cut.
std::string Quoted(std::string_view text) {
    constexpr std::size_t Longest = 200;
    const std::string shown = Cp932ToDisplay(text.substr(0, Longest + 1));
    std::string quoted(1, '\'');
    if (text.size() <= Longest) {
        quoted += shown;
    } else {
        std::size_t cut = std::min(shown.size(), Longest);
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;  // whole characters
        quoted.append(shown, 0, cut);
        quoted += "\u2026";
    }
    quoted += '\'';
    return quoted;
}

[[noreturn]] void ThrowInteger(std::string_view text) {
    throw ConversionError(Quoted(text) + " is not a valid integer value");
}
[[noreturn]] void ThrowFloat(std::string_view text) {
    throw ConversionError(Quoted(text) + " is not a valid floating point value");
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses the integer forms; bits is 32 or 64. Hexadecimal may use every bit
// (so $FFFFFFFF is -1 for 32 bits), decimal must fit the signed range.
bool ParseInteger(std::string_view text, int bits, std::int64_t& result) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size()) return false;
    unsigned __int128 value = 0;
    const unsigned __int128 hexLimit = (static_cast<unsigned __int128>(1) << bits) - 1;
    const unsigned __int128 decLimit =
        (static_cast<unsigned __int128>(1) << (bits - 1)) - (negative ? 0 : 1);
    for (; i < text.size(); ++i) {
        if (hex) {
            const int d = HexValue(text[i]);
            if (d < 0) return false;
            value = value * 16 + static_cast<unsigned>(d);
            if (value > hexLimit) return false;
        } else {
            if (!IsDigit(text[i])) return false;
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            if (value > decLimit) return false;
        }
    }
    std::int64_t v;
    if (hex) {
        // Reinterpret the bit pattern in the requested width.
        if (bits == 32) {
            v = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        } else {
            v = static_cast<std::int64_t>(static_cast<std::uint64_t>(value));
        }
        if (negative) v = -v;
    } else {
        v = negative ? static_cast<std::int64_t>(-static_cast<__int128>(value))
                     : static_cast<std::int64_t>(value);
    }
    result = v;
    return true;
}

// Checks the decimal number syntax and returns the span to hand to
// from_chars (without blanks and without a leading "+").
bool FloatSyntax(std::string_view text, std::string& cleaned) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    std::string_view t = text.substr(b, e - b);
    std::size_t i = 0;
    cleaned.clear();
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') cleaned.push_back('-');
        ++i;
    }
    std::size_t digits = 0;
    while (i < t.size() && IsDigit(t[i])) {
        cleaned.push_back(t[i++]);
        ++digits;
    }
    if (i < t.size() && t[i] == '.') {
        cleaned.push_back('.');
        ++i;
        while (i < t.size() && IsDigit(t[i])) {
            cleaned.push_back(t[i++]);
            ++digits;
        }
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        cleaned.push_back('e');
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) cleaned.push_back(t[i++]);
        std::size_t expDigits = 0;
        while (i < t.size() && IsDigit(t[i])) {
            cleaned.push_back(t[i++]);
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    return i == t.size();
}

}  // namespace

std::int32_t StrToInt(std::string_view text) {
    std::int32_t v;
    if (!TryStrToInt(text, v)) ThrowInteger(text);
    return v;
}

bool TryStrToInt(std::string_view text, std::int32_t& value) {
    std::int64_t v;
    if (PlainDigits(text, 9, v)) {
        value = static_cast<std::int32_t>(v);
        return true;
    }
    if (!ParseInteger(text, 32, v)) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool TryStrToDecimalInt(std::string_view text, std::int32_t& value) {
    std::int64_t v;
    if (PlainDigits(text, 9, v)) {
        value = static_cast<std::int32_t>(v);
        return true;
    }
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && text[i] == '$') return false;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) return false;
    if (!ParseInteger(text, 32, v)) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

std::int32_t StrToDecimalInt(std::string_view text) {
    std::int32_t v;
    if (!TryStrToDecimalInt(text, v)) ThrowInteger(text);
    return v;
}

std::int64_t StrToInt64(std::string_view text) {
    std::int64_t v;
    if (!ParseInteger(text, 64, v)) ThrowInteger(text);
    return v;
}

bool TryStrToFloatExt(std::string_view text, long double& value) {
    // Short runs of plain digits (mesh code pieces) are exact without parsing.
    if (std::int64_t v; PlainDigits(text, 18, v)) {
        value = static_cast<long double>(v);
        return true;
    }
    std::string cleaned;
    if (!FloatSyntax(text, cleaned)) return false;
    long double v = 0;
    auto [ptr, ec] = std::from_chars(cleaned.data(), cleaned.data() + cleaned.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is an error.
        std::size_t ePos = cleaned.find('e');
        if (ePos != std::string::npos && cleaned.size() > ePos + 1 && cleaned[ePos + 1] == '-') {
            value = 0;
            return true;
        }
        return false;
    }
    if (ec != std::errc() || ptr != cleaned.data() + cleaned.size()) return false;
    value = v;
    return true;
}

long double StrToFloatExt(std::string_view text) {
    long double v;
    if (!TryStrToFloatExt(text, v)) ThrowFloat(text);
    return v;
}

double StrToFloat(std::string_view text) {
    long double v = StrToFloatExt(text);
    if (std::fabs(v) > std::numeric_limits<double>::max()) ThrowFloat(text);
    return static_cast<double>(v);
}

std::string IntToStr(std::int64_t value) {
    char buf[32];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    return std::string(buf, ptr);
}

std::string FormatFloat(std::string_view picture, double value) {
    // Only the first section of a sectioned picture is used.
    if (std::size_t semi = picture.find(';'); semi != std::string_view::npos) {
        picture = picture.substr(0, semi);
    }
    const std::size_t point = picture.find('.');
    const std::string_view intPic = picture.substr(0, point);
    const std::string_view fracPic =
        point == std::string_view::npos ? std::string_view() : picture.substr(point + 1);

    int intPlaces = 0;
    int minIntDigits = 0;
    for (char c : intPic) {
        if (c == '#' || c == '0') ++intPlaces;
    }
    {
        int k = intPlaces;
        for (char c : intPic) {
            if (c == '#' || c == '0') {
                --k;
                if (c == '0' && minIntDigits == 0) minIntDigits = k + 1;
            }
        }
    }
    int fracPlaces = 0;
    int minFracDigits = 0;
    for (char c : fracPic) {
        if (c == '#' || c == '0') {
            ++fracPlaces;
            if (c == '0') minFracDigits = fracPlaces;
        }
    }

    if (!std::isfinite(value)) {
        return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    }

    // Decimal digits of |value| to 15 significant places, then rounded half
    // away from zero at fracPlaces decimals.
    bool negative = value < 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    int exponent = 0;
    for (const char* p = buf; *p; ++p) {
        if (IsDigit(*p)) {
            digits.push_back(*p);
        } else if (*p == 'e') {
            exponent = std::atoi(p + 1);
            break;
        }
    }
    // digits d0 d1 ... with value = d0.d1... x 10^exponent
    const int keep = exponent + 1 + fracPlaces;  // digits kept
    if (keep < static_cast<int>(digits.size())) {
        bool roundUp = keep >= 0 && digits[static_cast<std::size_t>(keep)] >= '5';
        if (keep <= 0) {
            // Everything lies below the last place: zero, or one unit of it.
            digits.assign(1, roundUp ? '1' : '0');
            exponent = roundUp ? -fracPlaces : 0;
        } else {
            digits.resize(static_cast<std::size_t>(keep));
            if (roundUp) {
                int i = keep - 1;
                while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') {
                    digits[static_cast<std::size_t>(i)] = '0';
                    --i;
                }
                if (i < 0) {
                    digits.insert(digits.begin(), '1');
                    ++exponent;
                } else {
                    ++digits[static_cast<std::size_t>(i)];
                }
            }
        }
    }
    // Split into integer digits and fracPlaces fraction digits.
    auto digitAt = [&](int pos) {
        const int di = exponent - pos;
        return di >= 0 && di < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(di)] : '0';
    };
    std::string intDigits;
    std::string fracDigits;
    for (int pos = std::max(exponent, 0); pos >= 0; --pos) intDigits.push_back(digitAt(pos));
    for (int pos = -1; pos >= -fracPlaces; --pos) fracDigits.push_back(digitAt(pos));
    std::size_t nz = intDigits.find_first_not_of('0');
    intDigits = nz == std::string::npos ? std::string() : intDigits.substr(nz);
    bool allZero = intDigits.empty() && fracDigits.find_first_not_of('0') == std::string::npos;
    if (allZero) negative = false;
    while (static_cast<int>(intDigits.size()) < minIntDigits) intDigits.insert(intDigits.begin(), '0');
    while (static_cast<int>(fracDigits.size()) > minFracDigits && !fracDigits.empty() &&
           fracDigits.back() == '0') {
        fracDigits.pop_back();
    }

    std::string out;
    bool signDone = !negative;
    auto emitSign = [&] {
        if (!signDone) {
            out.push_back('-');
            signDone = true;
        }
    };
    const int shown = static_cast<int>(intDigits.size());
    int k = intPlaces;
    bool first = true;
    for (char c : intPic) {
        if (c == '#' || c == '0') {
            --k;
            if (first) {
                first = false;
                // Digits beyond the picture's places go before the first one.
                for (int pos = shown - 1; pos > k; --pos) {
                    emitSign();
                    out.push_back(intDigits[static_cast<std::size_t>(shown - 1 - pos)]);
                }
            }
            if (k < shown) {
                emitSign();
                out.push_back(intDigits[static_cast<std::size_t>(shown - 1 - k)]);
            }
        } else {
            out.push_back(c);
        }
    }
    if (intPlaces == 0) {
        emitSign();
        out += intDigits;
    }
    if (!fracDigits.empty()) {
        emitSign();
        out.push_back('.');
        std::size_t fi = 0;
        for (char c : fracPic) {
            if (c == '#' || c == '0') {
                if (fi < fracDigits.size()) out.push_back(fracDigits[fi]);
                ++fi;
            } else {
                out.push_back(c);
            }
        }
    } else {
        for (char c : fracPic) {
            if (c != '#' && c != '0') out.push_back(c);
        }
    }
    emitSign();
    return out;
}

int RoundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(std::nearbyint(value));
}

std::int64_t RoundHalfEven64(long double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18L) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2233720368547758e18L) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::nearbyintl(value));
}

std::int64_t Trunc64(long double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18L) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2233720368547758e18L) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

long double Frac(long double value) { return value - std::truncl(value); }

}  // namespace kavum::platform
