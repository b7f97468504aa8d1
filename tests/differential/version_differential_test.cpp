// The version reader of the Linux build against Wine's version.dll on generated DLLs: the same
// small program, built for both, reads every DLL of one batch in one process each, and the two
// must print the same line for each DLL unless a listed Wine deviation explains the difference.
// DLLINSTALL_DIFFERENTIAL_COUNT and DLLINSTALL_DIFFERENTIAL_SEED choose a longer or another run.
#include "child_process.h"
#include "test_support.h"
#include "version_generator.h"
#include "wine_version_deviations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>

namespace differential {

namespace {

using namespace testing_support;

constexpr uint64_t kDefaultCount = 2000;
constexpr uint64_t kDefaultSeed = 22;

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
    const char* value = getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 0) : fallback;
}

// The probe's lines of readings, without their mark, less anything else a fault printed.
std::vector<std::string> LinesOf(std::string text) {
    std::erase(text, '\r');
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("= "))
            lines.push_back(line.substr(2));
    return lines;
}

// Writes the DOS paths of files[from...] as a list and gives the list's path.
fs::path WriteList(const fs::path& folder, const std::vector<fs::path>& files, size_t from) {
    std::string list;
    for (size_t i = from; i < files.size(); ++i)
        list += DosPath(files[i]) + "\n";
    const fs::path file = folder / ("list" + std::to_string(from) + ".txt");
    WriteBytes(file, list);
    return file;
}

std::vector<std::string> Environment() {
    // Without its debugger, Wine ends a faulting process at once.
    return EnvironmentWith({"WINEPREFIX=" DLLINSTALL_WINE_PREFIX, "WINEDEBUG=-all",
                            "LC_ALL=C.UTF-8", "WINEDLLOVERRIDES=winedbg.exe=d"});
}

std::vector<std::string> ReadOnLinux(const fs::path& folder, const std::vector<fs::path>& files) {
    const Launch launch = {
        {DLLINSTALL_PRINT_VERSION_LINUX, "@" + WriteList(folder, files, 0).string()},
        Environment(),
        folder,
        std::chrono::seconds(120)};
    const ProcessResult result = RunProcess(launch);
    EXPECT_EQ(Describe(result), "status 0");
    return LinesOf(result.out);
}

// One Wine process reads the whole batch; where Wine's version.dll faults on a DLL, that DLL
// reads "fault" and a new process goes on from the next one.
std::vector<std::string> ReadUnderWine(const fs::path& folder, const std::vector<fs::path>& files) {
    std::vector<std::string> lines;
    while (lines.size() < files.size()) {
        const Launch launch = {{DLLINSTALL_WINE, DLLINSTALL_PRINT_VERSION_WINDOWS,
                                "@" + DosPath(WriteList(folder, files, lines.size()))},
                               Environment(),
                               folder,
                               std::chrono::seconds(300)};
        const ProcessResult result = RunUnderWine(launch);
        std::vector<std::string> read = LinesOf(result.out);
        read.resize(std::min(read.size(), files.size() - lines.size()));
        lines.insert(lines.end(), read.begin(), read.end());
        if (lines.size() < files.size())
            lines.push_back("fault");
        if (result.status == 0 && read.empty())
            break;
    }
    return lines;
}

std::string Describe(const std::set<std::string>& shapes) {
    std::string text;
    for (const std::string& shape : shapes)
        text += (text.empty() ? "" : ", ") + shape;
    return text.empty() ? "no mutation" : text;
}

TEST(WineDifferentialTest, GeneratedDllsReadAlikeOnBothBuilds) {
    if (std::string(DLLINSTALL_WINE).empty())
        GTEST_SKIP() << "Wine is not installed: there is nothing to compare with";
    if (!fs::exists(DLLINSTALL_PRINT_VERSION_WINDOWS))
        GTEST_SKIP() << "print_product_version.exe was not built: mingw-w64 is missing";
    const uint64_t count = FromEnvironment("DLLINSTALL_DIFFERENTIAL_COUNT", kDefaultCount);
    const uint64_t seed = FromEnvironment("DLLINSTALL_DIFFERENTIAL_SEED", kDefaultSeed);
    // DLLINSTALL_DIFFERENTIAL_KEEP names a folder where the DLLs stay for a closer look.
    TempFolder temporary("differential");
    const char* keep = getenv("DLLINSTALL_DIFFERENTIAL_KEEP");
    const fs::path folder = keep && *keep ? fs::path(keep) : temporary.path();
    fs::create_directories(folder);
    std::vector<GeneratedDll> dlls = SeedDlls();
    EXPECT_FALSE(dlls.empty()) << "the fixture DLLs the seeds come from were not built";
    for (uint64_t i = 0; i < count; ++i)
        dlls.push_back(GenerateDll(seed, i));
    std::vector<fs::path> files;
    for (size_t i = 0; i < dlls.size(); ++i) {
        files.push_back(folder / ("g" + std::to_string(i) + ".dll"));
        WriteBytes(files.back(), dlls[i].bytes);
    }
    const std::vector<std::string> onLinux = ReadOnLinux(folder, files);
    const std::vector<std::string> underWine = ReadUnderWine(folder, files);
    ASSERT_EQ(onLinux.size(), files.size());
    ASSERT_EQ(underWine.size(), files.size());
    std::map<std::string, size_t> explained;
    size_t unexplained = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const Reading reading{onLinux[i], underWine[i]};
        if (reading.onLinux == reading.underWine)
            continue;
        if (const WineDeviation* deviation = ExplainingDeviation(dlls[i].shapes, reading)) {
            ++explained[deviation->name];
            continue;
        }
        if (++unexplained <= 40)
            ADD_FAILURE() << "DLL g" << i << " of seed " << seed << " (" << Describe(dlls[i].shapes)
                          << "): Linux \"" << reading.onLinux << "\", Wine \"" << reading.underWine
                          << "\"";
    }
    std::cout << files.size() << " generated DLLs compared\n";
    for (const auto& [name, times] : explained)
        std::cout << "  Wine deviation " << name << ": " << times << " DLLs\n";
    EXPECT_EQ(unexplained, 0u) << "unlisted disagreements";
}

} // namespace

} // namespace differential
