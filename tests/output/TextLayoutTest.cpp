// Pad widths from the width prompts' answers, right alignment by characters, field texts and the
// "##.##" percentage of the window title.
#include "output/TextLayout.h"

#include <gtest/gtest.h>

using namespace output;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

} // namespace

TEST(PadWidth, TheLeadingNumberCountsAndZeroOrNoNumberGivesThree) {
    EXPECT_EQ(padWidth("12", english), 12);
    EXPECT_EQ(padWidth("  12", english), 12);
    EXPECT_EQ(padWidth("+4", english), 4);
    EXPECT_EQ(padWidth("12abc", english), 12);
    EXPECT_EQ(padWidth("7.9", english), 7);
    EXPECT_EQ(padWidth("1", english), 1);
    // Nothing that reads as a number, and 0 itself, take 3.
    for (const char* answer : {"", "0", "0.0", "-0", "abc", "-", ".", " x12"})
        EXPECT_EQ(padWidth(answer, english), 3) << answer;
    // Below 1 but not 0: unpadded.
    for (const char* answer : {"-5", "0.5", ".5", "-0.5"})
        EXPECT_EQ(padWidth(answer, english), 0) << answer;
    // The locale's decimal separator reads as one, and a second one ends the number.
    EXPECT_EQ(padWidth("7,9", german), 7);
    EXPECT_EQ(padWidth("0,5", german), 0);
    EXPECT_EQ(padWidth("7,9", english), 7);
    EXPECT_EQ(padWidth("2.5.9", english), 2);
    // A mistyped huge width is held at the limit instead of exhausting memory.
    EXPECT_EQ(padWidth("99999999999", english), MaxPadWidth);
}

TEST(RightAligned, PadsByCharactersAndNeverCuts) {
    EXPECT_EQ(rightAligned("Ann", 6), "   Ann");
    EXPECT_EQ(rightAligned("Zo\u00eb", 5), "  Zo\u00eb");
    // A character beyond 16 bits is one character, not two.
    EXPECT_EQ(rightAligned(QString::fromUtf8("\xf0\x9f\x98\x80"), 3),
              QString::fromUtf8("  \xf0\x9f\x98\x80"));
    EXPECT_EQ(characterCount(QString::fromUtf8("a\xf0\x9f\x98\x80")), 2);
    EXPECT_EQ(rightAligned("screws", 3), "screws");
    EXPECT_EQ(rightAligned("abc", 0), "abc");
    EXPECT_EQ(rightAligned("abc", -4), "abc");
    EXPECT_EQ(rightAligned("", 2), "  ");
}

TEST(FieldText, NullIsOneBlankAndValuesLookAsInTheGrid) {
    EXPECT_EQ(fieldText(xbase::Null{}, english), " ");
    EXPECT_EQ(fieldText(std::string(""), english), "");
    EXPECT_EQ(fieldText(std::string("two\nlines"), english), "two\nlines");
    EXPECT_EQ(fieldText(1234.75, english), "1234.75");
    EXPECT_EQ(fieldText(1234.75, german), "1234,75");
    EXPECT_EQ(fieldText(xbase::Date{2024, 3, 5}, english), "3/5/2024");
    EXPECT_EQ(fieldText(xbase::Date{2024, 3, 5}, german), "05.03.2024");
    EXPECT_EQ(fieldText(true, english), "True");
}

TEST(PercentTitle, WritesTheHashFormatByHand) {
    EXPECT_EQ(percentTitle(0, 4, english), ". %");
    EXPECT_EQ(percentTitle(1, 4, english), "25. %");
    EXPECT_EQ(percentTitle(1, 3, english), "33.33 %");
    EXPECT_EQ(percentTitle(2, 3, english), "66.67 %");
    EXPECT_EQ(percentTitle(199, 200, english), "99.5 %");
    EXPECT_EQ(percentTitle(1, 200, english), ".5 %");
    EXPECT_EQ(percentTitle(1, 800, english), ".13 %"); // 0.125 rounds up
    EXPECT_EQ(percentTitle(1, 30000, english), ". %"); // rounds to nothing after the separator
    EXPECT_EQ(percentTitle(7, 700, english), "1. %");
    EXPECT_EQ(percentTitle(199, 200, german), "99,5 %");
    EXPECT_EQ(percentTitle(0, 1, german), ", %");
    // Counts far beyond 32 bits do not overflow.
    EXPECT_EQ(percentTitle(3'000'000'000'000LL, 4'000'000'000'000LL, english), "75. %");
}
