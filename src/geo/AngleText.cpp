#include "AngleText.h"

#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kavum::geo {

using platform::IntToStr;
using platform::StrToDecimalInt;

namespace {

// m / 60 and t / 36000 for every two-digit m and three-digit t, worked out
// as the general path works them out, so that the sums are the same bits.
struct AngleTables {
    long double minutes[100];
    long double tenths[1000];
    AngleTables() {
        for (int m = 0; m < 100; ++m) minutes[m] = static_cast<long double>(m) / 60.0L;
        for (int t = 0; t < 1000; ++t) tenths[t] = static_cast<long double>(t) / 36000.0L;
    }
};

// Made before main; nothing converts angles during static initialisation.
const AngleTables tables;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double StrToDeg(std::string_view text) {
    // The common form: one to nine digits, then nothing or a point followed
    // by digits (only the first five count); anything else (a sign, blanks,
    // more digits, a bad character) takes the general path.
    const std::size_t n = text.size();
    std::size_t i = 0;
    std::uint32_t d = 0;
    while (i < n && i < 9 && IsDigit(text[i])) d = d * 10 + static_cast<std::uint32_t>(text[i++] - '0');
    if (i == 0 || (i < n && text[i] != '.')) return StrToDegGeneral(text);
    int digits[5] = {0, 0, 0, 0, 0};
    for (std::size_t k = 0; k < 5 && i + 1 + k < n; ++k) {
        const char c = text[i + 1 + k];
        if (!IsDigit(c)) return StrToDegGeneral(text);
        digits[k] = c - '0';
    }
    const long double sum = static_cast<long double>(d) + tables.minutes[digits[0] * 10 + digits[1]] +
                            tables.tenths[digits[2] * 100 + digits[3] * 10 + digits[4]];
    return static_cast<double>(sum);
}

namespace {

struct Pieces {
    std::int32_t d, m, t;
};

// The three integer pieces of angle text (degrees, minutes, tenths of
// seconds), as the general conversion reads them.
Pieces GeneralPieces(std::string_view text) {
    // The text with "00000" (or ".00000") appended, on the stack when short.
    const std::string_view tail = text.find('.') != std::string_view::npos ? "00000" : ".00000";
    char small[64];
    std::string large;
    std::string_view v;
    if (text.size() + tail.size() <= sizeof small) {
        std::copy(text.begin(), text.end(), small);
        std::copy(tail.begin(), tail.end(), small + text.size());
        v = std::string_view(small, text.size() + tail.size());
    } else {
        large = std::string(text) + std::string(tail);
        v = large;
    }
    const std::size_t p = v.find('.');
    const std::int32_t d = StrToDecimalInt(v.substr(0, p));
    const std::int32_t m = StrToDecimalInt(v.substr(p + 1, 2));
    const std::int32_t t = StrToDecimalInt(v.substr(p + 3, 3));
    return {d, m, t};
}

}  // namespace

double StrToDegGeneral(std::string_view text) {
    const Pieces p = GeneralPieces(text);
    const long double d = p.d;
    const long double m = p.m;
    const long double t = p.t;
    return static_cast<double>(d + m / 60.0L + t / 36000.0L);
}

ExactAngle StrToTenths(std::string_view text) {
    ExactAngle a;
    const std::size_t n = text.size();
    std::size_t i = 0;
    std::int64_t d = 0;
    while (i < n && i < 9 && IsDigit(text[i])) d = d * 10 + (text[i++] - '0');
    bool plain = i > 0 && (i == n || text[i] == '.');
    int digits[5] = {0, 0, 0, 0, 0};
    if (plain) {
        for (std::size_t k = 0; i + 1 + k < n; ++k) {
            const char c = text[i + 1 + k];
            if (!IsDigit(c)) {
                plain = false;
                break;
            }
            if (k < 5) {
                digits[k] = c - '0';
            } else {
                a.extraDigits = true;
            }
        }
    }
    std::int64_t m = 0;
    std::int64_t t = 0;
    if (plain) {
        m = digits[0] * 10 + digits[1];
        t = digits[2] * 100 + digits[3] * 10 + digits[4];
    } else {
        a.extraDigits = false;
        const Pieces p = GeneralPieces(text);
        d = p.d;
        m = p.m;
        t = p.t;
        // Digits beyond the fifth after the first point.
        const std::size_t point = text.find('.');
        if (point != std::string_view::npos) {
            std::size_t k = point + 6;
            while (k < text.size() && IsDigit(text[k])) {
                a.extraDigits = true;
                ++k;
            }
        }
    }
    a.sixtyOrMore = m >= 60 || t >= 600;
    a.tenths = d * 36000 + m * 600 + t;
    return a;
}

namespace {

std::string TwoDigits(double value) {
    std::string text = IntToStr(static_cast<std::int64_t>(std::trunc(value)));
    if (text.size() > 2) text.resize(2);
    while (text.size() < 2) text.insert(text.begin(), '0');
    return text;
}

}  // namespace

std::string DegToStr(double degrees) {
    if (!std::isfinite(degrees) || std::fabs(degrees) >= 9.2e18) return "0.0000";
    const double m = (degrees - std::trunc(degrees)) * 60.0;
    const double s = (m - std::trunc(m)) * 60.0;
    return IntToStr(static_cast<std::int64_t>(std::trunc(degrees))) + "." + TwoDigits(m) + TwoDigits(s);
}

}  // namespace kavum::geo
