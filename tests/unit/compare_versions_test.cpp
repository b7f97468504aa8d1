// The ranking of two product versions: four passes of atoi-read numbers split at dots.
#include "version/version.h"

#include <gtest/gtest.h>

namespace {

int Compare(const char* a, const char* b) {
    return CompareVersions(CString(a), CString(b));
}

struct Ranking {
    const char* a;
    const char* b;
    int expected; // what CompareVersions says of a against b
};

// The rules of the ranking, each with the cases that show it.
const Ranking kRankings[] = {
    // Ranks number by number from the left.
    {"1.2.3.4", "1.2.3.4", VERSION_EQUAL},
    {"1.2.3.5", "1.2.3.4", VERSION_NEWER},
    {"1.2.3.4", "1.2.3.5", VERSION_OLDER},
    {"2.0.0.0", "1.9.9.9", VERSION_NEWER},
    {"1.9.9.9", "2.0.0.0", VERSION_OLDER},
    // A short text keeps giving its last number.
    {"1.2", "1.2.0.0", VERSION_NEWER}, // the third pass meets 2 against 0
    {"1.2", "1.2.2.2", VERSION_EQUAL},
    {"1.2.0.0", "1.2", VERSION_OLDER},
    {"3", "3.3.3.3", VERSION_EQUAL},
    {"3", "3.3.3.4", VERSION_OLDER},
    // Numbers compare as integers not as text.
    {"1.10", "1.9", VERSION_NEWER},
    {"1.9", "1.10", VERSION_OLDER},
    {"01.002.3.4", "1.2.3.4", VERSION_EQUAL},
    // Numbers after the fourth are never read.
    {"1.2.3.4.9", "1.2.3.4.1", VERSION_EQUAL},
    {"1.2.3.4.9", "1.2.3.4", VERSION_EQUAL},
    // Other separators make one number.
    {"2, 0, 1, 5", "2, 0, 1, 6", VERSION_EQUAL}, // both read 2 in every pass
    {"2, 0", "1.9.9.9", VERSION_NEWER},
    {"1,9", "1.9.0.0", VERSION_OLDER}, // 1 against 9 in the second pass
    {"1-5", "1", VERSION_EQUAL},
    // Empty fields read as zero.
    {"1..2", "1.0.2.2", VERSION_EQUAL},
    {"1..2", "1.0.2.3", VERSION_OLDER},
    {"1.2.", "1.2.0.0", VERSION_EQUAL},
    {".", "0", VERSION_EQUAL},
    // An empty side is unknown even when both are.
    {"", "1.0.0.0", VERSION_UNKNOWN},
    {"1.0.0.0", "", VERSION_UNKNOWN},
    {"", "", VERSION_UNKNOWN},
    {" ", "0", VERSION_EQUAL}, // a blank is not empty: it reads as 0
    // A number starting with a letter reads as zero.
    {"a", "1", VERSION_OLDER},
    {"beta", "0.0.0.0", VERSION_EQUAL},
    {"v2.0", "1.0", VERSION_OLDER},
    {"2a.1", "2.1", VERSION_EQUAL}, // reading stops at the letter
    // Signs and leading blanks are read as atoi reads them.
    {" 1. 2", "1.2", VERSION_EQUAL},
    {"\t3.\n4", "3.4", VERSION_EQUAL},
    {"+1.2", "1.2", VERSION_EQUAL},
    {"-1", "0", VERSION_OLDER},
    {"1.-2", "1.0", VERSION_OLDER},
    {"- 1", "0", VERSION_EQUAL}, // a sign with no digit after it reads 0
    {"1 2", "1", VERSION_EQUAL}, // a blank inside ends the number
    // Numbers beyond the int range saturate.
    {"2147483648", "2147483647", VERSION_EQUAL},
    {"99999999999999999999", "2147483647", VERSION_EQUAL},
    {"4294967297", "2", VERSION_NEWER}, // no wrap-around to 1
    {"-2147483649", "-2147483648", VERSION_EQUAL},
    {"-99999999999999999999", "-2147483647", VERSION_OLDER},
    {"1.2147483648", "1.2147483647.0.0", VERSION_NEWER},
};

TEST(CompareVersionsTest, RanksAsFourAtoiPassesOverDotsDo) {
    for (const Ranking& ranking : kRankings)
        EXPECT_EQ(Compare(ranking.a, ranking.b), ranking.expected)
            << "\"" << ranking.a << "\" against \"" << ranking.b << "\"";
}

} // namespace
