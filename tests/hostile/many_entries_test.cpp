// Thousands of DLLs in LIB: every one installed, in the order NTFS lists them, and LIB gone.
#include "tool_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

using namespace tool_run;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

constexpr int kDllCount = 3000;

// Upper-casing decides NTFS's order, so "ma" < "MB" < "m_" there while bytes say "MB" < "m_" <
// "ma".
std::string NameOf(int i) {
    static const char* const kPrefixes[] = {"ma", "MB", "m_"};
    char name[32];
    std::snprintf(name, sizeof name, "%s%04d.dll", kPrefixes[i % 3], i);
    return name;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

// The LIB names the log shows as copied, in the order it shows them.
std::vector<std::string> CopiedNames(const std::string& log, const std::string& libDos) {
    std::vector<std::string> names;
    const std::string marker = "Copy from '" + libDos + "\\";
    for (size_t at = log.find(marker); at != std::string::npos; at = log.find(marker, at)) {
        at += marker.size();
        names.push_back(log.substr(at, log.find('\'', at) - at));
    }
    return names;
}

TEST(ManyEntries, ThousandsOfDllsAreAllInstalledInNtfsOrder) {
    Installation setup("dllinstall-many");
    std::vector<std::string> names;
    for (int i = 0; i < kDllCount; ++i) {
        names.push_back(NameOf(i));
        WriteBytes(setup.lib / names.back(), Filler(64 + i % 7 * 150, i));
    }
    const auto started = std::chrono::steady_clock::now();
    const RunResult run = setup.Run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::cout << kDllCount << " DLLs installed in " << took.count() << " s\n";

    EXPECT_EQ(run.status, 0) << run.console.substr(run.console.size() - 300);
    EXPECT_FALSE(fs::exists(setup.lib));
    for (int i = 0; i < kDllCount; ++i)
        ASSERT_EQ(ReadBytes(setup.system / names[i]), Filler(64 + i % 7 * 150, i)) << names[i];
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    EXPECT_TRUE(CopiedNames(setup.Log(), DosPathOf(setup.lib)) == names)
        << "the log does not list the DLLs in NTFS order";
    EXPECT_EQ(setup.Log(), LogFromConsole(run.console));
}

} // namespace
