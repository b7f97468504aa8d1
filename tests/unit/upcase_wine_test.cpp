// The Linux build's upper-case table against Wine's: one run of a small Windows program prints
// Wine's, and every unit must upcase alike but for the one listed difference.
#include "child_process.h"
#include "paths/name_fold.h"
#include "test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <vector>

namespace {

using namespace testing_support;

// Wine 8 builds its table from a recent Unicode, Windows' table holds the case pairs of
// Unicode 5.1 (unchanged since Windows 8.1): Wine also folds the letters whose pairs came later
// (Georgian Mkhedruli, Cherokee small letters, Latin Extended-C and -D additions, ...).
constexpr const char* kWineFoldsLaterPairs =
    "Wine 8 also upper-cases letters whose case pairs Unicode added after 5.1";
constexpr int kWindowsUnicodeVersion = 501;

// The Unicode version that assigned each BMP unit (major * 100 + minor; 0: unassigned).
std::vector<int> AgesOfUnits() {
    std::vector<int> ages(0x10000, 0);
    std::ifstream in(DLLINSTALL_UNICODE_DATA "/DerivedAge.txt");
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        unsigned first = 0, last = 0, major = 0, minor = 0;
        char dot = 0;
        std::istringstream fields(line);
        if (!(fields >> std::hex >> first))
            continue;
        if (fields.peek() == '.')
            fields.ignore(2) >> std::hex >> last;
        else
            last = first;
        fields.ignore(64, ';') >> std::dec >> major >> dot >> minor;
        for (unsigned unit = first; unit <= last && unit < 0x10000; ++unit)
            ages[unit] = static_cast<int>(major * 100 + minor);
    }
    return ages;
}

TEST(UpcaseTable, MatchesWineButForPairsUnicodeAddedAfterWindowsTable) {
    const std::string wine = DLLINSTALL_WINE;
    const std::string tool = DLLINSTALL_PRINT_UPCASE_WINDOWS;
    if (wine.empty())
        GTEST_SKIP() << "Wine is not installed: the table is not compared";
    if (tool.empty() || !fs::exists(tool))
        GTEST_SKIP() << "print_upcase_table.exe was not built: mingw-w64 is missing";
    Launch launch = {{wine, tool},
                     EnvironmentWith({"WINEPREFIX=" DLLINSTALL_WINE_PREFIX, "WINEDEBUG=-all"}),
                     "."};
    const ProcessResult run = RunUnderWine(launch);
    ASSERT_EQ(run.status, 0) << Describe(run);
    std::map<unsigned, unsigned> wineUpper;
    std::istringstream lines(run.out);
    for (unsigned unit = 0, upper = 0; lines >> std::hex >> unit >> upper;)
        wineUpper[unit] = upper;
    ASSERT_GT(wineUpper.size(), 900u) << "Wine's table was not printed";
    const std::vector<int> ages = AgesOfUnits();
    size_t laterPairs = 0;
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        const auto found = wineUpper.find(unit);
        const unsigned underWine = found == wineUpper.end() ? unit : found->second;
        const unsigned ours = posix::UpcaseUnit(static_cast<char16_t>(unit));
        const bool later = ours == unit && (ages[unit] > kWindowsUnicodeVersion ||
                                            ages[underWine] > kWindowsUnicodeVersion);
        laterPairs += ours != underWine && later;
        EXPECT_TRUE(ours == underWine || later)
            << std::hex << "U+" << unit << ": Wine " << underWine << ", the layer " << ours;
    }
    std::cout << laterPairs << " units differ: " << kWineFoldsLaterPairs << "\n";
}

} // namespace
