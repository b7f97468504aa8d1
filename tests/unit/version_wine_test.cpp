// The Linux build's version reader against Wine's own version.dll: one small program, built
// for both, prints the product version of every well-formed fixture, and the lines must match.
#include "test_support.h"
#include "version_fixtures.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <iostream>
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

TEST(VersionUnderWineTest, BothBuildsReadTheSameProductVersions) {
    const std::string wine = DLLINSTALL_WINE;
    const std::string windowsTool = DLLINSTALL_PRINT_VERSION_WINDOWS;
    if (wine.empty())
        GTEST_SKIP() << "Wine is not installed: the Windows build's reading is not compared";
    if (windowsTool.empty() || !fs::exists(windowsTool))
        GTEST_SKIP() << "print_product_version.exe was not built: mingw-w64 is missing";
    std::string args, expected;
    // Wine's console code page is 1252, so only texts in ASCII print the same on both builds.
    for (const VersionFixture& fixture : VersionFixtures()) {
        if (fixture.asciiOnly && !Fixture(fixture.name).empty()) {
            args += " " + Quote(DosPath(Fixture(fixture.name)));
            expected += fixture.productVersion + "\n";
        }
    }
    ASSERT_FALSE(args.empty()) << "the fixture DLLs were not built";
    const std::string env = "WINEPREFIX=" + Quote(DLLINSTALL_WINE_PREFIX) + " WINEDEBUG=-all ";
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
    EXPECT_EQ(onLinux.text, expected);
    EXPECT_EQ(onWindows.text, onLinux.text);
}

} // namespace
