#include "geo/AngleText.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace kavum::geo;
using kavum::platform::ConversionError;

TEST(AngleText, DigitsAfterThePointArePositional) {
    EXPECT_DOUBLE_EQ(StrToDeg("35"), 35.0);
    EXPECT_DOUBLE_EQ(StrToDeg("35."), 35.0);
    EXPECT_DOUBLE_EQ(StrToDeg("35.3"), 35.5);
    EXPECT_DOUBLE_EQ(StrToDeg("35.30"), 35.5);
    EXPECT_DOUBLE_EQ(StrToDeg("35.05"), 35.0 + 5.0 / 60);
    EXPECT_DOUBLE_EQ(StrToDeg("35.3015"), static_cast<double>(35.0L + 30.0L / 60 + 150.0L / 36000));
    EXPECT_DOUBLE_EQ(StrToDeg("35.30155"), static_cast<double>(35.0L + 30.0L / 60 + 155.0L / 36000));
    EXPECT_EQ(StrToDeg("35.301512"), StrToDeg("35.30151"));
    EXPECT_DOUBLE_EQ(StrToDeg("35.75"), 36.25);        // minutes of 60 or more are taken as they are
    EXPECT_DOUBLE_EQ(StrToDeg(" 35.30"), 35.5);        // leading blank
    EXPECT_DOUBLE_EQ(StrToDeg("-1.30"), -0.5);         // the sign belongs to the degrees only
    EXPECT_DOUBLE_EQ(StrToDeg("139.4610"), static_cast<double>(139.0L + 46.0L / 60 + 100.0L / 36000));
}

TEST(AngleText, BadPiecesRaiseTheIntegerError) {
    auto message = [](const char* text) {
        try {
            StrToDeg(text);
        } catch (const ConversionError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("35.3 "), "'3 ' is not a valid integer value");
    EXPECT_EQ(message("1.5.3"), "'5.' is not a valid integer value");
    EXPECT_EQ(message(""), "'' is not a valid integer value");
    EXPECT_EQ(message(".30"), "'' is not a valid integer value");
    EXPECT_EQ(message("3a.30"), "'3a' is not a valid integer value");
    EXPECT_EQ(message("35 "), "'35 ' is not a valid integer value");
}

TEST(AngleText, DegToStrTruncatesEveryStep) {
    EXPECT_EQ(DegToStr(35.5), "35.3000");
    EXPECT_EQ(DegToStr(135.0), "135.0000");
    EXPECT_EQ(DegToStr(139.7), "139.4159");   // one second low: 139.7 is not exact in binary
    EXPECT_EQ(DegToStr(35.75), "35.4500");
    EXPECT_EQ(DegToStr(135.25), "135.1500");
    EXPECT_EQ(DegToStr(5.0 + 1.0 / 60), "5.0059");   // 0.9999... minutes truncate to 0
}

TEST(AngleText, RoundTripTruncatesToWholeSeconds) {
    const double angles[] = {35.672361, 139.769444, 43.123456, 128.99999};
    for (double a : angles) {
        const double back = StrToDeg(DegToStr(a));
        EXPECT_LE(back, a);
        EXPECT_GT(back, a - 1.0 / 3600 - 1e-12);
        const double seconds = back * 3600;
        EXPECT_NEAR(seconds, std::round(seconds), 1e-6);
    }
}

namespace {

// The result of a conversion as bits, or the error's text.
std::string Outcome(double (*convert)(std::string_view), std::string_view text) {
    try {
        const double v = convert(text);
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        return std::to_string(bits);
    } catch (const ConversionError& e) {
        return std::string("error: ") + e.what();
    }
}

}  // namespace

TEST(AngleText, TheShortcutGivesTheGeneralResultBitForBit) {
    std::vector<std::string> texts;
    // Every fraction of up to five digits after some degrees, in every length.
    for (const char* degrees : {"0", "35", "139", "999999999"}) {
        for (int f = 0; f < 100000; f += (f < 2000 ? 1 : 7)) {
            char digits[8];
            std::snprintf(digits, sizeof digits, "%05d", f);
            for (int len = 0; len <= 5; ++len) texts.push_back(std::string(degrees) + "." + std::string(digits, len));
        }
    }
    // Odd forms: no point, leading zeros, nine and ten digits, digits past
    // the fifth, characters after them, signs, blanks, bad pieces.
    for (const char* t : {"35", "035", "000000035", "0000000035", "123456789", "1234567890", "4294967296.1",
                          "35.301512", "35.30151x", "35.30151.2", "35.30151 ", "35.3015 ", "35.3 ", "35. 3", "35.+3",
                          "35.-3", "35..", "35.3a", "+35.30", "-35.30", " 35.30", "35 .30", "3a.30", ".30", ".", "",
                          "35.99999", "0.", "00.00000", "-0.30", "35.\xef", "\xef.30", "35,30", "35.0x1"}) {
        texts.emplace_back(t);
    }
    std::mt19937 rng(17);
    const std::string alphabet = "0123456789.+- x";
    for (int i = 0; i < 200000; ++i) {
        std::string t;
        const int len = static_cast<int>(rng() % 14);
        for (int k = 0; k < len; ++k) {
            // Mostly digits, with a point in the middle and now and then
            // something else.
            const unsigned r = static_cast<unsigned>(rng() % 100);
            t += r < 80 ? static_cast<char>('0' + r % 10) : r < 92 ? '.' : alphabet[r % alphabet.size()];
        }
        texts.push_back(std::move(t));
    }
    for (const std::string& t : texts) {
        ASSERT_EQ(Outcome(StrToDeg, t), Outcome(StrToDegGeneral, t)) << '"' << t << '"';
    }
}
