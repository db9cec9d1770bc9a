#include "AngleText.h"

#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>

namespace kavum::geo {

using platform::IntToStr;
using platform::StrToDecimalInt;

double StrToDeg(std::string_view text) {
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
    const long double d = StrToDecimalInt(v.substr(0, p));
    const long double m = StrToDecimalInt(v.substr(p + 1, 2));
    const long double t = StrToDecimalInt(v.substr(p + 3, 3));
    return static_cast<double>(d + m / 60.0L + t / 36000.0L);
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
