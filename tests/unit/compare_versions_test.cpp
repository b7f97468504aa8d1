// The ranking of two product versions: four passes of atoi-read numbers split at dots.
#include "version/version.h"

#include <gtest/gtest.h>

namespace {

int Compare(const char* a, const char* b) {
    return CompareVersions(CString(a), CString(b));
}

TEST(CompareVersionsTest, RanksNumberByNumberFromTheLeft) {
    EXPECT_EQ(Compare("1.2.3.4", "1.2.3.4"), VERSION_EQUAL);
    EXPECT_EQ(Compare("1.2.3.5", "1.2.3.4"), VERSION_NEWER);
    EXPECT_EQ(Compare("1.2.3.4", "1.2.3.5"), VERSION_OLDER);
    EXPECT_EQ(Compare("2.0.0.0", "1.9.9.9"), VERSION_NEWER);
    EXPECT_EQ(Compare("1.9.9.9", "2.0.0.0"), VERSION_OLDER);
}

TEST(CompareVersionsTest, AShortTextKeepsGivingItsLastNumber) {
    EXPECT_EQ(Compare("1.2", "1.2.0.0"), VERSION_NEWER); // the third pass meets 2 against 0
    EXPECT_EQ(Compare("1.2", "1.2.2.2"), VERSION_EQUAL);
    EXPECT_EQ(Compare("1.2.0.0", "1.2"), VERSION_OLDER);
    EXPECT_EQ(Compare("3", "3.3.3.3"), VERSION_EQUAL);
    EXPECT_EQ(Compare("3", "3.3.3.4"), VERSION_OLDER);
}

TEST(CompareVersionsTest, NumbersCompareAsIntegersNotAsText) {
    EXPECT_EQ(Compare("1.10", "1.9"), VERSION_NEWER);
    EXPECT_EQ(Compare("1.9", "1.10"), VERSION_OLDER);
    EXPECT_EQ(Compare("01.002.3.4", "1.2.3.4"), VERSION_EQUAL);
}

TEST(CompareVersionsTest, NumbersAfterTheFourthAreNeverRead) {
    EXPECT_EQ(Compare("1.2.3.4.9", "1.2.3.4.1"), VERSION_EQUAL);
    EXPECT_EQ(Compare("1.2.3.4.9", "1.2.3.4"), VERSION_EQUAL);
}

TEST(CompareVersionsTest, OtherSeparatorsMakeOneNumber) {
    EXPECT_EQ(Compare("2, 0, 1, 5", "2, 0, 1, 6"), VERSION_EQUAL); // both read 2 in every pass
    EXPECT_EQ(Compare("2, 0", "1.9.9.9"), VERSION_NEWER);
    EXPECT_EQ(Compare("1,9", "1.9.0.0"), VERSION_OLDER); // 1 against 9 in the second pass
    EXPECT_EQ(Compare("1-5", "1"), VERSION_EQUAL);
}

TEST(CompareVersionsTest, EmptyFieldsReadAsZero) {
    EXPECT_EQ(Compare("1..2", "1.0.2.2"), VERSION_EQUAL);
    EXPECT_EQ(Compare("1..2", "1.0.2.3"), VERSION_OLDER);
    EXPECT_EQ(Compare("1.2.", "1.2.0.0"), VERSION_EQUAL);
    EXPECT_EQ(Compare(".", "0"), VERSION_EQUAL);
}

TEST(CompareVersionsTest, AnEmptySideIsUnknownEvenWhenBothAre) {
    EXPECT_EQ(Compare("", "1.0.0.0"), VERSION_UNKNOWN);
    EXPECT_EQ(Compare("1.0.0.0", ""), VERSION_UNKNOWN);
    EXPECT_EQ(Compare("", ""), VERSION_UNKNOWN);
    EXPECT_EQ(Compare(" ", "0"), VERSION_EQUAL); // a blank is not empty: it reads as 0
}

TEST(CompareVersionsTest, ANumberStartingWithALetterReadsAsZero) {
    EXPECT_EQ(Compare("a", "1"), VERSION_OLDER);
    EXPECT_EQ(Compare("beta", "0.0.0.0"), VERSION_EQUAL);
    EXPECT_EQ(Compare("v2.0", "1.0"), VERSION_OLDER);
    EXPECT_EQ(Compare("2a.1", "2.1"), VERSION_EQUAL); // reading stops at the letter
}

TEST(CompareVersionsTest, SignsAndLeadingBlanksAreReadAsAtoiReadsThem) {
    EXPECT_EQ(Compare(" 1. 2", "1.2"), VERSION_EQUAL);
    EXPECT_EQ(Compare("\t3.\n4", "3.4"), VERSION_EQUAL);
    EXPECT_EQ(Compare("+1.2", "1.2"), VERSION_EQUAL);
    EXPECT_EQ(Compare("-1", "0"), VERSION_OLDER);
    EXPECT_EQ(Compare("1.-2", "1.0"), VERSION_OLDER);
    EXPECT_EQ(Compare("- 1", "0"), VERSION_EQUAL); // a sign with no digit after it reads 0
    EXPECT_EQ(Compare("1 2", "1"), VERSION_EQUAL); // a blank inside ends the number
}

TEST(CompareVersionsTest, NumbersBeyondTheIntRangeSaturate) {
    EXPECT_EQ(Compare("2147483648", "2147483647"), VERSION_EQUAL);
    EXPECT_EQ(Compare("99999999999999999999", "2147483647"), VERSION_EQUAL);
    EXPECT_EQ(Compare("4294967297", "2"), VERSION_NEWER); // no wrap-around to 1
    EXPECT_EQ(Compare("-2147483649", "-2147483648"), VERSION_EQUAL);
    EXPECT_EQ(Compare("-99999999999999999999", "-2147483647"), VERSION_OLDER);
    EXPECT_EQ(Compare("1.2147483648", "1.2147483647.0.0"), VERSION_NEWER);
}

} // namespace
