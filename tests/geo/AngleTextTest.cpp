#include "geo/AngleText.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cmath>

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
