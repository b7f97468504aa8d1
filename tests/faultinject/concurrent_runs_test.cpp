// Runs that meet in one prefix: two at once, and one after a run that was killed.
#include "installation.h"

#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/file.h>

namespace {

using namespace faultinject;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

constexpr int kLibraries = 40;

std::string LibraryName(int i) {
    return "shared" + std::to_string(i) + ".dll";
}

std::vector<std::string> Temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& item : fs::directory_iterator(folder)) {
        if (IsTemporary(item.path().filename().string()))
            found.push_back(item.path().filename().string());
    }
    return found;
}

// One product offers the older and one the newer version of the same names; whichever starts
// first, the newer ones must end up installed, each run must succeed, and no temporary stays.
TEST(ConcurrentRuns, TwoProductsAtOnceEndWithEveryDllAtTheNewerVersion) {
    Installation older("dllinstall-concurrent");
    const fs::path newerProgram = older.root.path() / "newer";
    const std::string oldBytes = ReadBytes(testing_support::Fixture("v1.0.0.0.dll"));
    const std::string newBytes = ReadBytes(testing_support::Fixture("v2.0.0.0.dll"));
    ASSERT_FALSE(oldBytes.empty() || newBytes.empty()) << "fixture DLLs are missing";
    fs::create_directories(newerProgram / "LIB");
    PlaceTool(newerProgram);
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < kLibraries; ++i) {
            WriteBytes(older.lib / LibraryName(i), oldBytes);
            WriteBytes(newerProgram / "LIB" / LibraryName(i), newBytes);
            fs::remove(older.system / LibraryName(i));
        }
        const fs::path& first = round % 2 ? newerProgram : older.program;
        const fs::path& second = round % 2 ? older.program : newerProgram;
        auto a = std::async(std::launch::async, [&] { return RunTool(first, older.prefix); });
        auto b = std::async(std::launch::async, [&] { return RunTool(second, older.prefix); });
        const RunResult ra = a.get(), rb = b.get();
        EXPECT_EQ(ra.status, 0) << "round " << round << ":\n" << ra.out;
        EXPECT_EQ(rb.status, 0) << "round " << round << ":\n" << rb.out;
        for (int i = 0; i < kLibraries; ++i)
            EXPECT_TRUE(ReadBytes(older.system / LibraryName(i)) == newBytes)
                << "round " << round << ": " << LibraryName(i) << " is not the newer version";
        EXPECT_TRUE(Temporaries(older.system).empty()) << "round " << round;
    }
}

// A killed run's temporaries go before the next run's first copy, whatever DLL they were for;
// a temporary that a live writer still holds locked stays.
TEST(ConcurrentRuns, LeftoverTemporariesGoButALiveWritersStays) {
    Installation setup("dllinstall-leftovers");
    WriteBytes(setup.lib / "a.dll", Filler(3000, 1));
    WriteBytes(setup.system / ".~4242-7.dllinstall", Filler(100, 2));
    WriteBytes(setup.system / ".~gone.dll.dllinstall", Filler(100, 3));
    const fs::path live = setup.system / ".~4243-1.dllinstall";
    WriteBytes(live, Filler(100, 4));
    const int held = open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const RunResult run = setup.Run();
    close(held);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Temporaries(setup.system), std::vector<std::string>{live.filename().string()});
    EXPECT_EQ(ReadBytes(setup.system / "a.dll"), Filler(3000, 1));
}

} // namespace
