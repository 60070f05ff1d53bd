#include "core/text/number_field.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberField, ReadsLeadingSignedDigits) {
    EXPECT_EQ(palette::ReadNumber("12"), 12);
    EXPECT_EQ(palette::ReadNumber("  -7"), -7);
    EXPECT_EQ(palette::ReadNumber("+300"), 300);
    EXPECT_EQ(palette::ReadNumber("12abc"), 12); // digits up to the first other character
    EXPECT_EQ(palette::ReadNumber(""), 0);
    EXPECT_EQ(palette::ReadNumber("abc"), 0);
    EXPECT_EQ(palette::ReadNumber("-"), 0);
    EXPECT_EQ(palette::ReadNumber("\t 0042x"), 42);
    EXPECT_EQ(palette::ReadNumber("1 2"), 1);
    EXPECT_EQ(palette::ReadNumber("- 5"), 0);
}

TEST(NumberField, HugeNumbersStopAtTheEndsOfTheRange) {
    EXPECT_EQ(palette::ReadNumber("99999999999999999999"), 2147483647L);
    EXPECT_EQ(palette::ReadNumber("-99999999999999999999"), -2147483647L - 1);
    EXPECT_EQ(palette::ReadNumber("2147483647"), 2147483647L);
    EXPECT_EQ(palette::ReadNumber("-2147483648"), -2147483647L - 1);
}

} // namespace
