#include "wine_run.h"

#include "test_support.h"

namespace release {

namespace fs = std::filesystem;

namespace {

// The variables that decide how Wine runs, set for this run over the current environment.
std::vector<std::string> Environment(const WineRun& run) {
    std::vector<std::string> entries = {std::string("WINEPREFIX=") + DLLINSTALL_WINE_PREFIX,
                                        "WINEDEBUG=" + run.debug, "LC_ALL=C.UTF-8"};
    entries.push_back("WINEDLLOVERRIDES=" + run.overrides);
    return testing_support::EnvironmentWith(entries);
}

// The words as one command line for sh, each quoted.
std::string ShellWords(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += line.empty() ? "'" : " '";
        for (const char c : word)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += "'";
    }
    return line;
}

// What is started: Wine with the program, or, for a console, script(1) running that in a
// terminal of its own and copying what the terminal shows to its standard output.
std::vector<std::string> CommandOf(const WineRun& run) {
    std::vector<std::string> argv = {DLLINSTALL_WINE, run.program.string()};
    argv.insert(argv.end(), run.arguments.begin(), run.arguments.end());
    if (!run.console)
        return argv;
    const std::string err = run.errorFile.empty() ? "/dev/null" : run.errorFile.string();
    return {"/usr/bin/script", "-qec", "exec " + ShellWords(argv) + " 2>" + ShellWords({err}),
            "/dev/null"};
}

} // namespace

std::string WhyWineCannotRun() {
    const std::string wine = DLLINSTALL_WINE;
    if (wine.empty() || !fs::exists(wine))
        return "Wine is not installed: the runs under Wine are skipped";
    if (!fs::is_directory(testing_support::SystemFolderOf(DLLINSTALL_WINE_PREFIX)))
        return std::string("the Wine prefix ") + DLLINSTALL_WINE_PREFIX +
               " is not set up: run the tests through ctest, or tests/wine/prefix.sh start";
    return {};
}

WineResult RunUnderWine(const WineRun& run) {
    testing_support::Launch launch = {CommandOf(run), Environment(run), run.folder};
    launch.deadline = std::chrono::minutes(5);
    if (!run.console)
        launch.errorFile = run.errorFile;
    return testing_support::RunUnderWine(launch);
}

SystemFolderFiles::~SystemFolderFiles() {
    std::error_code ignored;
    for (const fs::path& file : claimed_)
        fs::remove(file, ignored);
}

fs::path SystemFolderFiles::Claim(const fs::path& folder, const std::string& name) {
    const fs::path file = folder / name;
    claimed_.push_back(file);
    std::error_code ignored;
    fs::remove(file, ignored);
    return file;
}

} // namespace release
