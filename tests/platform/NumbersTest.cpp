#include "platform/Errors.h"
#include "platform/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kavum::platform;

TEST(Numbers, IntegersInDecimalAndHexadecimal) {
    EXPECT_EQ(StrToInt("  -42"), -42);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("$0000FF"), 255);
    EXPECT_EQ(StrToInt("0x0000FF"), 255);
    EXPECT_EQ(StrToInt("0XfF"), 255);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    for (const char* bad : {"", " ", "-", "12 ", "1.5", "2147483648", "$", "0x", "$1FFFFFFFF", "1e3", "٣"}) {
        std::int32_t v = 0;
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    }
    // The decimal-only reading takes the same decimal texts and no others.
    EXPECT_EQ(StrToDecimalInt("  -42"), -42);
    EXPECT_EQ(StrToDecimalInt("0"), 0);
    EXPECT_EQ(StrToDecimalInt("007"), 7);
    for (const char* bad : {"$8B", "0x8B", "-$8B", " 0X8b", "$", "", "2147483648"}) {
        std::int32_t v = 0;
        EXPECT_FALSE(TryStrToDecimalInt(bad, v)) << bad;
    }
}

TEST(Numbers, ConversionMessagesQuoteTheText) {
    try {
        StrToInt("3 ");
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'3 ' is not a valid integer value");
    }
    try {
        StrToFloat("35.1,2");
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'35.1,2' is not a valid floating point value");
    }
    // Shift-JIS text in a message is shown as text.
    try {
        StrToFloat("\x83\x75");
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'ブ' is not a valid floating point value");
    }
}

TEST(Numbers, LongTextsAreCutInMessages) {
    try {
        StrToFloat(std::string(1 << 20, 'x'));
        FAIL();
    } catch (const ConversionError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + std::string(200, 'x') + "…' is not a valid floating point value");
    }
}

TEST(Numbers, FloatingPointForms) {
    EXPECT_DOUBLE_EQ(StrToFloat(" 35.5 "), 35.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-1.5e2"), -150);
    EXPECT_DOUBLE_EQ(StrToFloat("+2E-1"), 0.2);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("5."), 5);
    EXPECT_DOUBLE_EQ(StrToFloat("35.12345"), 35.12345);
    EXPECT_EQ(StrToFloat("1e-5000"), 0.0);
    for (const char* bad : {"", ".", "e5", "1e", "1e+", "1,5", "inf", "nan", "0x10", "1 2", "1e400", "--1"}) {
        long double v;
        EXPECT_FALSE(TryStrToFloatExt(bad, v) && std::isfinite(static_cast<double>(v))) << bad;
    }
    EXPECT_THROW(StrToFloat("1e400"), ConversionError);
}

TEST(Numbers, PictureFormats) {
    EXPECT_EQ(FormatFloat("###.0", 132.0), "132.0");
    EXPECT_EQ(FormatFloat("###.0", 35.05), "35.1");   // half away from zero, on the decimal digits
    EXPECT_EQ(FormatFloat("###.0", 0.0), ".0");
    EXPECT_EQ(FormatFloat("###.0", -0.04), ".0");
    EXPECT_EQ(FormatFloat("###.0", 1234.56), "1234.6");
    EXPECT_EQ(FormatFloat("##.0", 33.3333333), "33.3");
    EXPECT_EQ(FormatFloat("##.0", 99.96), "100.0");
    EXPECT_EQ(FormatFloat("###0", 0.0), "0");
    EXPECT_EQ(FormatFloat("###0", 36.5), "37");
    EXPECT_EQ(FormatFloat("###0m", 1000.0), "1000m");
    EXPECT_EQ(FormatFloat("###0m", 0.0), "0m");
    EXPECT_EQ(FormatFloat(" ##", 40.0), " 40");
    EXPECT_EQ(FormatFloat(" ##", 0.0), " ");
    EXPECT_EQ(FormatFloat("###0", -12.0), "-12");
    EXPECT_EQ(FormatFloat("0.00", 0.005), "0.01");
    EXPECT_EQ(FormatFloat("0.00", 1e-9), "0.00");
    EXPECT_EQ(FormatFloat("#.##", 2.0), "2");
}

TEST(Numbers, RoundingAndTruncation) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
    EXPECT_EQ(Trunc64(-2.9L), -2);
    EXPECT_EQ(Trunc64(2.9L), 2);
    EXPECT_DOUBLE_EQ(static_cast<double>(Frac(-1.25L)), -0.25);
}
