// The fault sweep: one installation, run once for every file-system call it makes, with that
// call failing (EIO, ENOSPC, EACCES) or the process killed right before it. Whatever happens,
// no file of the system folder may be partial and no DLL may be lost, and one more run without
// faults must leave exactly what a run without faults leaves.
//
// By default a sample runs (see PlanPoints); DLLINSTALL_SWEEP=full runs every call in every
// mode, DLLINSTALL_SWEEP_AT=k and DLLINSTALL_SWEEP_MODE=mode narrow it down to one point,
// DLLINSTALL_SWEEP_JOBS=n sets the number of workers (2), and DLLINSTALL_SWEEP_TRACE=file keeps
// the clean run's numbered list of calls.
#include "expected_text.h"
#include "installation.h"
#include "sweep_scene.h"
#include "test_support.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

namespace {

namespace expected = e2e::expected;

using namespace faultinject;

constexpr const char* kModes[] = {"kill", "EIO", "ENOSPC", "EACCES"};
const std::set<std::string> kProgramSkip = {kToolName, kLogName};

// What a run without faults leaves, and the calls it makes on the way.
struct CleanResult {
    fs::path program; // where it ran
    RunResult run;
    std::vector<std::string> trace; // call k is trace[k - 1]
    Tree system;
    Tree programLeft;
};

// What every faulty run is measured against.
struct Baseline {
    const SweepScene& scene;
    CleanResult clean;
    Tree before;             // the system folder before any run
    Tree sources;            // the pristine program folder
    Environment environment; // what the file system is like in every run
};

struct ModeTally {
    int runs = 0;
    std::multimap<unsigned long, std::string> failures;              // by k
    std::map<std::string, std::pair<int, std::string>> observations; // kind: count, first case
};

std::vector<std::string> ReadLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Upper(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    return name;
}

bool Same(const Entry* a, const Entry* b) {
    return a && b && *a == *b;
}

// The file a system-folder name is installed from: Tarvik.dll or a DLL directly in LIB.
const Entry* SourceOf(const Baseline& base, const std::string& name) {
    if (Upper(name) == "TARVIK.DLL")
        return FindIgnoringCase(base.sources, name);
    return FindIgnoringCase(base.sources, "LIB/" + name);
}

CleanResult RunClean(const SweepScene& scene, const fs::path& scratch,
                     const Environment& environment = {}) {
    scene.Refresh();
    const fs::path count = scratch / "count.txt";
    const fs::path trace = scratch / "trace.txt";
    Environment counting = environment;
    counting.emplace_back("DLLINSTALL_FAULT_COUNT_FILE", count.string());
    counting.emplace_back("DLLINSTALL_FAULT_TRACE", trace.string());
    CleanResult clean;
    clean.run = RunTool(scene.program(), scene.prefix(), counting, true);
    clean.trace = ReadLines(trace);
    // Temporaries are named after the process that writes them: the same call in every run.
    for (std::string& line : clean.trace)
        line = std::regex_replace(line, std::regex(R"(/\.~[0-9]+-)"), "/.~<process>-");
    if (const char* keep = std::getenv("DLLINSTALL_SWEEP_TRACE"); keep && *keep)
        fs::copy_file(trace, keep, fs::copy_options::overwrite_existing);
    const std::vector<std::string> counted = ReadLines(count);
    EXPECT_EQ(counted.size(), 1u);
    EXPECT_EQ(counted.empty() ? 0 : std::stoul(counted[0]), clean.trace.size());
    clean.system = Snapshot(scene.system());
    clean.program = scene.program();
    clean.programLeft = Snapshot(scene.program(), kProgramSkip);
    return clean;
}

// The call the k-th one is, from the clean run's trace: "lstat /dev/shm/.../LIB".
std::string CallAt(const CleanResult& clean, unsigned long k) {
    if (k == 0 || k > clean.trace.size())
        return "?";
    const std::string& line = clean.trace[k - 1];
    return line.substr(line.find(' ') + 1);
}

// Every file of the system folder is as it was or a whole copy of its source; a temporary
// copy may only outlive a killed run, and the next run must clear it.
void CheckSystemFolder(const Baseline& base, const Tree& after, bool killed,
                       std::vector<std::string>& failures) {
    for (const auto& [name, entry] : after) {
        if (IsTemporary(name)) {
            if (!killed)
                failures.push_back("temporary " + name + " left in the system folder");
        } else if (!base.before.count(name) && !base.clean.system.count(name)) {
            failures.push_back("system32/" + name + " appeared beside the file it should replace");
        } else if (!Same(&entry, FindIgnoringCase(base.before, name)) &&
                   !Same(&entry, SourceOf(base, name))) {
            failures.push_back("system32/" + name + " is neither as it was nor a whole copy (" +
                               std::to_string(entry.bytes.size()) + " bytes)");
        }
    }
    for (const auto& [name, entry] : base.before) {
        if (!after.count(name))
            failures.push_back("system32/" + name + " disappeared");
    }
}

// A DLL that has left the program folder is in the system folder as a clean run leaves it.
void CheckNothingLost(const Baseline& base, const Tree& program, const Tree& system,
                      std::vector<std::string>& failures) {
    std::vector<std::pair<std::string, std::string>> moved = {{"Tarvik.dll", "Tarvik.dll"}};
    for (const std::string& name : base.scene.libraries())
        moved.emplace_back("LIB/" + name, name);
    for (const auto& [source, name] : moved) {
        const Entry* installed = FindIgnoringCase(system, name);
        const Entry* expected = FindIgnoringCase(base.clean.system, name);
        if (Same(installed, expected))
            continue;
        if (Same(installed, SourceOf(base, name)))
            failures.push_back("system32/" + name + ": the newer copy installed was replaced");
        else if (!program.count(source))
            failures.push_back(source + " is gone from the program folder but not installed");
    }
}

void Observe(ModeTally& tally, const std::string& kind, const std::string& where) {
    auto& [count, example] = tally.observations[kind];
    if (count++ == 0)
        example = where;
}

// A run that reports success may still have left work for the next run; these are noted.
void NoteUnfinishedSuccess(const Baseline& base, const Tree& program, const Tree& system,
                           const RunResult& run, ModeTally& tally, const std::string& where) {
    if (program.count("Tarvik.dll"))
        Observe(tally, "status 0 with Tarvik.dll still in the program folder", where);
    if (program.count("LIB"))
        Observe(tally, "status 0 with LIB (partly) left in place", where);
    for (const std::string& name : base.scene.libraries()) {
        if (program.count("LIB/" + name) &&
            !Same(FindIgnoringCase(system, name), FindIgnoringCase(base.clean.system, name))) {
            Observe(tally, "status 0 with a DLL of LIB not installed", where);
            break;
        }
    }
    const fs::path log = base.scene.program() / kLogName;
    if (!fs::exists(log) || testing_support::ReadBytes(log) != LogFromConsole(run.out))
        Observe(tally, "status 0 with the log file missing or short", where);
}

// Checks what a faulty run left and returns what it left in the program folder.
Tree CheckFaultRun(const Baseline& base, const std::string& mode, const RunResult& run,
                   ModeTally& tally, std::vector<std::string>& failures, const std::string& where) {
    const bool killed = mode == "kill";
    if (killed ? run.signal != SIGKILL : (run.signal != 0 || run.status > 1))
        failures.push_back("the run ended with " + Describe(run));
    if (!run.err.empty())
        failures.push_back("the run wrote to stderr: " + run.err);
    const Tree system = Snapshot(base.scene.system());
    const Tree program = Snapshot(base.scene.program(), kProgramSkip);
    CheckSystemFolder(base, system, killed, failures);
    CheckNothingLost(base, program, system, failures);
    const bool exited = run.signal == 0;
    if (exited && run.status == 1 && fs::exists(base.scene.program() / kLogName))
        failures.push_back("a failed run wrote the log file");
    if (exited && run.status == 0)
        NoteUnfinishedSuccess(base, program, system, run, tally, where);
    if (exited && run.status == 1)
        Observe(tally, "status 1", where);
    for (const auto& [name, entry] : system) {
        if (killed && IsTemporary(name))
            Observe(tally, "killed with a temporary copy left (the next run must clear it)", where);
    }
    return program;
}

// The messages of a run, one per line it printed; a message's own line breaks are CR LF.
std::vector<std::string> Messages(const std::string& console) {
    std::vector<std::string> messages(1);
    for (size_t i = 0; i < console.size(); ++i) {
        if (console[i] == '\n' && (i == 0 || console[i - 1] != '\r'))
            messages.emplace_back();
        else
            messages.back() += console[i];
    }
    messages.pop_back();
    return messages;
}

// The expected text with the program folder filled in.
std::string FilledIn(std::string text, const std::string& programFolder) {
    const std::string mark = "<pf>";
    return text.replace(text.find(mark), mark.size(), programFolder);
}

// The name of the DLL a "Copy from '<LIB>\<name>'" message is about, or "" for other messages.
std::string LibraryCopied(const std::string& message, const std::string& libCopy) {
    if (message.rfind(libCopy, 0) != 0)
        return "";
    return message.substr(libCopy.size(), message.find('\'', libCopy.size()) - libCopy.size());
}

// What the next run prints: the clean run's messages for what is left to do, in the same order.
std::string ExpectedNextConsole(const Baseline& base, const Tree& program) {
    const std::string cleanFolder = DosPath(base.clean.program);
    const std::string folder = DosPath(base.scene.program());
    // "Copy from '<LIB>\", the head of every message about a DLL of LIB.
    const std::string copiedFromLib = FilledIn(expected::Copied("LIB\\", ""), folder + "\\");
    const std::string libCopy = copiedFromLib.substr(0, copiedFromLib.find("'\r\n"));
    std::string next;
    for (std::string message : Messages(base.clean.run.out)) {
        // The workers' scenes lie in folders of their own.
        for (size_t at = 0; (at = message.find(cleanFolder, at)) != std::string::npos;
             at += folder.size())
            message.replace(at, cleanFolder.size(), folder);
        const std::string copied = LibraryCopied(message, libCopy);
        std::string kept = message;
        if (message.find("\\Tarvik.dll'\r\nto '") != std::string::npos)
            kept = program.count("Tarvik.dll") ? message : "";
        else if (!copied.empty())
            kept = program.count("LIB/" + copied) ? message : "";
        else if (message == expected::kCopying && !program.count("LIB"))
            kept = FilledIn(expected::kNoLibraryFolder, folder + "\\");
        if (!kept.empty())
            next += kept + "\n";
    }
    return next;
}

// One more run without faults finishes the job exactly as a clean run does, saying so.
void CheckNextRun(const Baseline& base, const Tree& program, std::vector<std::string>& failures) {
    const RunResult again = RunTool(base.scene.program(), base.scene.prefix(), base.environment,
                                    !base.environment.empty());
    if (again.signal != 0 || again.status != 0)
        failures.push_back("the next run ended with " + Describe(again) + ":\n" + again.out);
    else if (again.out != ExpectedNextConsole(base, program))
        failures.push_back("the next run printed:\n" + again.out + "instead of:\n" +
                           ExpectedNextConsole(base, program));
    const std::string systemDifference =
        DescribeDifferences(base.clean.system, Snapshot(base.scene.system()));
    if (!systemDifference.empty())
        failures.push_back("after the next run the system folder differs:\n" + systemDifference);
    const std::string programDifference =
        DescribeDifferences(base.clean.programLeft, Snapshot(base.scene.program(), kProgramSkip));
    if (!programDifference.empty())
        failures.push_back("after the next run the program folder differs:\n" + programDifference);
    const fs::path log = base.scene.program() / kLogName;
    if (!fs::exists(log) || testing_support::ReadBytes(log) != LogFromConsole(again.out))
        failures.push_back("the next run's log file is not what it printed");
}

void RunPoint(const Baseline& base, const std::string& mode, unsigned long k, ModeTally& tally) {
    base.scene.Refresh();
    Environment faulty = base.environment;
    faulty.emplace_back("DLLINSTALL_FAULT_AT", std::to_string(k));
    faulty.emplace_back("DLLINSTALL_FAULT_MODE", mode);
    const RunResult run = RunTool(base.scene.program(), base.scene.prefix(), faulty, true);
    const std::string where =
        mode + " at " + std::to_string(k) + " (" + CallAt(base.clean, k) + ")";
    std::vector<std::string> failures;
    const Tree program = CheckFaultRun(base, mode, run, tally, failures, where);
    CheckNextRun(base, program, failures);
    ++tally.runs;
    for (const std::string& failure : failures)
        tally.failures.emplace(k, where + ": " + failure);
}

struct SweepPoint {
    std::string mode;
    unsigned long k;
};

unsigned long NumberFrom(const char* name) {
    const char* text = std::getenv(name);
    return text ? std::strtoul(text, nullptr, 10) : 0;
}

// The calls on a path containing `on`; in a sample, only the first and the last of a row of
// identical calls (the same call on the same path, such as the reads of one version resource),
// which stand for the whole row.
std::vector<unsigned long> Candidates(const CleanResult& clean, const std::string& on,
                                      bool sample) {
    std::vector<unsigned long> ends;
    for (unsigned long k = 1; k <= clean.trace.size(); ++k) {
        const bool first = k == 1 || CallAt(clean, k) != CallAt(clean, k - 1);
        const bool last = k == clean.trace.size() || CallAt(clean, k) != CallAt(clean, k + 1);
        if ((first || last || !sample) && CallAt(clean, k).find(on) != std::string::npos)
            ends.push_back(k);
    }
    return ends;
}

// By default a sample: the ends of every row of calls for kill and EIO, every fourth of them
// for ENOSPC and EACCES. DLLINSTALL_SWEEP=full takes every call in every mode.
std::vector<SweepPoint> PlanPoints(const CleanResult& clean, const std::string& on) {
    const char* sweep = std::getenv("DLLINSTALL_SWEEP");
    const char* onlyMode = std::getenv("DLLINSTALL_SWEEP_MODE");
    const unsigned long onlyAt = NumberFrom("DLLINSTALL_SWEEP_AT");
    const bool full = (sweep && std::string(sweep) == "full") || onlyAt != 0;
    const std::vector<unsigned long> ends = Candidates(clean, on, !full);
    std::vector<SweepPoint> points;
    for (const std::string mode : kModes) {
        if (onlyMode && *onlyMode && mode != onlyMode)
            continue;
        const bool strided = !full && (mode == "ENOSPC" || mode == "EACCES");
        for (size_t i = 0; i < ends.size(); ++i) {
            if ((onlyAt == 0 || ends[i] == onlyAt) &&
                (!strided || i % 4 == (mode == "ENOSPC" ? 1u : 3u)))
                points.push_back({mode, ends[i]});
        }
    }
    return points;
}

void Merge(const std::map<std::string, ModeTally>& from, std::map<std::string, ModeTally>& into) {
    for (const auto& [mode, tally] : from) {
        ModeTally& sum = into[mode];
        sum.runs += tally.runs;
        sum.failures.insert(tally.failures.begin(), tally.failures.end());
        for (const auto& [kind, seen] : tally.observations) {
            auto& [count, example] = sum.observations[kind];
            example = count == 0 ? seen.second : example;
            count += seen.first;
        }
    }
}

// Workers share the points round robin, each on a scene of its own.
std::map<std::string, ModeTally> RunPoints(const std::vector<SweepPoint>& points,
                                           const Baseline& first, const fs::path& root) {
    const unsigned long asked = NumberFrom("DLLINSTALL_SWEEP_JOBS");
    const unsigned long jobs = asked != 0 ? asked : 2;
    std::vector<std::unique_ptr<SweepScene>> scenes;
    std::vector<std::map<std::string, ModeTally>> tallies(jobs);
    std::vector<std::thread> workers;
    for (unsigned long w = 0; w < jobs; ++w) {
        if (w > 0)
            scenes.push_back(std::make_unique<SweepScene>(root / ("worker" + std::to_string(w))));
        const SweepScene& scene = w == 0 ? first.scene : *scenes.back();
        workers.emplace_back(
            [&, w,
             base = Baseline{scene, first.clean, first.before, first.sources, first.environment}] {
                for (size_t i = w; i < points.size(); i += jobs)
                    RunPoint(base, points[i].mode, points[i].k, tallies[w][points[i].mode]);
            });
    }
    std::map<std::string, ModeTally> merged;
    for (unsigned long w = 0; w < jobs; ++w) {
        workers[w].join();
        Merge(tallies[w], merged);
    }
    return merged;
}

// How many calls of each kind a clean run makes: "lstat 212, readdir 190, ...".
std::string CallMix(const CleanResult& clean) {
    std::map<std::string, int> mix;
    for (const std::string& line : clean.trace) {
        const size_t start = line.find(' ') + 1;
        ++mix[line.substr(start, line.find(' ', start) - start)];
    }
    std::ostringstream text;
    for (const auto& [name, count] : mix)
        text << (text.tellp() > 0 ? ", " : "") << name << " " << count;
    return text.str();
}

void PrintSummary(const std::map<std::string, ModeTally>& tallies, const CleanResult& clean,
                  double seconds) {
    int runs = 0, failures = 0;
    std::cout << "fault sweep: " << clean.trace.size() << " calls in a clean run ("
              << CallMix(clean) << ")\n";
    for (const auto& [mode, tally] : tallies) {
        runs += tally.runs;
        failures += static_cast<int>(tally.failures.size());
        std::cout << "  " << mode << ": " << tally.runs << " runs, " << tally.failures.size()
                  << " failures\n";
        for (const auto& [kind, seen] : tally.observations)
            std::cout << "    " << seen.first << " x " << kind << ", first: " << seen.second
                      << "\n";
    }
    std::cout << "  total " << runs << " runs (each followed by a clean run), " << failures
              << " failures, " << seconds << " s\n";
}

class FaultSweep : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!scene_.ready())
            GTEST_SKIP() << "fixture DLLs are missing (mingw-w64 not installed)";
    }
    testing_support::TempFolder root_{"dllinstall-sweep", ScratchBase()};
    SweepScene scene_{root_.path()};
};

TEST_F(FaultSweep, CleanRunInstallsWhatIsNotOlderAndMakesTheSameCallsEachTime) {
    const CleanResult first = RunClean(scene_, root_.path());
    const CleanResult second = RunClean(scene_, root_.path());
    ASSERT_EQ(first.run.status, 0) << first.run.out;
    EXPECT_GT(first.trace.size(), 100u);
    EXPECT_TRUE(first.trace == second.trace) << "the calls of two clean runs differ";
    EXPECT_FALSE(first.programLeft.count("LIB"));
    EXPECT_FALSE(first.programLeft.count("Tarvik.dll"));
    const Baseline base{
        scene_, first, Snapshot(scene_.pristineSystem()), Snapshot(scene_.pristineProgram()), {}};
    const auto& kept = scene_.keptInstalled();
    for (const std::string& name : scene_.libraries()) {
        const bool keep = std::find(kept.begin(), kept.end(), name) != kept.end();
        const Entry* expected = keep ? FindIgnoringCase(base.before, name) : SourceOf(base, name);
        EXPECT_TRUE(Same(FindIgnoringCase(first.system, name), expected)) << name;
    }
    EXPECT_TRUE(first.system.count("beta.DLL")) << "a replaced file keeps the name it had";
    EXPECT_EQ(testing_support::ReadBytes(scene_.program() / kLogName),
              LogFromConsole(second.run.out));
}

// Runs the sweep over the calls on paths containing `on`, in the file system `environment`
// describes, and reports every failure.
void SweepAndReport(const SweepScene& scene, const fs::path& root, const std::string& on,
                    const Environment& environment) {
    const auto started = std::chrono::steady_clock::now();
    const CleanResult clean = RunClean(scene, root, environment);
    ASSERT_EQ(clean.run.status, 0) << clean.run.out;
    ASSERT_FALSE(clean.trace.empty());
    const Baseline base{scene, clean, Snapshot(scene.pristineSystem()),
                        Snapshot(scene.pristineProgram()), environment};
    const std::map<std::string, ModeTally> tallies = RunPoints(PlanPoints(clean, on), base, root);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    PrintSummary(tallies, clean, elapsed.count());
    for (const auto& [mode, tally] : tallies) {
        for (const auto& [k, failure] : tally.failures)
            ADD_FAILURE() << failure;
    }
}

TEST_F(FaultSweep, EveryCallFailingOrKilledLeavesNothingPartialAndTheNextRunFinishes) {
    SweepAndReport(scene_, root_.path(), "", {});
}

// Where the file system has no unnamed files, the copy goes through a named temporary, which a
// killed run leaves behind: the next run must clear it.
TEST_F(FaultSweep, NamedTemporaryCopiesAreNeverLeftPartialOrBehind) {
    SweepAndReport(scene_, root_.path(), ".dllinstall", {{"DLLINSTALL_FAULT_NO_TMPFILE", "1"}});
}

} // namespace
