// Child processes timed from fork to exit, with their peak memory.
#ifndef DLLINSTALL_BENCH_PROCESS_H
#define DLLINSTALL_BENCH_PROCESS_H

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct RunResult {
    double seconds = 0;
    double cpuSeconds = 0; // user and system time: less swayed by other load on the machine
    long peakRssKiB = 0;
    int exitStatus = -1; // -1 when the child did not exit normally
};

// Runs argv[0] (searched in PATH) in the folder, with WINEPREFIX set when winePrefix is not
// empty and standard output and error going to /dev/null.
RunResult RunProcess(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                     const std::string& winePrefix);

double Median(std::vector<double> values);

// Seconds since some fixed point, for timing work done in this process.
double Now();

// User and system seconds this process has used so far.
double OwnCpuSeconds();

} // namespace bench

#endif
