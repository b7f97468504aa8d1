// A power cut at any point of an installation, under a model of what a file system keeps with
// the weak ordering real ones have (crash_model.h): a name is durable only once its folder is
// flushed, data only once its file is; until then each folder keeps any prefix of its own
// changes, whatever the others keep, and lost data is nothing, zeroes at full length or a cut.
// A cut comes after every call that changed anything, the end of the run included. In every
// state so built, each DLL must be whole in LIB or whole in its system folder (the old or the
// new version), nothing else may be left but the tool's temporaries and lock, the log must be
// the old one or the whole new one (after the end: the new one), and one more run must reach
// the clean end state.
//
// DLLINSTALL_CRASH_TOOL=exe runs another build of the tool (an older one, to see what the test
// finds there); DLLINSTALL_CRASH_STRIDE=n takes every n-th cut only; DLLINSTALL_CRASH_RERUN=0
// checks the states without running the tool again on them.
#include "crash_model.h"
#include "installation.h"
#include "sweep_scene.h"
#include "test_support.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace {

using namespace faultinject;

const std::set<std::string> kProgramSkip = {kToolName, kLogName};
const std::string kSystem32 = "prefix/drive_c/windows/system32/";
const std::string kSyswow64 = "prefix/drive_c/windows/syswow64/";
const std::string kLogPath = std::string("program/") + kLogName;

struct Expected {
    const SweepScene& scene;
    Environment environment; // what the file system is like in every run
    Tree start;              // the work tree before the run, the tool left out
    Tree end;                // after a clean run
    Tree system;             // the system folder after a clean run
    Tree program;            // the program folder after a clean run
};

bool Under(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 &&
           path.find('/', folder.size()) == std::string::npos;
}

// Each DLL whole in LIB or whole in a system folder.
void CheckLibraries(const Expected& expected, const State& state, std::vector<std::string>& found) {
    std::vector<std::pair<std::string, std::string>> dlls = {{"Tarvik.dll", "Tarvik.dll"}};
    for (const std::string& name : expected.scene.libraries())
        dlls.emplace_back("LIB/" + name, name);
    for (const auto& [source, name] : dlls) {
        const Entry* offered = FindIgnoringCase(expected.start, "program/" + source);
        bool installed = false;
        for (const std::string& folder : {kSystem32, kSyswow64}) {
            const Entry* there = FindIgnoringCase(state, folder + name);
            const Entry* old = FindIgnoringCase(expected.start, folder + name);
            const Entry* final = FindIgnoringCase(expected.end, folder + name);
            if (there && !(old && *there == *old) && !(*there == *offered))
                found.push_back(folder + name + " is not whole (" +
                                std::to_string(there->bytes.size()) + " bytes)");
            installed = installed || (there && final && *there == *final);
        }
        if (!state.entries.count("program/" + source) && !installed)
            found.push_back(source + " is gone and not installed");
    }
}

// Nothing left but what was there, what a clean run leaves, temporaries, the lock and the log.
void CheckLeftovers(const Expected& expected, const State& state, std::vector<std::string>& found) {
    for (const auto& [path, entry] : state.entries) {
        if (expected.start.count(path) || expected.end.count(path))
            continue;
        const std::string name = fs::path(path).filename().string();
        const bool system = Under(path, kSystem32) || Under(path, kSyswow64);
        if ((system && IsTemporary(name)) ||
            (Under(path, "prefix/") && name.rfind(".mutex-", 0) == 0) ||
            path == std::string("program/") + kLogTemporaryName)
            continue;
        found.push_back(path + " left behind");
    }
}

// The log is the old one or the whole new one; after the end of the run, the new one.
void CheckLog(const Expected& expected, const State& state, bool ended,
              std::vector<std::string>& found) {
    const auto log = state.entries.find(kLogPath);
    const auto old = expected.start.find(kLogPath);
    const Entry& written = expected.end.at(kLogPath);
    const bool missing = log == state.entries.end();
    if (missing ? ended
                : !(*log->second == written) &&
                      (ended || old == expected.start.end() || !(*log->second == old->second)))
        found.push_back(std::string(kLogName) + (missing ? " is missing" : " is not whole"));
}

void CheckRerun(const Expected& expected, const State& state, std::vector<std::string>& found) {
    const SweepScene& scene = expected.scene;
    const fs::path work = scene.program().parent_path();
    fs::remove_all(work);
    WriteState(work, state);
    fs::create_directories(scene.program());
    PlaceTool(scene.program());
    const RunResult again = RunTool(scene.program(), scene.prefix(), expected.environment,
                                    !expected.environment.empty());
    if (again.status != 0)
        found.push_back("the next run ended with " + Describe(again) + ":\n" + again.out);
    const std::string system = DescribeDifferences(expected.system, Snapshot(scene.system()));
    const std::string program =
        DescribeDifferences(expected.program, Snapshot(scene.program(), kProgramSkip));
    if (!system.empty() || !program.empty())
        found.push_back("after the next run:\n" + system + program);
}

struct Tally {
    int cuts = 0, states = 0, reruns = 0;
    int volumeFlushes = 0;                // syncfs or sync in a clean run
    std::unordered_set<std::string> seen; // states already run again
    std::vector<std::string> failures;
    bool rerun = true; // run the tool again on every new state
};

// The data losses checked with a choice of names: with all names kept, each dirty file lost
// in each way and all of them lost; otherwise none and all of them zeroed.
std::vector<std::map<std::string, Loss>> LossesOf(const Pending& pending, bool allNames) {
    std::vector<std::map<std::string, Loss>> losses = {{}};
    if (pending.dirtyData.empty())
        return losses;
    if (allNames) {
        for (const std::string& inode : pending.dirtyData) {
            for (const Loss loss : {Loss::Nothing, Loss::Zeroes, Loss::Half})
                losses.push_back({{inode, loss}});
        }
    }
    losses.emplace_back();
    for (const std::string& inode : pending.dirtyData)
        losses.back()[inode] = allNames ? Loss::Nothing : Loss::Zeroes;
    return losses;
}

void CheckStates(const Expected& expected, const Disk& before, const Disk& after,
                 const Pending& pending, const std::string& where, bool ended, Tally& tally) {
    std::map<const Entry*, size_t> hashes;
    const std::vector<Kept> choices = ChoicesOf(pending);
    for (size_t choice = 0; choice < choices.size(); ++choice) {
        const Kept& kept = choices[choice];
        // The tool runs again on the states with all names kept or only the durable ones, where
        // data is lost only wholly: the others differ from them only in names and bytes the
        // checks above looked at, and each run again costs a whole run.
        const bool rerun = tally.rerun && choice < 2;
        for (const auto& losses : LossesOf(pending, kept.empty())) {
            const State state = StateOf(before, after, pending, kept, losses);
            ++tally.states;
            std::vector<std::string> found;
            CheckLibraries(expected, state, found);
            CheckLeftovers(expected, state, found);
            CheckLog(expected, state, ended, found);
            const bool wholly = std::all_of(losses.begin(), losses.end(), [](const auto& lost) {
                return lost.second == Loss::Nothing;
            });
            if (found.empty() && rerun && wholly &&
                tally.seen.insert(StateKey(state, hashes)).second) {
                ++tally.reruns;
                CheckRerun(expected, state, found);
            }
            for (const std::string& failure : found)
                tally.failures.push_back(where + ", " + std::to_string(kept.size()) +
                                         " folders limited, " + std::to_string(losses.size()) +
                                         " files lost: " + failure);
        }
    }
}

// Every state a cut after call k leaves (k 0: after the end of the run).
void CheckCut(const Expected& expected, unsigned long k, Tally& tally) {
    const SweepScene& scene = expected.scene;
    scene.Refresh();
    const fs::path work = scene.program().parent_path();
    const fs::path model = work.parent_path() / "model.txt";
    const Disk before = ReadDisk(work, {kToolName}, &expected.start); // as refreshed
    Environment killed = expected.environment;
    killed.emplace_back("DLLINSTALL_FAULT_MODEL", model.string());
    if (k > 0)
        killed.insert(killed.end(), {{"DLLINSTALL_FAULT_AT", std::to_string(k + 1)},
                                     {"DLLINSTALL_FAULT_MODE", "kill"}});
    RunTool(scene.program(), scene.prefix(), killed, true);
    const std::vector<ModelRecord> records = ReadModel(model);
    const Pending pending = ReplayRecords(records);
    const Disk after = ReadDisk(work, {kToolName});
    ++tally.cuts;
    CheckStates(expected, before, after, pending,
                k > 0 ? "cut after call " + std::to_string(k) : "cut after the end", k == 0, tally);
}

// The calls of a clean run that changed anything: after each of them a cut.
std::vector<unsigned long> CutPoints(const fs::path& model) {
    std::vector<unsigned long> points;
    for (const ModelRecord& record : ReadModel(model)) {
        if (points.empty() || points.back() != record.k)
            points.push_back(record.k);
    }
    return points;
}

// Cuts after every call that changes files, in the file system the environment describes;
// returns the violations found. With lastCuts, only the last ones and the end.
Tally CheckEveryCut(const Environment& environment, bool rerun = true, size_t lastCuts = 0) {
    testing_support::TempFolder root("dllinstall-crash", ScratchBase());
    const char* tool = std::getenv("DLLINSTALL_CRASH_TOOL");
    const SweepScene scene(root.path(), tool && *tool ? tool : DLLINSTALL_LINUX_EXE);
    Tally tally;
    const char* rerunText = std::getenv("DLLINSTALL_CRASH_RERUN");
    tally.rerun = rerun && !(rerunText && std::string(rerunText) == "0");
    if (!scene.ready())
        return tally;
    scene.Refresh();
    const fs::path work = scene.program().parent_path();
    const Tree start = Snapshot(work, {kToolName});
    const fs::path model = root.path() / "model.txt";
    Environment recording = environment;
    recording.emplace_back("DLLINSTALL_FAULT_MODEL", model.string());
    const RunResult clean = RunTool(scene.program(), scene.prefix(), recording, true);
    EXPECT_EQ(clean.status, 0) << clean.out;
    const Expected expected{scene,
                            environment,
                            start,
                            Snapshot(work, {kToolName}),
                            Snapshot(scene.system()),
                            Snapshot(scene.program(), kProgramSkip)};
    const char* strideText = std::getenv("DLLINSTALL_CRASH_STRIDE");
    const unsigned long stride =
        strideText ? std::max(1UL, std::strtoul(strideText, nullptr, 10)) : 1;
    const std::vector<unsigned long> points = CutPoints(model);
    for (const ModelRecord& record : ReadModel(model))
        tally.volumeFlushes += record.kind == 'V';
    // Without runs again (showing that a dropped flush is noticed), the first violation will do.
    const size_t first = lastCuts > 0 && lastCuts < points.size() ? points.size() - lastCuts : 0;
    for (size_t i = first; i < points.size() && (rerun || tally.failures.empty()); i += stride)
        CheckCut(expected, points[i], tally);
    if (rerun || tally.failures.empty())
        CheckCut(expected, 0, tally);
    std::cout << "crash states: " << points.size() << " cuts, " << tally.states << " states, "
              << tally.reruns << " run again, " << tally.failures.size() << " violations\n";
    return tally;
}

void ExpectNoViolation(const Environment& environment) {
    const Tally tally = CheckEveryCut(environment);
    if (tally.cuts == 0)
        GTEST_SKIP() << "fixture DLLs are missing (mingw-w64 not installed)";
    // No whole file system (a shared disk's) is flushed: there is no volume flush to drop.
    EXPECT_EQ(tally.volumeFlushes, 0) << "the run flushed a whole file system";
    for (size_t i = 0; i < tally.failures.size() && i < 20; ++i)
        ADD_FAILURE() << tally.failures[i];
}

TEST(CrashStates, EveryPowerCutLeavesEachDllWholeAndTheNextRunFinishes) {
    ExpectNoViolation({});
}

// Without unnamed files the copy is written under its temporary name, where a cut finds it.
TEST(CrashStates, WithNamedTemporariesToo) {
    ExpectNoViolation({{"DLLINSTALL_FAULT_NO_TMPFILE", "1"}});
}

// Each flush the tool makes is needed: without it, some power cut breaks a promise. Each
// kind is dropped everywhere, then the log's own flushes alone (written last: the last cuts).
TEST(CrashStates, EachFlushDroppedLetsSomeCutBreakAPromise) {
    const std::vector<Environment> drops = {
        {{"DLLINSTALL_FAULT_DROP", "data"}},
        {{"DLLINSTALL_FAULT_DROP", "folder"}},
        {{"DLLINSTALL_FAULT_DROP", "data"}, {"DLLINSTALL_FAULT_DROP_PATH", kLogTemporaryName}},
        {{"DLLINSTALL_FAULT_DROP", "folder"}, {"DLLINSTALL_FAULT_DROP_PATH", "/program"}}};
    for (const Environment& drop : drops) {
        const Tally tally = CheckEveryCut(drop, false, drop.size() > 1 ? 8 : 0);
        if (tally.cuts == 0)
            GTEST_SKIP() << "fixture DLLs are missing (mingw-w64 not installed)";
        const std::string what = drop[0].second + " flushes dropped" +
                                 (drop.size() > 1 ? " (" + drop[1].second + ")" : "");
        EXPECT_GT(tally.failures.size(), 0u) << what << ", and no cut noticed";
        std::cout << what << ": " << (tally.failures.empty() ? "none" : tally.failures.front())
                  << "\n";
    }
}

// The system folder unmounted when the test ends, before its folder goes.
struct Mounted {
    fs::path point;
    ~Mounted() { umount2(point.c_str(), MNT_DETACH); }
};

std::string FolderId(const fs::path& folder) {
    struct stat st {};
    stat(folder.c_str(), &st);
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

// With the system folder on a file system of its own, that folder, on that file system, is
// flushed after the copies into it and before any source is deleted; no whole disk is.
TEST(CrashStates, SystemFolderOnItsOwnFileSystemIsFlushedBeforeTheDeletes) {
    const Installation installation("dllinstall-crash-mount");
    testing_support::WriteBytes(installation.lib / "a.dll", Filler(9000, 5));
    if (geteuid() != 0 ||
        mount("tmpfs", installation.system.c_str(), "tmpfs", 0, "size=16m,mode=0755") != 0)
        GTEST_SKIP() << "a tmpfs can be mounted on the system folder only by root, where the "
                        "system allows it: "
                     << std::strerror(errno);
    const Mounted mounted{installation.system};
    const fs::path model = installation.root.path() / "model.txt";
    const RunResult run = installation.Run({{"DLLINSTALL_FAULT_MODEL", model.string()}}, true);
    ASSERT_EQ(run.status, 0) << run.out;
    struct stat system {
    }, drive{};
    stat(installation.system.c_str(), &system);
    stat(installation.system.parent_path().parent_path().c_str(), &drive);
    ASSERT_NE(system.st_dev, drive.st_dev);
    const std::string systemId = FolderId(installation.system);
    bool flushed = false;
    int deletes = 0;
    for (const ModelRecord& record : ReadModel(model)) {
        EXPECT_NE(record.kind, 'V') << "a whole file system flushed at call " << record.k;
        if (record.kind == 'N' && record.folder == systemId)
            flushed = false;
        flushed = flushed || (record.kind == 'S' && record.folder == systemId);
        if (record.kind == 'U' && record.folder != systemId && record.name != kLogTemporaryName) {
            ++deletes;
            EXPECT_TRUE(flushed) << record.name << " deleted at call " << record.k
                                 << " before the system folder was flushed";
        }
    }
    EXPECT_GE(deletes, 2); // Tarvik.dll, LIB/a.dll (and LIB)
}

} // namespace
