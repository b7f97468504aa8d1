// Runs the Linux build of the tool as a user does, from its own program folder, optionally with
// the fault-injection library preloaded, and takes snapshots of folders so that the results of
// runs can be compared exactly.
#ifndef DLLINSTALL_TOOL_RUN_H
#define DLLINSTALL_TOOL_RUN_H

#include "test_support.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tool_run {

namespace fs = std::filesystem;

constexpr const char* kToolName = "dllinstall";
constexpr const char* kLogName = "InstallLog_DLL.txt";
// What the log is written as before it takes its name; the next run clears a leftover.
constexpr const char* kLogTemporaryName = "~InstallLog.tmp";

struct RunResult {
    int status = -1; // the exit status, or -1 when a signal ended the run
    int signal = 0;  // the signal that ended the run, or 0
    std::string console;
    std::string errors;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Puts the tool into the program folder: a hard link where the file system allows, else a copy.
fs::path PlaceTool(const fs::path& programFolder);

// Runs <programFolder>/dllinstall there, with $WINEPREFIX set to the prefix and the extra
// variables; the fault-injection library is preloaded when `interposed` is set.
RunResult RunTool(const fs::path& programFolder, const fs::path& prefix,
                  const Environment& extra = {}, bool interposed = false);

// "status 0", "status 1", "killed by signal 9": for failure messages.
std::string Describe(const RunResult& result);

// The log a run writes, from what it printed: every line it printed ends in CR LF there.
std::string LogFromConsole(const std::string& console);

// The Windows form of a host path in a prefix without dosdevices/: Z: is the host root.
std::string DosPathOf(const fs::path& hostPath);

// <prefix>/drive_c/windows/system32.
fs::path SystemFolderOf(const fs::path& prefix);

struct Entry {
    char kind = '?'; // 'f' file, 'd' folder, 'l' symbolic link, '?' anything else
    std::string bytes;
    std::string linkTarget;
    fs::perms perms = fs::perms::none;
    bool operator==(const Entry&) const = default;
};

// Every entry below the root by its relative path ("LIB/sub/x.dll"); names in `skip` are left
// out wherever they occur.
using Tree = std::map<std::string, Entry>;
Tree Snapshot(const fs::path& root, const std::set<std::string>& skip = {});

// The first differences between two trees, one per line; empty when they are equal.
std::string DescribeDifferences(const Tree& expected, const Tree& actual);

// The entry of that name in any case, or null; the names tests use are ASCII.
const Entry* FindIgnoringCase(const Tree& tree, const std::string& name);

// True for the name of a temporary copy the Linux build writes beside its destination.
bool IsTemporary(const std::string& name);

// Deterministic filler: `size` bytes that differ with the salt.
std::string Filler(size_t size, unsigned salt);

// A program folder with the tool, Tarvik.dll and an empty LIB, and a prefix with its system
// folder, in a fresh temporary folder that goes at the end of the scope.
class Installation {
  public:
    // Where the program folder goes, given the temporary folder; by default root/program.
    using Placement = std::function<fs::path(const fs::path& root)>;
    explicit Installation(const std::string& tag, const Placement& place = {});

    RunResult Run(const Environment& extra = {}, bool interposed = false) const;
    std::string Log() const; // the log file's bytes, empty when there is none

    testing_support::TempFolder root;
    fs::path program;
    fs::path lib;
    fs::path prefix;
    fs::path system;
};

} // namespace tool_run

#endif
