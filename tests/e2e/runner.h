// Runs one build of the tool through a scenario and reads back everything the run left.
#ifndef DLLINSTALL_E2E_RUNNER_H
#define DLLINSTALL_E2E_RUNNER_H

#include "process.h"
#include "scenario.h"

#include <set>

namespace e2e {

// One of the two builds: how to start it.
struct Build {
    std::string name;                  // for messages
    fs::path executable;               // copied into the program folder for each run
    std::vector<std::string> launcher; // what runs the executable; empty: it runs itself
    bool underWine = false;
};

Build LinuxBuildOf();
Build WindowsBuildOf(const std::string& wine);

// Where scenarios run: a folder of their own and a prefix whose system folder holds its
// baseline names (Wine's own files) and nothing else between scenarios.
struct Stage {
    fs::path work;
    fs::path prefix;
    std::set<std::string> baseline;
    std::vector<std::string> environment; // NAME=value entries the runs get on top of ours
};

struct Outcome {
    ProcessResult process;
    std::optional<std::string> log; // nullopt: no log file (or something else by that name)
    Tree systemFolder;              // less the baseline names
    Tree programFolder;             // less the executable and a log file
    Tree outsideFolder;
    Tree wow64Folder; // read only where the scenario asks for it
    std::string note; // what the harness did beyond the plain run, such as a second try
};

Layout LayoutOf(const Scenario& scenario, const Stage& stage);

// Clears the stage, sets the scenario up, runs the build its number of times, reads the result,
// and clears the stage again.
Outcome RunScenario(const Scenario& scenario, const Build& build, const Stage& stage);

// Removes everything the scenarios put in the stage: the system folder's names beyond the
// baseline and all of the work folder.
void ClearStage(const Stage& stage);

// The Windows path that both the Wine prefix and our layer give a host path outside drive_c.
std::string WindowsPathOf(const fs::path& hostPath);

// The expected text with the program folder and system folder marks filled in.
std::string FillIn(std::string text, const Layout& layout);

} // namespace e2e

#endif
