// The release built a second time from a copy of the source in another folder, on another file
// system, later, in another locale, time zone and umask: the three executables and the zip are
// the same bytes, or nobody could check a release against the source it claims.
#include "child_process.h"
#include "test_support.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace release {

namespace {

namespace fs = std::filesystem;
using testing_support::ReadBytes;

// A memory file system when there is one with room for the build: a folder there lists its
// files in another order than on disk, which a package must not follow.
fs::path RebuildBase() {
    const fs::path shm = "/dev/shm";
    std::error_code error;
    const auto room = fs::space(shm, error).available;
    if (error || access(shm.c_str(), W_OK | X_OK) != 0 || room < (uintmax_t{1} << 30))
        return {};
    return shm;
}

// The source tree as a user's copy holds it: no build folders, no git data.
void CopySource(const fs::path& from, const fs::path& to) {
    const fs::path binary = fs::weakly_canonical(DLLINSTALL_BINARY_DIR);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        const std::string name = entry.path().filename().string();
        const std::string inside = fs::relative(binary, entry.path()).generic_string();
        if (name == ".git" || name.rfind("build", 0) == 0 || inside.rfind("..", 0) != 0)
            continue;
        fs::copy(entry.path(), to / name,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
}

// Runs cmake or cpack in the folder, with the suite's environment or, elsewhere, with the
// release's time given, in the C locale, nine hours east of UTC and a umask that leaves others
// nothing.
testing_support::ProcessResult RunTool(const fs::path& folder,
                                       const std::vector<std::string>& arguments, bool elsewhere) {
    testing_support::Launch launch;
    launch.argv = {"/bin/sh", "-c", "umask 077 && exec \"$0\" \"$@\""};
    if (!elsewhere)
        launch.argv.clear();
    launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
    launch.environment = testing_support::EnvironmentWith({});
    if (elsewhere)
        launch.environment = testing_support::EnvironmentWith(
            {"SOURCE_DATE_EPOCH=" DLLINSTALL_SOURCE_DATE_EPOCH, "LC_ALL=C", "TZ=JST-9"});
    launch.workingFolder = folder;
    launch.deadline = std::chrono::minutes(15);
    return testing_support::RunProcess(launch);
}

// The sizes of two files and where they first differ, for a failure message.
std::string Difference(const std::string& first, const std::string& second) {
    size_t at = 0;
    while (at < first.size() && at < second.size() && first[at] == second[at])
        ++at;
    std::ostringstream text;
    text << first.size() << " and " << second.size() << " bytes, first different at 0x" << std::hex
         << at;
    return text.str();
}

TEST(ReleasePackage, IsTheSameBytesWhenBuiltAgainElsewhere) {
    const fs::path config = fs::path(DLLINSTALL_BINARY_DIR) / "CPackConfig.cmake";
    const std::string x64 = DLLINSTALL_WINDOWS_EXE, x86 = DLLINSTALL_WINDOWS32_EXE;
    if (x64.empty() || x86.empty() || !fs::exists(config))
        GTEST_SKIP() << "both Windows builds are needed for the package (mingw-w64 for x86_64 "
                        "and i686)";
    testing_support::TempFolder work("dllinstall-rebuild", RebuildBase());
    CopySource(DLLINSTALL_SOURCE_DIR, work / "source");
    const fs::path build = work / "build";
    // Only what the package holds: the tests and their tools stay out.
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{
              DLLINSTALL_CMAKE, "-S", "source", "-B", "build", "-G", DLLINSTALL_CMAKE_GENERATOR,
              "-DCMAKE_BUILD_TYPE=" DLLINSTALL_BUILD_TYPE,
              "-DCMAKE_C_COMPILER=" DLLINSTALL_C_COMPILER,
              "-DCMAKE_CXX_COMPILER=" DLLINSTALL_CXX_COMPILER, "-DDLLINSTALL_TESTS=OFF"},
          {DLLINSTALL_CMAKE, "--build", "build", "-j", "2", "--target", "release_package"}}) {
        const auto result = RunTool(work.path(), step, true);
        ASSERT_EQ(result.status, 0) << step[1] << ": " << testing_support::Describe(result) << "\n"
                                    << result.out << result.err;
    }
    const auto packed =
        RunTool(work.path(), {DLLINSTALL_CPACK, "--config", config.string(), "-B", "first"}, false);
    ASSERT_EQ(packed.status, 0) << packed.out << packed.err;

    const std::string zip = std::string("dllinstall-") + DLLINSTALL_PROJECT_VERSION + ".zip";
    const std::pair<fs::path, fs::path> files[] = {
        {x64, build / "windows" / "dllinstall.exe"},
        {x86, build / "windows32" / "dllinstall.exe"},
        {DLLINSTALL_LINUX_EXE, build / "dllinstall"},
        {work / "first" / zip, build / "package" / zip},
    };
    for (const auto& [first, second] : files) {
        const std::string firstBytes = ReadBytes(first), secondBytes = ReadBytes(second);
        EXPECT_TRUE(firstBytes == secondBytes)
            << first << " and " << second << ": " << Difference(firstBytes, secondBytes);
    }
}

} // namespace

} // namespace release
