// The Linux build's version reader against Wine's own version.dll: one small program, built
// for both, prints the product version of every well-formed fixture, and the lines must match.
#include "child_process.h"
#include "test_support.h"
#include "version_fixtures.h"

#include <gtest/gtest.h>
#include <iostream>
#include <map>

namespace {

using namespace testing_support;

// The printed lines without the CRs a Windows console puts before each "\n".
std::string Lines(ProcessResult result) {
    std::erase(result.out, '\r');
    return result.out;
}

// What a locale gives Wine: its environment entries, and the fixtures whose version Wine then
// reads differently from the Linux build, whose user language is English (US).
struct WineLocale {
    std::vector<std::string> environment;
    std::map<std::string, std::string> wineReads;
};

// Runs print_product_version on both builds over every fixture that prints the same on both.
void ExpectSameVersionsUnderWine(const WineLocale& locale) {
    const std::string wine = DLLINSTALL_WINE;
    const std::string windowsTool = DLLINSTALL_PRINT_VERSION_WINDOWS;
    if (wine.empty())
        GTEST_SKIP() << "Wine is not installed: the Windows build's reading is not compared";
    if (windowsTool.empty() || !fs::exists(windowsTool))
        GTEST_SKIP() << "print_product_version.exe was not built: mingw-w64 is missing";
    std::vector<std::string> args;
    std::string linuxExpected, wineExpected;
    // Wine's console code page is 1252 or UTF-8, so only texts in ASCII print the same.
    for (const VersionFixture& fixture : VersionFixtures()) {
        if (fixture.asciiOnly && !Fixture(fixture.name).empty()) {
            args.push_back(DosPath(Fixture(fixture.name)));
            linuxExpected += fixture.productVersion + "\n";
            const auto differs = locale.wineReads.find(fixture.name);
            wineExpected +=
                (differs == locale.wineReads.end() ? fixture.productVersion : differs->second) +
                "\n";
        }
    }
    ASSERT_FALSE(args.empty()) << "the fixture DLLs were not built";
    std::vector<std::string> env = {"WINEPREFIX=" DLLINSTALL_WINE_PREFIX, "WINEDEBUG=-all"};
    env.insert(env.end(), locale.environment.begin(), locale.environment.end());
    Launch launch = {{DLLINSTALL_PRINT_VERSION_LINUX}, EnvironmentWith(env), "."};
    launch.argv.insert(launch.argv.end(), args.begin(), args.end());
    const ProcessResult onLinux = RunProcess(launch);
    launch.argv[0] = windowsTool;
    launch.argv.insert(launch.argv.begin(), wine);
    launch.deadline = std::chrono::seconds(300);
    const ProcessResult onWindows = RunUnderWine(launch);
    EXPECT_EQ(Describe(onLinux), "status 0");
    EXPECT_EQ(onWindows.status, 0) << Describe(onWindows);
    EXPECT_EQ(Lines(onLinux), linuxExpected);
    EXPECT_EQ(Lines(onWindows), wineExpected);
}

// C.UTF-8 gives Wine the user language English (US), the Linux build's: every choice agrees.
TEST(VersionUnderWineTest, BothBuildsReadTheSameProductVersions) {
    ExpectSameVersionsUnderWine({{"LC_ALL=C.UTF-8"}, {}});
}

// ka_GE.UTF-8, under which the end-to-end runs give Wine a UTF-8 ANSI code page, also gives it
// the user language Georgian (0x0437) with its parent (0x0037), tried before English (US) and
// without English (0x0009): only a DLL with a version resource in one of those four languages
// is read differently.
TEST(VersionUnderWineTest, UnderAGeorgianLocaleWineReadsTheGeorgianResource) {
    const fs::path locales = fs::path(DLLINSTALL_WINE_PREFIX) / "locale";
    if (!fs::is_directory(locales / "ka_GE.UTF-8"))
        GTEST_SKIP() << "no ka_GE.UTF-8 locale in the Wine prefix (package locales)";
    ExpectSameVersionsUnderWine({{"LOCPATH=" + locales.string(), "LC_ALL=ka_GE.UTF-8"},
                                 {{"version_lang_georgian_german.dll", "9.0.0.0"},
                                  {"version_lang_neutral_sublanguages.dll", "1.0.0.0"}}});
}

} // namespace
