#include "platform/Text.h"
#include "platform/DateTime.h"
#include "platform/Object.h"

#include <gtest/gtest.h>

TEST(Format, RuleSet) {
    EXPECT_EQ(Format(u"%s/%d", {UnicodeString(u"COM3"), 9600LL}), u"COM3/9600");
    EXPECT_EQ(Format(u"w: %f", {12.345678}), u"w: 12.35");
    EXPECT_EQ(Format(u"%f", {-0.004}), u"-0.00");
    EXPECT_EQ(Format(u"100%% %d", {7ULL}), u"100% 7");
    // A mismatched or missing argument leaves the directive as it stands.
    EXPECT_EQ(Format(u"%d %s", {UnicodeString(u"x")}), u"%d x");
    EXPECT_EQ(Format(u"end %", {}), u"end %");
}

TEST(FloatToStr, GeneralFormat) {
    EXPECT_EQ(FloatToStr(125.0), u"125");
    EXPECT_EQ(FloatToStr(0.5), u"0.5");
    EXPECT_EQ(FloatToStr(0.5, u','), u"0,5");
    EXPECT_EQ(FloatToStr(987.25), u"987.25");
    EXPECT_EQ(FloatToStr(-123.4), u"-123.4");
    EXPECT_EQ(FloatToStr(0.0), u"0");
    EXPECT_EQ(FloatToStr(-0.0), u"0");
    EXPECT_EQ(FloatToStr(12.34), u"12.34"); // 1234 * 0.01 is not exact
    EXPECT_EQ(FloatToStr(1.234), u"1.234");
    EXPECT_EQ(FloatToStr(0.00005), u"0.00005"); // plain down to 0.00001
    EXPECT_EQ(FloatToStr(0.000001), u"1E-6");
    EXPECT_EQ(FloatToStr(123456789012345.0), u"123456789012345");
    EXPECT_EQ(FloatToStr(1234567890123456.0), u"1.23456789012346E15");
}

TEST(Utf8, RoundTripAndInvalidBytes) {
    const UnicodeString LText = u"自动连接 COM1 \U0001F600";
    EXPECT_EQ(Utf8ToUnicode(UnicodeToUtf8(LText)), LText);
    EXPECT_EQ(Utf8ToUnicode("a\xFF"
                            "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUnicode("\xE8\x87"), u"\uFFFD");       // cut sequence
    EXPECT_EQ(Utf8ToUnicode("\xC0\xAF"), u"\uFFFD");       // overlong
    EXPECT_EQ(Utf8ToUnicode("\xED\xA0\x80x"), u"\uFFFDx"); // surrogate
}

TEST(Ansi, RoundTripKeepsWhatTheCodePageHoldsAndMarksTheRest) {
    EXPECT_EQ(UnicodeToAnsi(u"COM3 9600"), "COM3 9600");
    EXPECT_EQ(AnsiToUnicode("COM3 9600"), u"COM3 9600");
    EXPECT_EQ(UnicodeToAnsi(u""), "");
    // Each character comes back as it was, or as "?" where the code page
    // lacks it (no look-alike); nothing is lost or shifted.
    const UnicodeString LText = u"aéb中文c€∞";
    const UnicodeString LBack = AnsiToUnicode(UnicodeToAnsi(LText));
    ASSERT_EQ(LBack.size(), LText.size()) << UnicodeToUtf8(LBack);
    for (size_t I = 0; I < LText.size(); ++I)
        EXPECT_TRUE(LBack[I] == LText[I] || LBack[I] == u'?') << I;
    EXPECT_EQ(LBack[0], u'a');
    EXPECT_EQ(LBack[5], u'c');
}

TEST(StrToInt, DecimalWithSign) {
    EXPECT_EQ(StrToInt(u"10"), 10);
    EXPECT_EQ(StrToInt(u"-3"), -3);
    EXPECT_EQ(StrToInt(u"+7"), 7);
    EXPECT_THROW(StrToInt(u""), EConvertError);
    EXPECT_THROW(StrToInt(u"X"), EConvertError);
    EXPECT_THROW(StrToInt(u"1 "), EConvertError);
    EXPECT_THROW(StrToInt(u"99999999999999999999"), EConvertError);
}

TEST(DateTime, EncodeDecodeAndTimeText) {
    TDateTimeParts P{2026, 12, 31, 23, 59, 59, 999};
    const TDateTime T = EncodeDateTime(P);
    const TDateTimeParts Q = DecodeDateTime(T);
    EXPECT_EQ(Q.Year, 2026);
    EXPECT_EQ(Q.Month, 12);
    EXPECT_EQ(Q.Day, 31);
    EXPECT_EQ(Q.MilliSecond, 999);
    EXPECT_EQ(FormatTimeOfDay(T), u"23:59:59 999");
    // Day 0 is 30 December 1899.
    EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    const TDateTimeParts R = DecodeDateTime(T + 1.0 / 86400000.0);
    EXPECT_EQ(R.Year, 2027);
    EXPECT_EQ(R.Month, 1);
    EXPECT_EQ(R.Day, 1);
    EXPECT_EQ(FormatTimeOfDay(EncodeDateTime({2026, 1, 2, 9, 15, 2, 123})), u"09:15:02 123");
}

TEST(DateTime, OverrideMovesTheClock) {
    SetNowOverride([] { return 1000.25; });
    EXPECT_EQ(Now(), 1000.25);
    SetNowOverride({});
    EXPECT_GT(Now(), 45000.0); // after 2023
}
