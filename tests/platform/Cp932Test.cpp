#include "platform/Cp932.h"

#include <gtest/gtest.h>

using namespace kavum::platform;

TEST(Cp932, DecodesAndEncodesJapanese) {
    const std::string sjis = "\x83\x75\x83\x69";  // ブナ
    EXPECT_EQ(Cp932ToUtf8(sjis), "ブナ");
    EXPECT_EQ(Utf8ToCp932("ブナ"), sjis);
    // Half-width katakana degree sign, and the mark symbols.
    EXPECT_EQ(Cp932ToQString("\xDF"), QString(QChar(0xFF9F)));
    EXPECT_EQ(QStringToCp932(QStringLiteral("□○△▽＋×＊◇■")),
              "\x81\xA0\x81\x9B\x81\xA2\x81\xA4\x81\x7B\x81\x7E\x81\x96\x81\x9E\x81\xA1");
    // CP932 rather than plain Shift-JIS: the wave dash and NEC specials.
    EXPECT_EQ(Utf8ToCp932("～①"), "\x81\x60\x87\x40");
}

TEST(Cp932, InvalidBytesSurviveARoundTrip) {
    const std::string cases[] = {
        std::string("\x80\xA0\xFD\xFE\xFF", 5),
        std::string("abc\x81", 4),           // truncated double-byte character at the end
        std::string("\x81\x20x", 3),          // lead byte followed by a byte that cannot trail
        std::string("35.30,\x82\xA0\xFF,100", 13),
        std::string("\x00\x81\x7F", 3),
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(bytes)), bytes);
        bool exact = false;
        EXPECT_EQ(QStringToCp932(Cp932ToQString(bytes), &exact), bytes);
        EXPECT_TRUE(exact);
    }
}

TEST(Cp932, CharactersWithoutAFormBecomeQuestionMarks) {
    bool exact = true;
    EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x8C\xB2z", &exact), "a?z");  // a tree emoji
    EXPECT_FALSE(exact);
    EXPECT_FALSE(EncodesInCp932(QStringLiteral("한")));  // Hangul has no CP932 form
    EXPECT_TRUE(EncodesInCp932(QStringLiteral("標高2500m以上")));
}

TEST(Cp932, SplitsLinesAtCrLfOrLf) {
    auto lines = SplitLines("a\r\nb\nc\r\r\n\nd");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1], "b");
    EXPECT_EQ(lines[2], "c\r");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "d");
    EXPECT_EQ(SplitLines("x\r\n").size(), 1u);
    EXPECT_TRUE(SplitLines("").empty());
}
