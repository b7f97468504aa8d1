// Runs a program to its end, with its output captured and a deadline.
#ifndef DLLINSTALL_E2E_PROCESS_H
#define DLLINSTALL_E2E_PROCESS_H

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

struct ProcessResult {
    int status = -1;     // the exit status; -1 when the program did not exit normally
    std::string out;     // everything written to standard output
    std::string err;     // everything written to standard error
    std::string failure; // why the program could not be run or did not finish; empty if it did
};

// Runs argv[0] with exactly the environment given, in the working folder, standard input
// empty. A program still running at the deadline is killed with its process group.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::filesystem::path& workingFolder,
                         std::chrono::seconds timeout = std::chrono::seconds(60));

// The current environment with the given NAME=value entries replacing or adding to it.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& overrides);

} // namespace e2e

#endif
