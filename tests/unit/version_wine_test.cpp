// The Linux build's version reader against Wine's own version.dll: one small program, built
// for both, prints the product version of every well-formed fixture, and the lines must match.
#include "test_support.h"
#include "version_fixtures.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sys/wait.h>

namespace {

using namespace testing_support;

struct Output {
    int status = -1;
    std::string text;
};

// Paths here are build and fixture folders, which hold no quote of their own.
std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

Output RunShell(const std::string& command) {
    Output out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer{};
    for (size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        out.text.append(buffer.data(), n);
    const int status = pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::erase(out.text, '\r'); // Windows ends console lines with CR LF
    return out;
}

// What a locale gives Wine: its environment entries, and the fixtures whose version Wine then
// reads differently from the Linux build, whose user language is English (US).
struct WineLocale {
    std::string environment;
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
    std::string args, linuxExpected, wineExpected;
    // Wine's console code page is 1252 or UTF-8, so only texts in ASCII print the same.
    for (const VersionFixture& fixture : VersionFixtures()) {
        if (fixture.asciiOnly && !Fixture(fixture.name).empty()) {
            args += " " + Quote(DosPath(Fixture(fixture.name)));
            linuxExpected += fixture.productVersion + "\n";
            const auto differs = locale.wineReads.find(fixture.name);
            wineExpected +=
                (differs == locale.wineReads.end() ? fixture.productVersion : differs->second) +
                "\n";
        }
    }
    ASSERT_FALSE(args.empty()) << "the fixture DLLs were not built";
    const std::string env = "WINEPREFIX=" + Quote(DLLINSTALL_WINE_PREFIX) + " WINEDEBUG=-all " +
                            locale.environment + " ";
    const Output onLinux = RunShell(env + Quote(DLLINSTALL_PRINT_VERSION_LINUX) + args);
    const std::string underWine =
        env + "timeout 300 " + Quote(wine) + " " + Quote(windowsTool) + args + " 2>/dev/null";
    Output onWindows = RunShell(underWine);
    if (onWindows.status == 1 && onWindows.text.empty()) {
        std::cout << "wine exited 1 without output, as it rarely does: run once more\n";
        onWindows = RunShell(underWine);
    }
    EXPECT_EQ(onLinux.status, 0);
    EXPECT_EQ(onWindows.status, 0);
    EXPECT_EQ(onLinux.text, linuxExpected);
    EXPECT_EQ(onWindows.text, wineExpected);
}

// C.UTF-8 gives Wine the user language English (US), the Linux build's: every choice agrees.
TEST(VersionUnderWineTest, BothBuildsReadTheSameProductVersions) {
    ExpectSameVersionsUnderWine({"LC_ALL=C.UTF-8", {}});
}

// ka_GE.UTF-8, under which the end-to-end runs give Wine a UTF-8 ANSI code page, also gives it
// the user language Georgian (0x0437) with its parent (0x0037), tried before English (US) and
// without English (0x0009): only a DLL with a version resource in one of those four languages
// is read differently.
TEST(VersionUnderWineTest, UnderAGeorgianLocaleWineReadsTheGeorgianResource) {
    const fs::path locales = fs::path(DLLINSTALL_WINE_PREFIX) / "locale";
    if (!fs::is_directory(locales / "ka_GE.UTF-8"))
        GTEST_SKIP() << "no ka_GE.UTF-8 locale in the Wine prefix (package locales)";
    ExpectSameVersionsUnderWine({"LOCPATH=" + Quote(locales.string()) + " LC_ALL=ka_GE.UTF-8",
                                 {{"version_lang_georgian_german.dll", "9.0.0.0"},
                                  {"version_lang_neutral_sublanguages.dll", "1.0.0.0"}}});
}

} // namespace
