#include "wine_run.h"

#include "test_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace release {

namespace fs = std::filesystem;

namespace {

constexpr auto kDeadline = std::chrono::minutes(5);

// The current environment with the variables that decide how Wine runs set for this run.
std::vector<std::string> Environment(const WineRun& run) {
    const std::vector<std::string> replaced = {"WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES",
                                               "LC_ALL"};
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool keep = true;
        for (const std::string& variable : replaced)
            keep = keep && name != variable;
        if (keep)
            env.push_back(text);
    }
    env.push_back(std::string("WINEPREFIX=") + DLLINSTALL_WINE_PREFIX);
    env.push_back("WINEDEBUG=" + run.debug);
    env.push_back("LC_ALL=C.UTF-8");
    if (!run.overrides.empty())
        env.push_back("WINEDLLOVERRIDES=" + run.overrides);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// In the child: the working folder, the output files, a process group of its own, then Wine.
[[noreturn]] void StartWine(const WineRun& run, const fs::path& out, const fs::path& err,
                            std::vector<std::string>& argv, std::vector<std::string>& env) {
    setpgid(0, 0);
    const int in = open("/dev/null", O_RDONLY);
    const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || outFd < 0 || errFd < 0 || chdir(run.folder.c_str()) != 0 || dup2(in, 0) < 0 ||
        dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0)
        _exit(127);
    execve(argv[0].c_str(), Pointers(argv).data(), Pointers(env).data());
    _exit(127);
}

// Waits for the child; one still running at the deadline is killed with its process group.
int WaitFor(pid_t child, std::string& failure) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    int status = 0;
    while (true) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 && errno != EINTR) {
            failure = std::string("waitpid: ") + strerror(errno);
            return -1;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-child, SIGKILL);
            waitpid(child, &status, 0);
            failure = "Wine did not finish within five minutes";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
std::vector<std::string> CommandOf(const WineRun& run, const fs::path& err) {
    std::vector<std::string> argv = {DLLINSTALL_WINE, run.program.string()};
    argv.insert(argv.end(), run.arguments.begin(), run.arguments.end());
    if (!run.console)
        return argv;
    return {"/usr/bin/script", "-qec",
            "exec " + ShellWords(argv) + " 2>" + ShellWords({err.string()}), "/dev/null"};
}

WineResult RunOnce(const WineRun& run) {
    WineResult result;
    testing_support::TempFolder outputs("dllinstall-wine-output");
    const fs::path out = outputs / "stdout",
                   err = run.errorFile.empty() ? outputs / "stderr" : run.errorFile;
    std::vector<std::string> argv = CommandOf(run, err);
    std::vector<std::string> env = Environment(run);
    const pid_t child = fork();
    if (child < 0) {
        result.failure = std::string("fork: ") + strerror(errno);
        return result;
    }
    if (child == 0)
        StartWine(run, out, err, argv, env);
    result.status = WaitFor(child, result.failure);
    result.out = testing_support::ReadBytes(out);
    if (run.errorFile.empty())
        result.err = testing_support::ReadBytes(err);
    return result;
}

} // namespace

std::string WhyWineCannotRun() {
    const std::string wine = DLLINSTALL_WINE;
    if (wine.empty() || !fs::exists(wine))
        return "Wine is not installed: the runs under Wine are skipped";
    if (!fs::is_directory(SystemFolder()))
        return std::string("the Wine prefix ") + DLLINSTALL_WINE_PREFIX +
               " is not set up: run the tests through ctest, or tests/wine/prefix.sh start";
    return {};
}

WineResult RunUnderWine(const WineRun& run) {
    WineResult result = RunOnce(run);
    std::error_code ignored;
    const bool silent =
        result.out.empty() &&
        (run.errorFile.empty() ? result.err.empty() : fs::file_size(run.errorFile, ignored) == 0);
    // Wine rarely exits 1 before the program has said anything; that one run is made again.
    if (result.failure.empty() && result.status == 1 && silent) {
        std::cerr << "note: Wine exited 1 without any output running " << run.program
                  << "; running it once more (a rare Wine flake)" << std::endl;
        result = RunOnce(run);
        result.retried = true;
    }
    return result;
}

fs::path SystemFolder() {
    return fs::path(DLLINSTALL_WINE_PREFIX) / "drive_c" / "windows" / "system32";
}

fs::path SystemFolderOf32BitPrograms() {
    return fs::path(DLLINSTALL_WINE_PREFIX) / "drive_c" / "windows" / "syswow64";
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
