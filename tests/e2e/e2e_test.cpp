// Every scenario of the table on the Linux build alone, and on the Linux build side by side
// with each Windows build in the suite's Wine prefix, where the two must agree to the byte.
#include "expected_text.h"
#include "runner.h"
#include "scenario_table.h"
#include "wine_prefix.h"

#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace e2e {

using expected::LogOf;

void PrintTo(const Scenario& scenario, std::ostream* os) {
    *os << scenario.name;
}

namespace {

// The console lines without their CRs: Wine's console turns each "\n" into "\r\n".
std::vector<std::string> ConsoleLines(const std::string& out) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : out) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string ExpectedConsole(const Scenario& scenario, const Layout& layout) {
    std::string console;
    for (const std::string& message : scenario.console)
        console += FillIn(message, layout) + "\n";
    return console;
}

void ExpectTree(const Tree& actual, const Tree& expectedWithMarks, const Layout& layout,
                const std::string& what) {
    Tree expected;
    for (const auto& [path, label] : expectedWithMarks)
        expected[path] = FillIn(label, layout);
    EXPECT_EQ(actual, expected) << what << " holds:\n"
                                << Describe(actual) << "instead of:\n"
                                << Describe(expected);
}

void ExpectOutcome(const Scenario& scenario, const Outcome& outcome, const Build& build,
                   const Layout& layout) {
    SCOPED_TRACE(build.name);
    const ProcessResult& process = outcome.process;
    ASSERT_EQ(process.failure, "") << "stdout:\n" << process.out << "\nstderr:\n" << process.err;
    EXPECT_EQ(process.signal, 0) << "the run was killed";
    EXPECT_EQ(process.status, scenario.status);
    const std::string console = ExpectedConsole(scenario, layout);
    EXPECT_EQ(ConsoleLines(process.out), ConsoleLines(console));
    if (!build.underWine) {
        EXPECT_EQ(process.out, console) << "each message must end with one \"\\n\"";
    }
    EXPECT_EQ(process.err, "");
    if (scenario.log) {
        const std::string log =
            *scenario.log == kLogOfConsole ? LogOf(scenario.console) : *scenario.log;
        EXPECT_EQ(outcome.log, FillIn(log, layout)) << "the log file";
    } else {
        EXPECT_EQ(outcome.log, std::nullopt) << "a log file was written";
    }
    ExpectTree(outcome.systemFolder, scenario.systemFolder, layout, "the system folder");
    // Only the Linux build splits the DLLs by their bitness; each Windows build keeps to its own.
    const Tree other = build.systemFolderName == kSystem32 ? scenario.wow64Folder : Tree{};
    ExpectTree(outcome.otherSystemFolder, other, layout, "the system folder of the other bitness");
    ExpectTree(outcome.programFolder, scenario.programFolder, layout, "the program folder");
    ExpectTree(outcome.outsideFolder, scenario.outsideFolder, layout, "the folder outside");
}

// What a run installed, in whichever system folder its bitness took it to.
Tree Installed(const Outcome& outcome) {
    Tree installed = outcome.systemFolder;
    installed.insert(outcome.otherSystemFolder.begin(), outcome.otherSystemFolder.end());
    return installed;
}

void ExpectSameOutcome(const Outcome& linuxRun, const Outcome& wineRun) {
    SCOPED_TRACE("the Linux build and the Windows build under Wine disagree");
    EXPECT_EQ(linuxRun.process.status, wineRun.process.status) << "on the exit status";
    EXPECT_EQ(ConsoleLines(linuxRun.process.out), ConsoleLines(wineRun.process.out))
        << "on the console";
    EXPECT_EQ(linuxRun.log, wineRun.log) << "on the log file's bytes";
    EXPECT_EQ(Installed(linuxRun), Installed(wineRun)) << "on the system folder";
    EXPECT_EQ(linuxRun.programFolder, wineRun.programFolder) << "on the program folder";
    EXPECT_EQ(linuxRun.outsideFolder, wineRun.outsideFolder) << "on the folder outside";
}

// The scenario with the expectations it can only state when it runs.
Scenario Completed(Scenario scenario) {
    if (scenario.expectAtRun)
        scenario.expectAtRun(scenario);
    return scenario;
}

std::string NameOf(const testing::TestParamInfo<Scenario>& info) {
    return info.param.name;
}

class LinuxBuild : public testing::TestWithParam<Scenario> {};

// A prefix of its own, made as the scenario wants it, beside the scenario's work folder.
TEST_P(LinuxBuild, Run) {
    if (!FixturesBuilt())
        GTEST_SKIP() << "the fixture DLLs were not built (no mingw-w64)";
    const Scenario scenario = Completed(GetParam());
    if (scenario.asRootOnly && geteuid() != 0)
        GTEST_SKIP() << "only root can give the scenario's files to another user";
    testing_support::TempFolder temp("dllinstall-e2e");
    const Stage stage = {
        temp / "run",
        testing_support::MakePrefix(temp / "prefix", {.systemFolder = scenario.withSystemFolder}),
        {},
        {"WINEPREFIX=" + (temp / "prefix").string()}};
    fs::create_directories(stage.work);
    const Build build = LinuxBuildOf();
    if (scenario.withWow64)
        fs::create_directories(LayoutOf(scenario, stage, build).wow64Folder);
    const Outcome outcome = RunScenario(scenario, build, stage);
    ExpectOutcome(scenario, outcome, build, LayoutOf(scenario, stage, build));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, LinuxBuild, testing::ValuesIn(AllScenarios()), NameOf);

std::vector<Scenario> ScenariosForBothBuilds() {
    std::vector<Scenario> both;
    std::copy_if(AllScenarios().begin(), AllScenarios().end(), std::back_inserter(both),
                 [](const Scenario& scenario) { return scenario.linuxOnly.empty(); });
    return both;
}

std::string Folded(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

// Scenarios must never overwrite Wine's own files, whatever the case of the name.
std::vector<std::string> WineNamesTaken(const Scenario& scenario,
                                        const std::set<std::string>& baseline) {
    std::set<std::string> folded;
    for (const std::string& name : baseline)
        folded.insert(Folded(name));
    std::vector<std::string> taken;
    for (const auto& [path, what] : scenario.systemFolder)
        if (folded.count(Folded(path.substr(0, path.find('/')))))
            taken.push_back(path);
    return taken;
}

std::vector<std::string> MissingNames(const fs::path& folder, const std::set<std::string>& names) {
    std::vector<std::string> missing;
    for (const std::string& name : names)
        if (!fs::exists(fs::symlink_status(folder / name)))
            missing.push_back(name);
    return missing;
}

bool RunningOnCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// Why the scenario cannot run under Wine here; empty when it can.
std::string WhyNotUnderWine(const Scenario& scenario) {
    if (!FixturesBuilt())
        return "the fixture DLLs were not built (no mingw-w64)";
    const std::string unavailable = WhyWineRunsCannotBeMade();
    if (!unavailable.empty())
        return unavailable;
    if (scenario.needsUtf8 && WineUtf8Environment().empty())
        return "no UTF-8 locale for Wine (package locales), so its ANSI code page is not UTF-8";
    return {};
}

// The suite's Wine prefix, with the Linux build's ANSI code page where Wine can have it.
Stage WineStage(const fs::path& work) {
    Stage stage = {work,
                   DLLINSTALL_WINE_PREFIX,
                   {{kSystem32, WineBaseline(kSystem32)}, {kSysWow64, WineBaseline(kSysWow64)}},
                   {"WINEPREFIX=" DLLINSTALL_WINE_PREFIX, "WINEDEBUG=-all"}};
    for (const std::string& entry : WineUtf8Environment())
        stage.environment.push_back(entry);
    return stage;
}

// The Linux build runs in Wine's own prefix, so that both see the very same Windows paths.
void RunBesideTheLinuxBuild(const Scenario& scenario, const Build& windowsBuild) {
    testing_support::TempFolder work("dllinstall-e2e");
    const Stage stage = WineStage(work.path());
    const Layout layout = LayoutOf(scenario, stage, windowsBuild);
    const std::set<std::string>& baseline = stage.baselines.at(windowsBuild.systemFolderName);
    ASSERT_EQ(WineNamesTaken(scenario, baseline), std::vector<std::string>{});
    const Build linuxBuild = LinuxBuildOf();
    const Outcome linuxRun = RunScenario(scenario, linuxBuild, stage);
    const Outcome wineRun = RunScenario(scenario, windowsBuild, stage);
    if (!wineRun.note.empty())
        testing::Test::RecordProperty("note", wineRun.note);
    ExpectOutcome(scenario, linuxRun, linuxBuild, LayoutOf(scenario, stage, linuxBuild));
    ExpectOutcome(scenario, wineRun, windowsBuild, layout);
    ExpectSameOutcome(linuxRun, wineRun);
    for (const auto& [name, names] : stage.baselines)
        EXPECT_EQ(MissingNames(SystemFolderOf(stage, name), names), std::vector<std::string>{})
            << "Wine's own files are gone from " << name;
}

class BothBuilds : public testing::TestWithParam<Scenario> {};

TEST_P(BothBuilds, Run) {
    const Scenario& scenario = GetParam();
    const std::string whyNot = WhyNotUnderWine(scenario);
    if (!whyNot.empty() && RunningOnCi())
        FAIL() << whyNot << ", but CI must run the Windows build";
    if (!whyNot.empty())
        GTEST_SKIP() << whyNot << ": the Windows build's run is skipped";
    RunBesideTheLinuxBuild(Completed(scenario), WindowsBuildOf(DLLINSTALL_WINE));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, BothBuilds, testing::ValuesIn(ScenariosForBothBuilds()),
                         NameOf);

// The 32-bit build runs every scenario the 64-bit one does: the tool copies bytes and reads
// PE32 and PE32+ versions alike, so the DLLs' bitness does not matter to it. Wine redirects
// its system folder to syswow64, while its console and log name system32 as the Linux
// build's do.
class X86Build : public testing::TestWithParam<Scenario> {};

TEST_P(X86Build, Run) {
    const Scenario& scenario = GetParam();
    std::string whyNot = WhyNotUnderWine(scenario);
    if (whyNot.empty())
        whyNot = WhyWine32RunsCannotBeMade();
    if (!whyNot.empty())
        GTEST_SKIP() << whyNot;
    RunBesideTheLinuxBuild(Completed(scenario), Windows32BuildOf(DLLINSTALL_WINE32));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, X86Build, testing::ValuesIn(ScenariosForBothBuilds()), NameOf);

} // namespace

} // namespace e2e
