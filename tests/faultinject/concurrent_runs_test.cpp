// Runs that meet in one prefix: two at once, one that must wait, one after a run that was killed,
// and the lock that keeps them apart whatever stands at its path.
#include "installation.h"

#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
// The older product starts first in even rounds.
void ExpectTheNewerVersionsToWin(const Installation& older, int firstRound, int rounds) {
    const fs::path newerProgram = older.root.path() / "newer";
    const std::string oldBytes = ReadBytes(testing_support::Fixture("v1.0.0.0.dll"));
    const std::string newBytes = ReadBytes(testing_support::Fixture("v2.0.0.0.dll"));
    ASSERT_FALSE(oldBytes.empty() || newBytes.empty()) << "fixture DLLs are missing";
    fs::create_directories(newerProgram / "LIB");
    PlaceTool(newerProgram);
    for (int round = firstRound; round < firstRound + rounds; ++round) {
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

TEST(ConcurrentRuns, TwoProductsAtOnceEndWithEveryDllAtTheNewerVersion) {
    ExpectTheNewerVersionsToWin(Installation("dllinstall-concurrent"), 0, 6);
}

// The lock file a run leaves in the prefix: a first run makes it.
fs::path LockFileOf(const Installation& setup) {
    EXPECT_EQ(setup.Run().status, 0);
    for (const auto& item : fs::directory_iterator(setup.prefix)) {
        if (item.path().filename().string().rfind(".mutex-", 0) == 0)
            return item.path();
    }
    ADD_FAILURE() << "no lock file in the prefix";
    return setup.prefix / ".mutex-missing.lock";
}

// The lock file is the runner's alone, made 0600; one an older run left readable by all is
// made private, as whoever can open it can hold it.
TEST(ConcurrentRuns, TheLockFileIsPrivateToTheRunner) {
    Installation setup("dllinstall-lock-mode");
    const fs::path lock = LockFileOf(setup);
    EXPECT_EQ(fs::status(lock).permissions(), fs::perms(0600));
    fs::permissions(lock, fs::perms(0644));
    EXPECT_EQ(setup.Run().status, 0);
    EXPECT_EQ(fs::status(lock).permissions(), fs::perms(0600));
}

// Whoever can write the prefix may put anything at the lock file's path: a file of another
// user that they hold, a FIFO that would block its open, a link that would switch it off or
// lead to their file, a folder, a second name of a file elsewhere. None of them makes a run
// hang, run unlocked or touch what the name leads to.
TEST(ConcurrentRuns, WhateverStandsAtTheLockFilesPathRunsStayApart) {
    const bool root = geteuid() == 0;
    const struct {
        const char* what;
        bool needsRoot;
        std::function<void(const fs::path&, const fs::path&)> put; // the lock, a file elsewhere
    } kTakers[] = {
        {"a file of another user, held", true,
         [](const fs::path& lock, const fs::path&) {
             ASSERT_EQ(chown(lock.c_str(), 65534, static_cast<gid_t>(-1)), 0);
         }},
        {"a FIFO", false,
         [](const fs::path& lock, const fs::path&) {
             fs::remove(lock);
             ASSERT_EQ(mkfifo(lock.c_str(), 0666), 0);
         }},
        {"a link", false,
         [](const fs::path& lock, const fs::path& elsewhere) {
             fs::remove(lock);
             fs::create_symlink(elsewhere, lock);
         }},
        {"a folder", false,
         [](const fs::path& lock, const fs::path&) {
             fs::remove(lock);
             fs::create_directory(lock);
         }},
        {"a hard link", false,
         [](const fs::path& lock, const fs::path& elsewhere) {
             fs::remove(lock);
             fs::create_hard_link(elsewhere, lock);
         }},
    };
    for (size_t i = 0; i < std::size(kTakers); ++i) {
        const auto& taker = kTakers[i];
        SCOPED_TRACE(taker.what);
        if (taker.needsRoot && !root) {
            std::cout << "skipped, as only root can give a file to another user: " << taker.what
                      << "\n";
            continue;
        }
        Installation setup("dllinstall-lock-taken");
        const fs::path lock = LockFileOf(setup);
        const fs::path elsewhere = setup.root.path() / "elsewhere.txt";
        WriteBytes(elsewhere, "precious");
        fs::permissions(elsewhere, fs::perms(0644));
        taker.put(lock, elsewhere);
        // Whoever put it holds it: a run that took it would wait for ever.
        const int held = open(lock.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (held >= 0)
            flock(held, LOCK_EX | LOCK_NB);
        // One round each, the products taking turns to start first.
        ExpectTheNewerVersionsToWin(setup, static_cast<int>(i), 1);
        if (held >= 0)
            close(held);
        EXPECT_EQ(ReadBytes(elsewhere), "precious");
        EXPECT_EQ(fs::status(elsewhere).permissions(), fs::perms(0644));
    }
}

// The line that says why a run waits: read from /proc/locks, a run that waits for a lock shows
// as "->" before the lock's device and inode.
bool SomeoneWaitsFor(const fs::path& lock) {
    struct stat st {};
    if (stat(lock.c_str(), &st) != 0)
        return false;
    const std::string inode = ":" + std::to_string(st.st_ino) + " ";
    std::istringstream locks(ReadBytes("/proc/locks"));
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos)
            return true;
    }
    return false;
}

// A run that must wait for another says so, once, on the console, and then waits; the log holds
// only what the run did.
TEST(ConcurrentRuns, ARunThatWaitsSaysSoOnTheConsoleButNotInTheLog) {
    Installation setup("dllinstall-wait");
    const fs::path lock = LockFileOf(setup);
    WriteBytes(setup.lib / "a.dll", Filler(3000, 1));
    const int held = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    auto run = std::async(std::launch::async, [&] { return setup.Run(); });
    for (int i = 0; i < 300 && !SomeoneWaitsFor(lock); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(SomeoneWaitsFor(lock)) << "the run did not wait for the lock";
    close(held);
    const RunResult result = run.get();
    EXPECT_EQ(result.status, 0) << result.out;
    const std::string waiting =
        "Waiting for another installation into 'C:\\windows\\system32' to end...\n";
    const std::string start = "Starting installation procedure...\n";
    EXPECT_EQ(result.out.substr(0, start.size() + waiting.size()), start + waiting);
    const std::string log = ReadBytes(setup.program / kLogName);
    EXPECT_EQ(log.find("Waiting"), std::string::npos) << log;
    EXPECT_EQ(log, LogFromConsole(start + result.out.substr(start.size() + waiting.size())));
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
