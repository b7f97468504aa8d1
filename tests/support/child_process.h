// The suite's one way to start a program: run to its end with its output captured, under a
// deadline, and Wine's rare silent start failure retried once.
#ifndef DLLINSTALL_TESTS_CHILD_PROCESS_H
#define DLLINSTALL_TESTS_CHILD_PROCESS_H

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
    int status = -1;      // the exit status; -1 when the program did not exit normally
    int signal = 0;       // the signal that ended it, or 0
    std::string out;      // everything written to standard output
    std::string err;      // everything written to standard error, unless it went to a file
    std::string failure;  // why the program could not be run or did not finish; empty if it did
    bool retried = false; // Wine exited 1 without a word and the run was made once more
};

struct Launch {
    std::vector<std::string> argv;        // argv[0] is a path, not looked up in $PATH
    std::vector<std::string> environment; // exactly what the program gets
    std::filesystem::path workingFolder;
    std::chrono::seconds deadline{60};    // still running then: killed with its process group
    std::filesystem::path errorFile = {}; // where standard error goes; empty: into the result
};

ProcessResult RunProcess(const Launch& launch);

// Wine's console now and then exits 1 before the program has printed anything: such a run is
// made once more, and the result says so. Programs that may rightly end silent with status 1
// must not be run this way.
ProcessResult RunUnderWine(const Launch& launch);

// The current environment with the given NAME=value entries replacing or adding to it; of two
// entries of one name, the later wins.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& overrides);

// "status 0", "status 1", "killed by signal 9", or why it did not run: for failure messages.
std::string Describe(const ProcessResult& result);

} // namespace testing_support

#endif
