// The suite's one runner of the built tool: runs one build through a scenario and reads back
// everything the run left. Every test that runs the tool goes through it.
#ifndef DLLINSTALL_TESTS_RUNNER_H
#define DLLINSTALL_TESTS_RUNNER_H

#include "child_process.h"
#include "scenario.h"

#include <map>
#include <set>

namespace e2e {

using testing_support::ProcessResult;

// The prefix's two system folders under drive_c/windows: the 64-bit one, and the one Windows
// gives a 32-bit program that asks for C:\windows\system32.
inline const std::string kSystem32 = "system32";
inline const std::string kSysWow64 = "syswow64";

// One of the builds: how to start it.
struct Build {
    std::string name;                  // for messages
    fs::path executable;               // copied into the program folder for each run
    std::vector<std::string> launcher; // what runs the executable; empty: it runs itself
    bool underWine = false;
    std::string systemFolderName = kSystem32; // where its C:\windows\system32 lands
};

Build LinuxBuildOf();
Build WindowsBuildOf(const std::string& wine);
Build Windows32BuildOf(const std::string& wine);

// Where scenarios run: a folder of their own and a prefix whose system folders hold their
// baseline names (Wine's own files) and nothing else between scenarios.
struct Stage {
    fs::path work;
    fs::path prefix;
    std::map<std::string, std::set<std::string>> baselines; // by system folder name
    std::vector<std::string> environment; // NAME=value entries the runs get on top of ours
};

struct Outcome {
    ProcessResult process;
    std::optional<std::string> log; // nullopt: no log file (or something else by that name)
    Tree systemFolder;              // the build's own, less the baseline names
    Tree otherSystemFolder;         // the prefix's other one, less the baseline names
    Tree programFolder;             // less the executable and a log file
    Tree outsideFolder;
    std::string note; // what the harness did beyond the plain run, such as a second try
};

// One of the stage's system folders, by name.
fs::path SystemFolderOf(const Stage& stage, const std::string& name);

// The build's system folder is the one its C:\windows\system32 lands in.
Layout LayoutOf(const Scenario& scenario, const Stage& stage, const Build& build);

// Clears the stage, sets the scenario up, runs the build its number of times, reads the result,
// and clears the stage again.
Outcome RunScenario(const Scenario& scenario, const Build& build, const Stage& stage);

// Removes everything the scenarios put in the stage: the system folders' names beyond their
// baselines and all of the work folder.
void ClearStage(const Stage& stage);

// Runs the build once from the layout's program folder, with the stage's environment and then
// the extra entries; a build under Wine gets the Wine retry, noted in `note`.
ProcessResult RunBuild(const Build& build, const Layout& layout, const Stage& stage,
                       std::chrono::seconds deadline, const std::vector<std::string>& extra = {},
                       std::string* note = nullptr);

// The environment entries that preload the fault-injection library, then the faults.
std::vector<std::string> InterposedEnvironment(const std::vector<std::string>& faults);

// The expected text with the program folder and system folder marks filled in; the host mark
// becomes the program folder's host path, for environment entries.
std::string FillIn(std::string text, const Layout& layout);

} // namespace e2e

#endif
