#include "bench_process.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

[[noreturn]] void ExecChild(const std::vector<char*>& args, const std::filesystem::path& folder,
                            const std::string& winePrefix) {
    const int null = open("/dev/null", O_WRONLY);
    if (chdir(folder.c_str()) != 0 || null < 0 || dup2(null, STDOUT_FILENO) < 0 ||
        dup2(null, STDERR_FILENO) < 0)
        _exit(126);
    if (!winePrefix.empty())
        setenv("WINEPREFIX", winePrefix.c_str(), 1);
    execvp(args[0], args.data());
    _exit(127);
}

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

RunResult RunProcess(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                     const std::string& winePrefix) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const double start = Now();
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
        ExecChild(args, folder, winePrefix);
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        throw std::runtime_error("wait4 failed");
    RunResult result;
    result.seconds = Now() - start;
    result.cpuSeconds = CpuSeconds(usage);
    result.peakRssKiB = usage.ru_maxrss;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace bench
